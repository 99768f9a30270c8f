# The Windows suite, included by CMakeLists.txt in a Windows build. tessary-cli.exe and
# tessary.exe are checked in the file for the DLLs they need and their version resource. The
# suites run under wine where it can run this build's programs or in the 32-bit guest
# (KORVANE_RUN_WINDOWS_TESTS), each as one test; tessary-cli.exe is held against the native build's tessary-cli and upgrades
# through FreeTDS's driver against its SQL Server stand-in (KORVANE_NATIVE_BUILD_DIR); so
# does tessary.exe, driven by the window's test program.

if(CMAKE_HOST_UNIX AND CMAKE_OBJDUMP)
  add_test(NAME tessary_windows_cli_needs_only_windows_dlls
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_windows_program.sh ${CMAKE_OBJDUMP}
            $<TARGET_FILE:tessary-cli> ${PROJECT_VERSION})
  if(TARGET tessary)
    add_test(NAME tessary_windows_window_needs_only_windows_dlls
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_windows_program.sh ${CMAKE_OBJDUMP}
              $<TARGET_FILE:tessary> ${PROJECT_VERSION} --gui)
  endif()
endif()

# The Win32 window in a test program of its own, tessary.exe driven from it, and the
# picture of the window for the README (db_upgrade/tools/screenshot-windows).
if(TARGET tessary)
  add_executable(tessary_window_tests win32_gui/window_test.cpp win32_gui/tessary_exe_test.cpp)
  target_link_libraries(tessary_window_tests PRIVATE tessary_gui tessary_odbc tessary_test_support
    GTest::gtest_main)
  korvane_strict_warnings(tessary_window_tests)
  add_dependencies(tessary_window_tests tessary)

  add_executable(tessary_window_screenshot win32_gui/window_screenshot.cpp
    $<TARGET_OBJECTS:tessary_resources>)
  target_link_libraries(tessary_window_screenshot PRIVATE tessary_gui tessary_test_support gdiplus
    comctl32)
  if(MINGW)
    target_link_options(tessary_window_screenshot PRIVATE -municode)  # wmain
  endif()
  korvane_strict_warnings(tessary_window_screenshot)
endif()

# Every test program is built, also where wine cannot run it here: a fault that only this
# architecture's compiler sees fails the build on every machine. Only running them needs wine.
if(CMAKE_CROSSCOMPILING AND NOT KORVANE_RUN_WINDOWS_TESTS)
  return()
endif()

add_test(NAME tessary_windows_core_tests COMMAND tessary_core_tests)
add_test(NAME tessary_windows_cli_run_tests COMMAND tessary_cli_run_tests)
# The registry belongs to the whole prefix (machine).
add_test(NAME tessary_windows_system_tests COMMAND tessary_system_tests)
set_tests_properties(tessary_windows_system_tests PROPERTIES RESOURCE_LOCK windows_prefix_registry)

if(CMAKE_HOST_UNIX)
  add_test(NAME tessary_windows_cli
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_cli_test.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:tessary-cli> ${KORVANE_NATIVE_BUILD_DIR}/db_upgrade)
  set_tests_properties(tessary_windows_cli PROPERTIES RESOURCE_LOCK windows_prefix_registry)
endif()

if(CMAKE_HOST_UNIX AND TARGET tessary)
  add_test(NAME tessary_windows_window
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_window_test.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:tessary_window_tests> $<TARGET_FILE:tessary>
            ${KORVANE_NATIVE_BUILD_DIR}/db_upgrade)
  # Alone: the prefix's wineserver is ended around it, for its own X server.
  set_tests_properties(tessary_windows_window PROPERTIES RUN_SERIAL ON
    RESOURCE_LOCK windows_prefix_registry)
endif()
