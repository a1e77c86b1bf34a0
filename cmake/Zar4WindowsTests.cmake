# Windows tests that talk to the Linux simulated sensor through COM1. Wine maps COM1 onto the
# path ZAR4_COM1_LINK (HKLM\Software\Wine\Ports, set by scripts/windows-test before the
# wineserver starts); a fixture starts the Linux build's zar4sim with its link there.

set(ZAR4_LINUX_BUILD "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "The Linux build whose zar4sim and zar4ctl the Windows tests run against")
set(ZAR4_COM1_LINK "${PROJECT_BINARY_DIR}/com1")

add_executable(test_com_port ${ZAR4_TESTS_DIR}/link/com_port_win32_test.cpp)
zar4_target_defaults(test_com_port)
zar4_static_on_windows(test_com_port)
target_link_libraries(test_com_port PRIVATE zar4_link GTest::gtest GTest::gtest_main)

set(sim_dir "${PROJECT_BINARY_DIR}/com1-sim")
add_test(NAME com1_simulator_start
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/com1-sim start "${ZAR4_LINUX_BUILD}/zar4sim"
                 "${ZAR4_COM1_LINK}" "${sim_dir}")
add_test(NAME com1_simulator_stop
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/com1-sim stop "${ZAR4_LINUX_BUILD}/zar4sim"
                 "${ZAR4_COM1_LINK}" "${sim_dir}")
set_tests_properties(com1_simulator_start PROPERTIES FIXTURES_SETUP com1 RESOURCE_LOCK com1)
set_tests_properties(com1_simulator_stop PROPERTIES FIXTURES_CLEANUP com1 RESOURCE_LOCK com1)

gtest_discover_tests(test_com_port DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
                     PROPERTIES TIMEOUT 60 FIXTURES_REQUIRED com1 RESOURCE_LOCK com1
                     ENVIRONMENT "ZAR4_TEST_COM=1")

# READ and WRITE by zar4ctl.exe through COM1, byte for byte against the Linux zar4ctl, and
# every command's texts and exit statuses the same on both.
if(TARGET zar4ctl)
    add_test(NAME windows_transfer_check
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-transfer-check
                     "$<TARGET_FILE:zar4ctl>" "${ZAR4_LINUX_BUILD}/zar4ctl" "${ZAR4_COM1_LINK}"
                     "${PROJECT_BINARY_DIR}/transfer-check")
    set_tests_properties(windows_transfer_check PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED com1
                         RESOURCE_LOCK com1)
endif()

# The desktop program starts and keeps its main window open on the offscreen platform.
if(TARGET zar4loader)
    add_test(NAME zar4loader_starts COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-loader-start
                                            "$<TARGET_FILE:zar4loader>")
    set_tests_properties(zar4loader_starts PROPERTIES TIMEOUT 60)
endif()
