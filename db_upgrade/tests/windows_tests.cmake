# The Windows suite, included by CMakeLists.txt in a Windows build. tessary-cli.exe is checked
# in the file for the DLLs it needs. The suites run under wine where it can run this build's
# programs (KORVANE_WINE_RUNS), each as one test; tessary-cli.exe is held against the native
# build's tessary-cli and upgrades through FreeTDS's driver against its SQL Server stand-in
# (KORVANE_NATIVE_BUILD_DIR).

if(CMAKE_HOST_UNIX AND CMAKE_OBJDUMP)
  add_test(NAME tessary_windows_cli_needs_only_windows_dlls
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_windows_program.sh ${CMAKE_OBJDUMP}
            $<TARGET_FILE:tessary-cli>)
endif()

# Test programs that cannot run here are built only when asked for by name: they would only
# lengthen the build of every run of the suite.
if(CMAKE_CROSSCOMPILING AND NOT KORVANE_WINE_RUNS)
  set_target_properties(tessary_test_support tessary_core_tests tessary_cli_run_tests
    tessary_system_tests PROPERTIES EXCLUDE_FROM_ALL ON)
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
