# Included from src/CMakeLists.txt (the generated source must live in the library's directory).
# The images and the ads page are compiled into the program. The ads page carries the vendor's
# host, so it and the collection file are generated at configure time.
set(KEYQUILL_ADS_HTML ${CMAKE_CURRENT_BINARY_DIR}/resources/ads.html)
set(KEYQUILL_IMAGES ${CMAKE_CURRENT_LIST_DIR}/images)
configure_file(${CMAKE_CURRENT_LIST_DIR}/html/ads.html.in ${KEYQUILL_ADS_HTML} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/keyquill.qrc.in ${CMAKE_CURRENT_BINARY_DIR}/resources/keyquill.qrc @ONLY)

# Stored uncompressed, in resource data format version 1.
qt_add_resources(KEYQUILL_RCC_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/resources/keyquill.qrc
                 OPTIONS --no-compress --format-version 1)
target_sources(keyquill_core PRIVATE ${KEYQUILL_RCC_SOURCES})

if(UNIX AND NOT APPLE)
    include(GNUInstallDirs)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/keyquill.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/images/icon_main.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
            RENAME keyquill.png)
endif()
