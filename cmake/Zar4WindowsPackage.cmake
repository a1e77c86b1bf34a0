# The Windows programs as an operator gets them (make windows-package, in the Windows build):
#   zar4loader-<version>-win64-setup.exe  a 64-bit setup program (CPack NSIS, makensis with its
#                                          amd64-unicode stubs) into Program Files\ZAR4 Data Loader
#   zar4loader-<version>-win64.zip         the same files in one folder, to unzip and run
# Both hold only what runs: the two programs (with their icon, version and manifest), the Qt
# DLLs, the windows platform and the native style, the compiler's runtime DLLs (stripped),
# qt.conf, the licence notices and README.txt. No test program, no offscreen platform, no font
# folder: the loader carries the two glyphs it may need.

if(ZAR4_FUZZ)
    return()
endif()

set(ZAR4_WINDOWS_NAME "ZAR4 Data Loader")
zar4_windows_resources(zar4ctl "ZAR4 Data Loader command line")
if(TARGET zar4loader)
    zar4_windows_resources(zar4loader "ZAR4 Data Loader")
endif()

set(ZAR4_WINDOWS_STAGE "${PROJECT_BINARY_DIR}/package-files")
set(ZAR4_WINDOWS_SOURCE "${PROJECT_SOURCE_DIR}/packaging/windows")

# The compiler's runtime DLLs come with their debug information (libstdc++-6.dll: 23.7 MB, 2 MB
# without): stripped copies are made for the packages.
find_program(ZAR4_MINGW_STRIP NAMES x86_64-w64-mingw32-strip REQUIRED)
set(CMAKE_STRIP "${ZAR4_MINGW_STRIP}") # for the programs themselves (CPACK_STRIP_FILES)
set(stripped_runtime)
foreach(dll IN LISTS ZAR4_MINGW_RUNTIME)
    get_filename_component(name "${dll}" NAME)
    set(out "${ZAR4_WINDOWS_STAGE}/runtime/${name}")
    add_custom_command(OUTPUT "${out}"
                       COMMAND ${CMAKE_COMMAND} -E make_directory "${ZAR4_WINDOWS_STAGE}/runtime"
                       COMMAND "${ZAR4_MINGW_STRIP}" --strip-unneeded -o "${out}" "${dll}"
                       DEPENDS "${dll}" VERBATIM)
    list(APPEND stripped_runtime "${out}")
endforeach()

# The licence notices, from the texts of the Debian packages the build took them from.
set(notices "${ZAR4_WINDOWS_STAGE}/licences")
execute_process(COMMAND dpkg-query -W -f=\${Version} libqt6core6 OUTPUT_VARIABLE ZAR4_QT_DEBIAN_VERSION
                ERROR_QUIET)
if(NOT ZAR4_QT_DEBIAN_VERSION)
    set(ZAR4_QT_DEBIAN_VERSION "6.4.2+dfsg")
endif()
set(licence_sources
    "zar4loader.txt=${PROJECT_SOURCE_DIR}/packaging/copyright"
    "LGPL-3.txt=/usr/share/common-licenses/LGPL-3"
    "GPL-3.txt=/usr/share/common-licenses/GPL-3"
    "Qt-copyright.txt=/usr/share/doc/libqt6core6/copyright"
    "GCC-runtime.txt=/usr/share/doc/gcc-mingw-w64-base/copyright"
    "mingw-w64.txt=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
    "Droid-Sans-Fallback.txt=/usr/share/doc/fonts-droid-fallback/copyright"
    "Apache-2.0.txt=/usr/share/common-licenses/Apache-2.0")
