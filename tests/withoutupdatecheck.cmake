# A build with the update check off: configures the project so in a folder of its own and
# compiles the update checker, whose query is then left out. Run by CTest (cmake -P) with
# SOURCE_DIR and BINARY_DIR set.
set(dir "${BINARY_DIR}/without-update-check")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${dir}" -G Ninja
                        -DKEYQUILL_UPDATE_CHECK=OFF -DKEYQUILL_BUILD_TESTS=OFF
                        -DKEYQUILL_BUILD_BENCH=OFF
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring with KEYQUILL_UPDATE_CHECK=OFF failed")
endif()
file(STRINGS "${dir}/src/config/buildconfig.h" off REGEX "KEYQUILL_UPDATE_CHECK_ENABLED 0$")
if(NOT off)
    message(FATAL_ERROR "buildconfig.h does not switch the update check off")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${dir}"
                        --target src/CMakeFiles/keyquill_ui.dir/online/updatechecker.cpp.o
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the update checker does not compile with the update check off")
endif()
