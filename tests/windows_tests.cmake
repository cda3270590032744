# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build's tests: the unit tests that need no Linux device, as one program run under
# wine (tests/windows/run-windows-tests.sh). GoogleTest is built from Debian's sources with the
# same compiler.
set(RUR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian package googletest)")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${RUR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(RUR_WINDOWS_TEST_SOURCES
    transport/command_frame_test.cpp transport/controller_channel_test.cpp
    monitor/bay_memory_test.cpp monitor/event_log_test.cpp monitor/request_dispatcher_test.cpp
    monitor/status_decoding_test.cpp monitor/status_page_model_test.cpp
    smart/evaluate_smart_test.cpp smart/disk_health_test.cpp smart/smart_tick_test.cpp
    smart/read_smart_pages_test.cpp
    firmware/spi_flash_test.cpp firmware/firmware_image_test.cpp firmware/firmware_upgrade_test.cpp
    firmware/firmware_simulated_test.cpp
    emulator/scenario_test.cpp emulator/simulated_enclosure_test.cpp emulator/simulated_host_test.cpp
    notify/mail_text_test.cpp notify/settings_store_test.cpp notify/mail_center_test.cpp
    app/engine_detection_test.cpp app/fault_matrix_test.cpp app/prometheus_metrics_test.cpp
    platform/clock_test.cpp)
list(TRANSFORM RUR_WINDOWS_TEST_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_executable(rur_windows_tests ${RUR_WINDOWS_TEST_SOURCES})
target_include_directories(rur_windows_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(rur_windows_tests PRIVATE RUR_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                                     RUR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(rur_windows_tests PRIVATE rur_cli gtest gtest_main gmock)
