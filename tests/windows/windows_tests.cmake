# The Windows tests, run under Wine by tests/windows/run: the unit tests that hold on any system
# (DOLVANE_PORTABLE_TESTS), the Windows-only cases, the programs they start, and the message-box
# probe.

add_library(dolvane_test_support STATIC
  support/pictures.cpp support/temp_files.cpp support/memory_limit_win32.cpp)
target_include_directories(dolvane_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(dolvane_test_support PUBLIC dolvane_core GTest::gtest psapi)
target_compile_options(dolvane_test_support PRIVATE ${DOLVANE_WARNINGS})

add_executable(dolvane_report_command_line windows/report_command_line.cpp)
target_compile_options(dolvane_report_command_line PRIVATE ${DOLVANE_WARNINGS})

add_executable(dolvane_tests ${DOLVANE_PORTABLE_TESTS} windows/platform_test.cpp test_main.cpp)
target_link_libraries(dolvane_tests PRIVATE dolvane_test_support GTest::gtest)
target_compile_options(dolvane_tests PRIVATE ${DOLVANE_WARNINGS})
target_compile_definitions(dolvane_tests PRIVATE
  DOLVANE_REPORT_COMMAND_LINE="$<TARGET_FILE:dolvane_report_command_line>")
add_dependencies(dolvane_tests dolvane_report_command_line)

# With the program's resources, so that its manifest gives the probe the same code page.
add_executable(dolvane_box_probe windows/box_probe.cpp ${DOLVANE_RESOURCES})
target_compile_options(dolvane_box_probe PRIVATE ${DOLVANE_WARNINGS})
target_link_libraries(dolvane_box_probe PRIVATE user32 gdi32)

add_executable(dolvane_crash_in_guard windows/crash_in_guard.cpp)
target_compile_options(dolvane_crash_in_guard PRIVATE ${DOLVANE_WARNINGS})
target_link_libraries(dolvane_crash_in_guard PRIVATE dolvane_core)
