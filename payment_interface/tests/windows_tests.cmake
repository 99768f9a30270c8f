# The Windows suite, included by CMakeLists.txt in a Windows build. On Linux the DLL's export
# and calling convention are checked in the file itself and everything else runs under wine
# where it can run this build's programs or in the 32-bit guest (KORVANE_RUN_WINDOWS_TESTS),
# the end-to-end tests against
# the Linux substitute aggregator of the native build (KORVANE_NATIVE_BUILD_DIR).

set(KORVANE_NATIVE_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/default" CACHE PATH
  "The native build whose substitute aggregator serves the Windows end-to-end tests")

if(CMAKE_HOST_UNIX AND CMAKE_OBJDUMP)
  add_test(NAME vortal_dll_exports_only_z_alitrans
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_windows_dll.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:vortal>
            ${CMAKE_SYSTEM_PROCESSOR})
endif()

add_executable(vortal_end_to_end_tests windows_end_to_end_test.cpp)
target_include_directories(vortal_end_to_end_tests PRIVATE ../include ../tools)
target_compile_definitions(vortal_end_to_end_tests PRIVATE
  VORTAL_LIBRARY_PATH="${test_path_prefix}$<TARGET_FILE:vortal>"
  VORTAL_BOX_SERVICE_PATH="${test_path_prefix}$<TARGET_FILE:vortal-box-service>"
  VORTAL_CLI_PATH="${test_path_prefix}$<TARGET_FILE:vortal-cli>")
target_link_libraries(vortal_end_to_end_tests PRIVATE vortal_hmac GTest::gtest_main)
add_dependencies(vortal_end_to_end_tests vortal vortal-box-service vortal-cli)
korvane_strict_warnings(vortal_end_to_end_tests)
korvane_gbk_literals(vortal_end_to_end_tests)

# HTTPS through WinINet, with a test CA trusted for the test's length.
add_executable(vortal_https_tests windows_https_test.cpp)
target_include_directories(vortal_https_tests PRIVATE ../include ../tools)
target_compile_definitions(vortal_https_tests PRIVATE
  VORTAL_LIBRARY_PATH="${test_path_prefix}$<TARGET_FILE:vortal>")
target_link_libraries(vortal_https_tests PRIVATE crypt32 GTest::gtest_main)
add_dependencies(vortal_https_tests vortal)
korvane_strict_warnings(vortal_https_tests)
korvane_gbk_literals(vortal_https_tests)

if(MINGW AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_executable(vortal_stdcall_caller stdcall_caller.cpp)
  target_include_directories(vortal_stdcall_caller PRIVATE ../include)
  korvane_strict_warnings(vortal_stdcall_caller)
endif()

if(CMAKE_CROSSCOMPILING AND NOT KORVANE_RUN_WINDOWS_TESTS)
  return()
endif()

# The registry and the box service's named objects belong to the whole prefix (machine).
add_test(NAME vortal_windows_unit_tests
  COMMAND vortal_unit_tests --gtest_filter=-HttpTimeOuts.*)
add_test(NAME vortal_windows_http_time_outs
  COMMAND vortal_unit_tests --gtest_filter=HttpTimeOuts.*)
set_tests_properties(vortal_windows_unit_tests PROPERTIES RESOURCE_LOCK windows_prefix_registry)
if(CMAKE_HOST_UNIX)
  add_test(NAME vortal_windows_end_to_end
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_end_to_end.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:vortal_end_to_end_tests>
            ${KORVANE_NATIVE_BUILD_DIR}/payment_interface/tools/vortal-aggregator)
  set_tests_properties(vortal_windows_end_to_end PROPERTIES RESOURCE_LOCK windows_prefix_registry)
  add_test(NAME vortal_windows_https
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_windows_https.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:vortal_https_tests>
            ${KORVANE_NATIVE_BUILD_DIR}/payment_interface/tools/vortal-aggregator)
  # The trusted roots are the prefix's registry.
  set_tests_properties(vortal_windows_https PROPERTIES RESOURCE_LOCK windows_prefix_registry)
  add_test(NAME vortal_windows_threads_then_exit
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_thread_exit.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:vortal_thread_exit_caller> $<TARGET_FILE:vortal>
            ${KORVANE_NATIVE_BUILD_DIR}/payment_interface/tools/vortal-aggregator)
  # Its orders go to the journal of the box service's folder while another test names one in
  # the registry, where they would be taken for that test's orders.
  set_tests_properties(vortal_windows_threads_then_exit
    PROPERTIES RESOURCE_LOCK windows_prefix_registry)
endif()

if(TARGET vortal_stdcall_caller)
  add_test(NAME vortal_windows_stdcall_export COMMAND vortal_stdcall_caller
    "${test_path_prefix}$<TARGET_FILE:vortal>")
endif()
