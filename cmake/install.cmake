# What `cmake --install` puts in place, and the Debian package scripts/package builds from it:
# the three programs (the library's resources beside them, see capturekit/resources), the desktop
# entry and the app's icon in the hicolor theme. The entry and the icon are named after the
# application id, which is also the desktop file name the app reports.
include(GNUInstallDirs)

set(tarvo_programs tarvo-capture tarvo-capture-desktop tarvo-devbackend)
foreach(program IN LISTS tarvo_programs)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET tarvo-capture-desktop)
    set(tarvo_desktop_entry ${CMAKE_BINARY_DIR}/${TARVO_APPLICATION_ID}.desktop)
    configure_file(${PROJECT_SOURCE_DIR}/desktop/tarvo-capture-desktop.desktop.in
                   ${tarvo_desktop_entry} @ONLY)
    install(FILES ${tarvo_desktop_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/ui/icons/app.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME ${TARVO_APPLICATION_ID}.svg)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvo-capture)
set(CPACK_PACKAGE_VENDOR merrow)
set(CPACK_PACKAGE_CONTACT "tarvo maintainers <maintainers@tarvo.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "tarvo Capture: screenshots, selected text and quick tasks into tarvo from the tray")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvo-capture)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Loaded at run time, so the shared-library scan cannot see them: the SVG icon engine and the
# image formats the screenshots come in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager, xdg-utils")
include(CPack)
