# The Windows build (cross-compiled with cmake/mingw-w64.cmake, tested under wine).
#
# Programs without Qt are linked statically, so that zar4ctl.exe and the core tests are single
# files. The windows use the Qt of ZAR4_WINDOWS_QT (a Qt 6 built for mingw-w64, see
# scripts/build-qt-windows); its DLLs, the offscreen and windows platform plugins and the
# compiler's runtime DLLs are copied beside the programs so that they start from the build
# folder. Without that Qt, everything but the windows is built and tested.

set(ZAR4_WINDOWS_QT "" CACHE PATH "Qt 6 for mingw-w64 (a prefix with lib/cmake/Qt6)")

if(ZAR4_WITH_QT)
    if(ZAR4_WINDOWS_QT AND EXISTS "${ZAR4_WINDOWS_QT}/lib/cmake/Qt6/Qt6Config.cmake")
        get_filename_component(ZAR4_WINDOWS_QT "${ZAR4_WINDOWS_QT}" ABSOLUTE)
        list(APPEND CMAKE_PREFIX_PATH "${ZAR4_WINDOWS_QT}")
        list(APPEND CMAKE_FIND_ROOT_PATH "${ZAR4_WINDOWS_QT}")
        # moc, uic and rcc run on this machine: the host's own Qt of the same version.
        set(QT_HOST_PATH /usr CACHE PATH "")
        set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
    else()
        message(WARNING "No Qt for Windows at '${ZAR4_WINDOWS_QT}' (ZAR4_WINDOWS_QT): building "
                        "and testing everything but the windows (no zar4loader.exe)")
        set(ZAR4_WITH_QT OFF)
    endif()
endif()

# Icons, version information and manifests of the programs (windres).
enable_language(RC)
set(ZAR4_PUBLISHER "The ZAR4 Data Loader maintainers")
set(ZAR4_COPYRIGHT "Copyright (C) 2026 the ZAR4 Data Loader maintainers")

# zar4_windows_resources(<target> <description>): the program's icon, its VERSIONINFO from the
# project's version (FileDescription <description>) and its application manifest.
function(zar4_windows_resources target description)
    set(ZAR4_RC_NAME ${target})
    set(ZAR4_RC_FILE_NAME ${target}.exe)
    set(ZAR4_RC_DESCRIPTION "${description}")
    set(ZAR4_RC_ICON "${PROJECT_SOURCE_DIR}/packaging/windows/zar4loader.ico")
    set(out "${PROJECT_BINARY_DIR}/generated/resources")
    set(ZAR4_RC_MANIFEST "${out}/${target}.manifest")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest.in"
                   "${ZAR4_RC_MANIFEST}" @ONLY)
    configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in" "${out}/${target}.rc"
                   @ONLY)
    target_sources(${target} PRIVATE "${out}/${target}.rc")
    # windres reads the icon and the manifest itself: a change to either rebuilds the resource.
    set_source_files_properties("${out}/${target}.rc" TARGET_DIRECTORY ${target} PROPERTIES
        OBJECT_DEPENDS "${ZAR4_RC_ICON};${ZAR4_RC_MANIFEST}")
endfunction()

# The compiler's runtime, for the programs that take Qt's DLLs and so cannot be static.
set(ZAR4_MINGW_RUNTIME
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll)

# zar4_windows_link(<target>): a single static .exe when the target has no Qt.
function(zar4_windows_link target)
    get_target_property(libs ${target} LINK_LIBRARIES)
    set(uses_qt OFF)
    foreach(lib IN LISTS libs)
        if(lib MATCHES "Qt6::|_windows$|zar4_ui$|zar4_qttestsupport$")
            set(uses_qt ON)
        endif()
    endforeach()
    if(NOT uses_qt)
        target_link_options(${target} PRIVATE -static)
    endif()
endfunction()

# Copies Qt's DLLs, the platform plugins, the native style and the runtime DLLs into `dir`. The
# offscreen platform on Windows finds fonts only in its own folder (<prefix>/lib/fonts, the
# prefix made the program's folder by qt.conf): Liberation Sans goes there, the face that Arial
# resolves to in the Linux tests (fonts-liberation). No font there has the full-width
# characters of some window texts, as on a Windows PC without East Asian fonts: the programs
# bring their own glyphs for those.
set(ZAR4_WINDOWS_FONTS /usr/share/fonts/truetype/liberation/LiberationSans-*.ttf)
function(zar4_windows_deploy_qt dir)
    if(NOT ZAR4_WITH_QT)
        return()
    endif()
    foreach(pattern IN LISTS ZAR4_WINDOWS_FONTS)
        file(GLOB fonts ${pattern})
        if(NOT fonts)
            message(WARNING "No font ${pattern}: the offscreen window tests will miss its glyphs")
        endif()
        file(COPY ${fonts} DESTINATION "${dir}/lib/fonts")
    endforeach()
    # (Build folders of earlier versions had the whole Droid Sans Fallback there.)
    file(REMOVE "${dir}/lib/fonts/DroidSansFallbackFull.ttf")
    file(WRITE "${dir}/qt.conf" "[Paths]\nPrefix = .\n")
    set(files)
    foreach(m Core Gui Widgets Test)
        list(APPEND files "${ZAR4_WINDOWS_QT}/bin/Qt6${m}.dll")
    endforeach()
    file(COPY ${files} ${ZAR4_MINGW_RUNTIME} DESTINATION "${dir}")
    file(COPY "${ZAR4_WINDOWS_QT}/plugins/platforms/qoffscreen.dll"
              "${ZAR4_WINDOWS_QT}/plugins/platforms/qwindows.dll"
         DESTINATION "${dir}/platforms")
    file(COPY "${ZAR4_WINDOWS_QT}/plugins/styles/qwindowsvistastyle.dll"
         DESTINATION "${dir}/styles")
endfunction()
