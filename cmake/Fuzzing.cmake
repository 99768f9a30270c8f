# libFuzzer targets. A deliverable declares each of its fuzz targets with korvane_fuzz_target.
# With KORVANE_FUZZ (the fuzz preset: clang 14, ASan and UBSan) they are libFuzzer programs,
# built by the target korvane_fuzz and listed in fuzz-targets.txt of the build folder for
# scripts/fuzz. In the other builds with tests, each replays its seed corpus once as a test.

option(KORVANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(KORVANE_FUZZING_DIR ${CMAKE_CURRENT_LIST_DIR}/fuzzing)

if(KORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KORVANE_FUZZ needs clang, whose libFuzzer it uses")
  endif()
  # Coverage for the fuzzer in everything the targets link; libFuzzer itself comes with
  # the targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_custom_target(korvane_fuzz)

  function(korvane_write_fuzz_manifest)
    get_property(entries GLOBAL PROPERTY KORVANE_FUZZ_TARGETS)
    list(JOIN entries "\n" lines)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${lines}\n")
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL korvane_write_fuzz_manifest)
endif()

# korvane_fuzz_target(NAME SOURCES file... [LIBRARIES library...] CORPUS folder)
# The harness defines LLVMFuzzerTestOneInput and checks its properties with korvane_require
# (fuzz_check.h). CORPUS is the committed seed corpus, one input per file; keep it small.
# A harness with fixed texts calls korvane_gbk_literals(NAME) itself.
function(korvane_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 FUZZ "" "CORPUS" "SOURCES;LIBRARIES")
  if(NOT FUZZ_SOURCES OR NOT FUZZ_CORPUS)
    message(FATAL_ERROR "korvane_fuzz_target(${name}): SOURCES and CORPUS are required")
  endif()
  get_filename_component(corpus "${FUZZ_CORPUS}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${corpus}")
    message(FATAL_ERROR "korvane_fuzz_target(${name}): no seed corpus at ${corpus}")
  endif()
  if(KORVANE_FUZZ)
    add_executable(${name} ${FUZZ_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(korvane_fuzz ${name})
    set_property(GLOBAL APPEND PROPERTY KORVANE_FUZZ_TARGETS
      "${name}|$<TARGET_FILE:${name}>|${corpus}")
  elseif(KORVANE_BUILD_TESTS)
    add_executable(${name} ${FUZZ_SOURCES} ${KORVANE_FUZZING_DIR}/replay_main.cpp)
    add_test(NAME ${name}_seeds COMMAND ${name} ${corpus})
  else()
    return()
  endif()
  target_include_directories(${name} PRIVATE ${KORVANE_FUZZING_DIR})
  target_link_libraries(${name} PRIVATE ${FUZZ_LIBRARIES})
  korvane_strict_warnings(${name})
endfunction()
