# Installing the programs like any other on Debian: `make package` (cpack -G DEB) builds
# zar4loader_<version>_amd64.deb with /usr/bin/zar4loader, zar4ctl and zar4sim, the desktop
# entry, the icon, the AppStream metainfo, the man pages and the udev rule for the USB-serial
# adapters in common use. The version is the one of project().

if(WIN32 OR ZAR4_FUZZ)
    return()
endif()

include(GNUInstallDirs)

set(ZAR4_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ZAR4_APP_ID "example.c_seed_6f2dcbf7.zar4loader"
    CACHE STRING "The AppStream id of the desktop program (reverse domain name)")
set(ZAR4_HOMEPAGE "https://c-seed-6f2dcbf7.example/zar4loader"
    CACHE STRING "The project's web page; the screenshot is published under it")
set(ZAR4_MAINTAINER
    "ZAR4 Data Loader maintainers <maintainers@users.noreply.c-seed-6f2dcbf7.example>"
    CACHE STRING "The package's maintainer")
# Where udev reads the rules that packages bring.
set(ZAR4_UDEV_RULES_DIR "/lib/udev/rules.d" CACHE PATH "Where udev rules are installed")
# The date honours SOURCE_DATE_EPOCH, so that a rebuild of a release gives the same files.
string(TIMESTAMP ZAR4_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ZAR4_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)

set(ZAR4_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
configure_file(${ZAR4_PACKAGING_DIR}/zar4loader.metainfo.xml.in
               ${ZAR4_PACKAGING_OUT}/${ZAR4_APP_ID}.metainfo.xml @ONLY)
configure_file(${ZAR4_PACKAGING_DIR}/changelog.in ${ZAR4_PACKAGING_OUT}/changelog @ONLY)

# Man pages: scdoc sources in the repository, troff pages (compressed, as Debian keeps them)
# at build time.
find_program(ZAR4_SCDOC scdoc)
find_program(ZAR4_GZIP gzip)
set(ZAR4_MAN_PAGES zar4ctl zar4sim)
if(TARGET zar4loader)
    list(APPEND ZAR4_MAN_PAGES zar4loader)
endif()
set(ZAR4_DOC_FILES)
if(ZAR4_SCDOC AND ZAR4_GZIP)
    foreach(page ${ZAR4_MAN_PAGES})
        set(source ${ZAR4_PACKAGING_DIR}/man/${page}.1.scd)
        set(output ${ZAR4_PACKAGING_OUT}/man/${page}.1.gz)
        add_custom_command(
            OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${ZAR4_PACKAGING_OUT}/man
            COMMAND sh -c "'${ZAR4_SCDOC}' < '${source}' | '${ZAR4_GZIP}' -9n > '${output}'"
            DEPENDS ${source}
            COMMENT "Man page ${page}(1)"
            VERBATIM)
        list(APPEND ZAR4_DOC_FILES ${output})
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
else()
    message(STATUS "scdoc or gzip not found: no man pages (scripts/install-deps brings them)")
endif()
add_custom_command(
    OUTPUT ${ZAR4_PACKAGING_OUT}/changelog.gz
    COMMAND sh -c "'${ZAR4_GZIP}' -9n < '${ZAR4_PACKAGING_OUT}/changelog' > \
'${ZAR4_PACKAGING_OUT}/changelog.gz'"
    DEPENDS ${ZAR4_PACKAGING_OUT}/changelog
    VERBATIM)
list(APPEND ZAR4_DOC_FILES ${ZAR4_PACKAGING_OUT}/changelog.gz)
add_custom_target(zar4_docs ALL DEPENDS ${ZAR4_DOC_FILES})

# What is installed.
install(TARGETS zar4ctl zar4sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zar4loader)
    install(TARGETS zar4loader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${ZAR4_PACKAGING_DIR}/zar4loader.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${ZAR4_PACKAGING_OUT}/${ZAR4_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${ZAR4_PACKAGING_DIR}/icons/zar4loader-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME zar4loader.png)
    endforeach()
    install(FILES ${ZAR4_PACKAGING_DIR}/icons/zar4loader.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${ZAR4_PACKAGING_DIR}/udev/60-zar4loader.rules DESTINATION ${ZAR4_UDEV_RULES_DIR})
install(FILES ${ZAR4_PACKAGING_DIR}/completion/zar4ctl DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${ZAR4_PACKAGING_DIR}/copyright ${ZAR4_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zar4loader)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zar4loader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZAR4_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data loader for the ZAR4 colour vision sensor")
set(CPACK_PACKAGE_DESCRIPTION
    "Backs up the parameters and reference patterns of a ZAR4 industrial colour\n\
vision sensor into files over a serial port, writes them back, and edits them\n\
offline. zar4loader is the desktop program, zar4ctl the command line (which\n\
also verifies a sensor against a backup and finds the sensor's serial port),\n\
zar4sim a simulated sensor on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZAR4_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Libraries are found by dpkg-shlibdeps; the one dependency it cannot see is the font that
# the windows' Arial resolves to (Liberation Sans), on which their layout is measured.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-droid-fallback")
include(CPack)

# Checks of what the package carries.
if(ZAR4_TESTS)
    foreach(page ${ZAR4_MAN_PAGES})
        add_test(NAME man_page_options_${page}
                 COMMAND ${PROJECT_SOURCE_DIR}/tests/packaging/man-page-options
                         $<TARGET_FILE:${page}> ${ZAR4_PACKAGING_DIR}/man/${page}.1.scd)
        set_tests_properties(man_page_options_${page} PROPERTIES SKIP_RETURN_CODE 77
                             ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)
    endforeach()
    add_test(NAME udev_rule COMMAND ${PROJECT_SOURCE_DIR}/tests/packaging/udev-rule
                                    ${ZAR4_PACKAGING_DIR}/udev/60-zar4loader.rules)
    set_tests_properties(udev_rule PROPERTIES SKIP_RETURN_CODE 77)
    find_program(ZAR4_DESKTOP_FILE_VALIDATE desktop-file-validate)
    find_program(ZAR4_APPSTREAMCLI appstreamcli)
    if(ZAR4_DESKTOP_FILE_VALIDATE AND ZAR4_APPSTREAMCLI AND TARGET zar4loader)
        add_test(NAME desktop_entry_valid COMMAND ${ZAR4_DESKTOP_FILE_VALIDATE}
                                                  ${ZAR4_PACKAGING_DIR}/zar4loader.desktop)
        add_test(NAME metainfo_valid
                 COMMAND ${ZAR4_APPSTREAMCLI} validate --no-net
                         ${ZAR4_PACKAGING_OUT}/${ZAR4_APP_ID}.metainfo.xml)
    endif()
endif()
