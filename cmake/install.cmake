# What `cmake --install` puts in place, and the two Debian packages scripts/package builds from
# it (install components):
#   app         tarvo-capture: the tray app and the command line, the library's resources (see
#               capturekit/resources), the desktop entry, the icon and the AppStream metainfo, all
#               named after the application id (the desktop file name the app reports), the man
#               pages, the command line's shell completions, the copyright file and changelog
#   devbackend  tarvo-capture-devbackend: the dev backend, its man page, copyright and changelog
# The sources of the packaging files are in packaging/.
include(GNUInstallDirs)

set(tarvo_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(tarvo_package_files ${CMAKE_BINARY_DIR}/package-files)
set(tarvo_app_package tarvo-capture)
set(tarvo_devbackend_package tarvo-capture-devbackend)

# The newest entry of the changelog and of the metainfo's releases must be this version.
file(STRINGS ${tarvo_packaging}/changelog tarvo_changelog_head LIMIT_COUNT 1)
file(READ ${tarvo_packaging}/metainfo.xml.in tarvo_metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" tarvo_newest_release "${tarvo_metainfo}")
set(tarvo_newest_release ${CMAKE_MATCH_1})
if(NOT tarvo_changelog_head MATCHES "^tarvo-capture \\(${PROJECT_VERSION}\\) " OR
   NOT tarvo_newest_release STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/changelog and packaging/metainfo.xml.in must begin with "
                        "version ${PROJECT_VERSION}, the project's version.")
endif()

set(tarvo_app_programs tarvo-capture tarvo-capture-desktop)
foreach(program IN LISTS tarvo_app_programs)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
    endif()
endforeach()
if(TARGET tarvo-devbackend)
    install(TARGETS tarvo-devbackend RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT devbackend)
endif()

if(TARGET tarvo-capture-desktop)
    set(tarvo_desktop_entry ${tarvo_package_files}/${TARVO_APPLICATION_ID}.desktop)
    configure_file(${PROJECT_SOURCE_DIR}/desktop/tarvo-capture-desktop.desktop.in
                   ${tarvo_desktop_entry} @ONLY)
    install(FILES ${tarvo_desktop_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT app)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/ui/icons/app.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME ${TARVO_APPLICATION_ID}.svg COMPONENT app)
    set(tarvo_metainfo_file ${tarvo_package_files}/${TARVO_APPLICATION_ID}.metainfo.xml)
    configure_file(${tarvo_packaging}/metainfo.xml.in ${tarvo_metainfo_file} @ONLY)
    install(FILES ${tarvo_metainfo_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
            COMPONENT app)
endif()

if(TARGET tarvo-capture)
    set(tarvo_completions ${tarvo_packaging}/completions)
    install(FILES ${tarvo_completions}/tarvo-capture.bash
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME tarvo-capture COMPONENT app)
    install(FILES ${tarvo_completions}/_tarvo-capture
            DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT app)
    install(FILES ${tarvo_completions}/tarvo-capture.fish
            DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT app)
endif()

# Generated files, compressed as Debian wants them (gzip -9n: no name or time stamp, so the same
# source gives the same bytes): the man pages from their scdoc sources, and the changelog.
find_program(TARVO_SCDOC scdoc)
find_program(TARVO_GZIP gzip REQUIRED)
set(tarvo_generated)
function(tarvo_compress output source filter)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "${filter} < \"$1\" | \"$2\" -9n > \"$3\"" sh ${source} ${TARVO_GZIP}
                ${output}
        DEPENDS ${source}
        COMMENT "Generating ${output}"
        VERBATIM)
    set(tarvo_generated ${tarvo_generated} ${output} PARENT_SCOPE)
endfunction()

tarvo_compress(${tarvo_package_files}/changelog.gz ${tarvo_packaging}/changelog cat)
foreach(component IN ITEMS app devbackend)
    install(FILES ${tarvo_packaging}/copyright ${tarvo_package_files}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${tarvo_${component}_package}
            COMPONENT ${component})
endforeach()

set(tarvo_man_pages tarvo-capture:app tarvo-capture-desktop:app tarvo-devbackend:devbackend)
if(TARVO_SCDOC)
    foreach(entry IN LISTS tarvo_man_pages)
        string(REPLACE ":" ";" entry ${entry})
        list(GET entry 0 program)
        list(GET entry 1 component)
        if(TARGET ${program})
            set(page ${tarvo_package_files}/${program}.1.gz)
            tarvo_compress(${page} ${tarvo_packaging}/man/${program}.1.scd ${TARVO_SCDOC})
            install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
        endif()
    endforeach()
else()
    message(WARNING "scdoc is missing (scripts/bootstrap installs it): no man pages are built")
endif()
add_custom_target(tarvo_package_files ALL DEPENDS ${tarvo_generated})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app devbackend)
set(CPACK_PACKAGE_NAME ${tarvo_app_package})
set(CPACK_PACKAGE_VENDOR merrow)
set(CPACK_PACKAGE_CONTACT "tarvo maintainers <maintainers@tarvo.app>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvo-capture)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tarvo.app)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_APP_PACKAGE_NAME ${tarvo_app_package})
set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_APP_DESCRIPTION
    "send screenshots, selected text and quick tasks to tarvo from the tray
tarvo Capture lives in the tray and gets things into the tarvo suite: new
screenshots are noticed in the desktop's screenshot folder and sent, straight
away or after a one-click confirmation; text selected in any application is
captured with Ctrl+Alt+C and sent after six seconds to undo it; Ctrl+Alt+T
opens a one-line box for a quick task. Captures that cannot be delivered now
wait in an outbox and are sent when they can.

The package also holds tarvo-capture, the command line that captures text
from keyboard shortcuts and scripts and manages the account and the outbox.")
# Loaded at run time, so the shared-library scan cannot see them: the SVG icon engine and the
# image formats the screenshots come in.
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "libqt6svg6, qt6-image-formats-plugins")
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager, xdg-utils")

set(CPACK_DEBIAN_DEVBACKEND_PACKAGE_NAME ${tarvo_devbackend_package})
set(CPACK_DEBIAN_DEVBACKEND_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEVBACKEND_DESCRIPTION
    "local stand-in for the tarvo backend, for development and tests
tarvo-devbackend answers the calls the tarvo Capture programs make to the
tarvo backend (sign-in, device registration, capture ingest, suggestions, app
settings, media storage and transcription) from one SQLite file, so that the
apps run without an account and their tests run against real HTTP. It adds
users, shows the captures filed and injects faults for tests.

It is a developer's tool: it serves on the loopback address by default and
is not needed to use tarvo Capture.")
include(CPack)