set(licence_files)
foreach(entry IN LISTS licence_sources)
    string(REGEX REPLACE "=.*" "" name "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
    if(NOT EXISTS "${source}")
        message(FATAL_ERROR "No ${source} for the Windows packages' licence notices "
                            "(scripts/install-deps --windows installs it)")
    endif()
    # Windows' own editors want CR LF.
    configure_file("${source}" "${notices}/${name}" COPYONLY)
    file(READ "${notices}/${name}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${notices}/${name}" "${text}")
    list(APPEND licence_files "${notices}/${name}")
endforeach()
configure_file("${ZAR4_WINDOWS_SOURCE}/NOTICES.txt.in" "${ZAR4_WINDOWS_STAGE}/NOTICES.txt" @ONLY
               NEWLINE_STYLE CRLF)
configure_file("${ZAR4_WINDOWS_SOURCE}/README.txt.in" "${ZAR4_WINDOWS_STAGE}/README.txt" @ONLY
               NEWLINE_STYLE CRLF)
# Plugins are looked for beside the programs (platforms\, styles\), and nothing else of the
# machine that built Qt is looked for at all.
file(WRITE "${ZAR4_WINDOWS_STAGE}/qt.conf" "[Paths]\r\nPrefix = .\r\nPlugins = .\r\n")
add_custom_target(zar4_windows_package_files ALL DEPENDS ${stripped_runtime})

# What is installed (the packages' contents, all in one folder).
install(TARGETS zar4ctl RUNTIME DESTINATION .)
install(FILES "${ZAR4_WINDOWS_STAGE}/README.txt" "${ZAR4_WINDOWS_STAGE}/NOTICES.txt"
        DESTINATION .)
install(FILES ${licence_files} DESTINATION licences)
if(TARGET zar4loader)
    install(TARGETS zar4loader RUNTIME DESTINATION .)
    set(qt_dlls)
    foreach(m Core Gui Widgets)
        list(APPEND qt_dlls "${ZAR4_WINDOWS_QT}/bin/Qt6${m}.dll")
    endforeach()
    install(FILES ${qt_dlls} ${stripped_runtime} "${ZAR4_WINDOWS_STAGE}/qt.conf" DESTINATION .)
    install(FILES "${ZAR4_WINDOWS_QT}/plugins/platforms/qwindows.dll" DESTINATION platforms)
    install(FILES "${ZAR4_WINDOWS_QT}/plugins/styles/qwindowsvistastyle.dll" DESTINATION styles)
endif()

# The packages.
set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME zar4loader)
set(CPACK_PACKAGE_VENDOR "${ZAR4_PUBLISHER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data loader for the ZAR4 colour vision sensor")
set(CPACK_PACKAGE_FILE_NAME "zar4loader-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${ZAR4_WINDOWS_NAME}")
# One key for every version, so that a new version replaces the old one's entry in Apps &
# features.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${ZAR4_WINDOWS_NAME}")
set(CPACK_STRIP_FILES TRUE)
# The setup program: the project's own template (packaging/windows/NSIS.template.in), 64-bit.
set(CPACK_NSIS_PACKAGE_NAME "${ZAR4_WINDOWS_NAME}")
set(CPACK_NSIS_DISPLAY_NAME "${ZAR4_WINDOWS_NAME}")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MUI_ICON "${ZAR4_WINDOWS_SOURCE}/zar4loader.ico")
set(CPACK_NSIS_MUI_UNIICON "${ZAR4_WINDOWS_SOURCE}/zar4loader.ico")
set(CPACK_NSIS_URL_INFO_ABOUT "https://c-seed-6f2dcbf7.example/zar4loader")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/Zar4CPackOptions.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}" "
# Each package's own file name (read by cpack for each generator), from the version cpack is
# given (scripts/check-windows-package makes an earlier version's setup program to upgrade).
set(CPACK_PACKAGE_FILE_NAME \"zar4loader-\${CPACK_PACKAGE_VERSION}-win64\")
if(CPACK_GENERATOR STREQUAL \"NSIS\")
    set(CPACK_PACKAGE_FILE_NAME \"zar4loader-\${CPACK_PACKAGE_VERSION}-win64-setup\")
else()
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON) # the zip unpacks into a folder of its own
endif()
")
list(PREPEND CMAKE_MODULE_PATH "${ZAR4_WINDOWS_SOURCE}")
include(CPack)
