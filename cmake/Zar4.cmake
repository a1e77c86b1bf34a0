# Building blocks shared by every folder.  Each subsystem folder of src/ is one static
# library of core code (no Qt) plus, where it has windows, one library of its *_window.cpp
# files.  Keeping them apart lets a folder be built and tested on its own.

set(ZAR4_SRC ${PROJECT_SOURCE_DIR}/src)
set(ZAR4_TESTS_DIR ${PROJECT_SOURCE_DIR}/tests)

# Each system service has one implementation file per system beside its header
# (serial_port_posix.cpp, serial_port_win32.cpp): keep the one of the system being built for.
# Tests that only one system can run end the same way (line_settings_posix_test.cpp).
function(zar4_filter_platform list_var)
    if(WIN32)
        list(FILTER ${list_var} EXCLUDE REGEX "_posix(_test)?\\.cpp$")
    else()
        list(FILTER ${list_var} EXCLUDE REGEX "_win32(_test)?\\.cpp$")
    endif()
    set(${list_var} ${${list_var}} PARENT_SCOPE)
endfunction()

# Programs without Qt are single files on Windows: the compiler's runtime linked in.
function(zar4_static_on_windows target)
    if(WIN32)
        target_link_options(${target} PRIVATE -static)
    endif()
endfunction()

# Tests that need what only Linux has (pseudo-terminals, fork, the simulated sensor in the
# same process) are left out of the Windows build, and tests built as programs of their own
# out of their folder's program; tests/CMakeLists.txt names them.
function(zar4_filter_tests list_var)
    foreach(name IN LISTS ZAR4_OWN_PROGRAM_TESTS)
        list(FILTER ${list_var} EXCLUDE REGEX "/${name}$")
    endforeach()
    if(WIN32)
        foreach(name IN LISTS ZAR4_POSIX_ONLY_TESTS)
            list(FILTER ${list_var} EXCLUDE REGEX "/${name}$")
        endforeach()
    endif()
    set(${list_var} ${${list_var}} PARENT_SCOPE)
endfunction()

function(zar4_target_defaults target)
    target_compile_options(${target} PRIVATE ${ZAR4_WARNINGS})
    target_include_directories(${target} PUBLIC ${ZAR4_SRC} ${PROJECT_BINARY_DIR}/generated)
endfunction()

# zar4_core_module(<name> <folder> [DEPS libs...])
# Core code: every .cpp of the folder except *_window.cpp and main.cpp.
function(zar4_core_module name folder)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ZAR4_SRC}/${folder}/*.cpp)
    list(FILTER sources EXCLUDE REGEX "(_window\\.cpp|/main\\.cpp)$")
    zar4_filter_platform(sources)
    if(NOT sources)
        add_library(zar4_${name} INTERFACE)
        target_include_directories(zar4_${name} INTERFACE ${ZAR4_SRC})
        target_link_libraries(zar4_${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(zar4_${name} STATIC ${sources})
    zar4_target_defaults(zar4_${name})
    target_link_libraries(zar4_${name} PUBLIC ${ARG_DEPS})
endfunction()

# zar4_window_module(<name> <folder> [DEPS libs...])
# Qt windows of a folder: its *_window.cpp files (and their headers, for moc).
function(zar4_window_module name folder)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ZAR4_SRC}/${folder}/*_window.cpp
         ${ZAR4_SRC}/${folder}/*_window.h)
    zar4_filter_platform(sources)
    if(NOT sources)
        add_library(zar4_${name} INTERFACE)
        target_link_libraries(zar4_${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(zar4_${name} STATIC ${sources})
    zar4_target_defaults(zar4_${name})
    set_target_properties(zar4_${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(zar4_${name} PUBLIC ${ARG_DEPS} Qt6::Widgets)
endfunction()

# zar4_gtest(<name> <folder> [DEPS libs...]): tests/<folder>/*_test.cpp without windows.
function(zar4_gtest name folder)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ZAR4_TESTS_DIR}/${folder}/*_test.cpp)
    list(FILTER sources EXCLUDE REGEX "_window_test\\.cpp$")
    zar4_filter_platform(sources)
    zar4_filter_tests(sources)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    zar4_target_defaults(${name})
    zar4_static_on_windows(${name})
    target_include_directories(${name} PRIVATE ${ZAR4_TESTS_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} zar4_testsupport GTest::gtest GTest::gmock
                          GTest::gtest_main Threads::Threads)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
                         PROPERTIES TIMEOUT 300)
endfunction()

# zar4_qt_gtest(<name> <folder> [DEPS libs...]): tests/<folder>/*_window_test.cpp, run with
# a QApplication on the offscreen platform.
function(zar4_qt_gtest name folder)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ZAR4_TESTS_DIR}/${folder}/*_window_test.cpp)
    zar4_filter_platform(sources)
    zar4_filter_tests(sources)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    zar4_target_defaults(${name})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_include_directories(${name} PRIVATE ${ZAR4_TESTS_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} zar4_qttestsupport GTest::gtest
                          GTest::gmock Qt6::Widgets Qt6::Test Threads::Threads)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
