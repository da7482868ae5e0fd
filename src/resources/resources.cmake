# Included from src/CMakeLists.txt (the generated source must live in the library's directory).
# The images and the ads page are compiled into the program. The ads page carries the vendor's
# host, so it and the collection file are generated at configure time.
set(KEYQUILL_ADS_HTML ${CMAKE_CURRENT_BINARY_DIR}/resources/ads.html)
set(KEYQUILL_IMAGES ${CMAKE_CURRENT_LIST_DIR}/images)
set(KEYQUILL_HELP ${CMAKE_CURRENT_LIST_DIR}/help)
configure_file(${CMAKE_CURRENT_LIST_DIR}/html/ads.html.in ${KEYQUILL_ADS_HTML} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/keyquill.qrc.in ${CMAKE_CURRENT_BINARY_DIR}/resources/keyquill.qrc @ONLY)

# Stored uncompressed, in resource data format version 1.
qt_add_resources(KEYQUILL_RCC_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/resources/keyquill.qrc
                 OPTIONS --no-compress --format-version 1)
# A library of its own: the data belongs to no layer, and tests of the lower layers that make
# windows of their own link it too.
add_library(keyquill_resources STATIC ${KEYQUILL_RCC_SOURCES})
target_link_libraries(keyquill_resources PUBLIC Qt6::Core)
target_link_libraries(keyquill_ui PUBLIC keyquill_resources)

if(UNIX AND NOT APPLE)
    # Desktop integration, installed below the prefix (/usr in the Debian package): menu entry,
    # icons in the hicolor theme, AppStream metadata, manual page, copyright and changelog.
    include(GNUInstallDirs)
    set(KEYQUILL_RES ${CMAKE_CURRENT_LIST_DIR})
    set(KEYQUILL_GEN ${CMAKE_CURRENT_BINARY_DIR}/resources)
    install(FILES ${KEYQUILL_RES}/keyquill.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 128)
        install(FILES ${KEYQUILL_RES}/icons/keyquill-${size}.png RENAME keyquill.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${KEYQUILL_RES}/icons/keyquill.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    configure_file(${KEYQUILL_RES}/example.corvane.keyquill.metainfo.xml.in
                   ${KEYQUILL_GEN}/example.corvane.keyquill.metainfo.xml @ONLY)
    install(FILES ${KEYQUILL_GEN}/example.corvane.keyquill.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # Compressed as Debian wants them; -n leaves the time stamp out, so rebuilds are identical.
    foreach(pair "keyquill.1:keyquill.1.gz" "debian/changelog:changelog.gz")
        string(REPLACE ":" ";" pair "${pair}")
        list(GET pair 0 source)
        list(GET pair 1 target)
        add_custom_command(OUTPUT ${KEYQUILL_GEN}/${target}
                           COMMAND sh -c "gzip -9nc '${KEYQUILL_RES}/${source}' > '${KEYQUILL_GEN}/${target}'"
                           DEPENDS ${KEYQUILL_RES}/${source} VERBATIM)
    endforeach()
    add_custom_target(keyquill_docs ALL DEPENDS ${KEYQUILL_GEN}/keyquill.1.gz ${KEYQUILL_GEN}/changelog.gz)
    install(FILES ${KEYQUILL_GEN}/keyquill.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${KEYQUILL_GEN}/changelog.gz ${KEYQUILL_RES}/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/keyquill)
endif()
