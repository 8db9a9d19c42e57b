# Installing the game and its Debian package.
#
# `cmake --install BUILD [--prefix PREFIX]` puts the game in PREFIX/bin and its
# archive in PREFIX/share/numbral, where the game looks for it from its own
# folder (../share/numbral), with the menu entry, the icons, the AppStream
# entry, the manual page and the copyright notice. The folders are fixed
# (not GNUInstallDirs' variables) because the game's lookup is relative to
# bin/. `cmake --build BUILD --target package` makes numbral_VERSION_ARCH.deb
# in BUILD with CPack.
#
# The tests labelled "package" build that package, unpack it into a scratch
# root, validate the menu entry and the AppStream entry, start the unpacked
# game from another folder, and compile the Windows layer with the MinGW-w64
# cross compiler (packaging/check_package.sh, packaging/check_windows.sh).

set(NUMBRAL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(NUMBRAL_APPSTREAM_ID invalid.grulp.numbral)
set(NUMBRAL_ICON_SIZES 16 32 48 64 128 256)

install(TARGETS numbral RUNTIME DESTINATION bin)
install(FILES ${NUMBRAL_PACKAGING_DIR}/numbral.desktop DESTINATION share/applications)
install(FILES ${NUMBRAL_PACKAGING_DIR}/${NUMBRAL_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${NUMBRAL_PACKAGING_DIR}/copyright DESTINATION share/doc/numbral)

# The manual page and the change log are installed compressed, without a
# time stamp in the header, as Debian wants them.
set(compressed "")
foreach(file numbral.6 changelog)
    set(output ${PROJECT_BINARY_DIR}/packaging/${file}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
        COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${NUMBRAL_PACKAGING_DIR}/${file} ${output}
        DEPENDS ${NUMBRAL_PACKAGING_DIR}/${file}
        VERBATIM)
    list(APPEND compressed ${output})
endforeach()
add_custom_target(numbral_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/packaging/numbral.6.gz DESTINATION share/man/man6)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION share/doc/numbral)
# The package's one deliberate departure from Debian's layout for games.
install(FILES ${NUMBRAL_PACKAGING_DIR}/numbral.lintian-overrides DESTINATION share/lintian/overrides RENAME numbral)

# The archive and the icons are made by the data builder.
if(NUMBRAL_DATA)
    install(FILES ${PROJECT_BINARY_DIR}/data.quob DESTINATION share/numbral)

    add_executable(numbral-icon ${NUMBRAL_PACKAGING_DIR}/icon_export.cpp)
    target_link_libraries(numbral-icon PRIVATE numbral_databuild)
    set_target_properties(numbral-icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tools)
    set(icon_folder ${PROJECT_BINARY_DIR}/packaging/icons)
    set(icons "")
    foreach(size ${NUMBRAL_ICON_SIZES})
        list(APPEND icons ${icon_folder}/${size}/numbral.png)
        install(FILES ${icon_folder}/${size}/numbral.png DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_command(OUTPUT ${icons}
        COMMAND numbral-icon ${NUMBRAL_PACKAGING_DIR}/numbral-icon.art ${PROJECT_SOURCE_DIR}/content ${icon_folder}
            ${NUMBRAL_ICON_SIZES}
        DEPENDS numbral-icon ${NUMBRAL_PACKAGING_DIR}/numbral-icon.art ${PROJECT_SOURCE_DIR}/content/palettes/game.pal
        COMMENT "Drawing the menu icon"
        VERBATIM)
    add_custom_target(numbral_icons ALL DEPENDS ${icons})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME numbral)
set(CPACK_PACKAGE_VENDOR "Grulp Software")
set(CPACK_PACKAGE_CONTACT "Grulp Software <numbral@grulp.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "side-scrolling action platformer in 64x36 pixels")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian wants the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "A figure two pixels tall runs, jumps, crouches, dashes and shoots its
way through a world whose whole picture is 64 by 36 pixels, enlarged to a
window or to the full screen. A stomp breaks through blocks once its
power-up is found, and lit save points keep the progress.

Plays with the keyboard or a game controller.")
include(CPack)

# The checks, on the plain build only: the sanitizer builds would package
# and cross-compile the same sources again.
if(NUMBRAL_TESTS AND NUMBRAL_DATA AND NOT NUMBRAL_SANITIZE AND NOT NUMBRAL_TSAN)
    add_test(NAME package_deb
        COMMAND sh ${NUMBRAL_PACKAGING_DIR}/check_package.sh ${PROJECT_BINARY_DIR} ${NUMBRAL_APPSTREAM_ID}
            $<TARGET_FILE:numbral-script>)
    add_test(NAME package_windows_layer
        COMMAND sh ${NUMBRAL_PACKAGING_DIR}/check_windows.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/packaging/windows)
    set_tests_properties(package_deb package_windows_layer PROPERTIES LABELS package TIMEOUT 300)
endif()
