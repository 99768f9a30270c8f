# A Windows build on Linux runs its tests under wine through scripts generated here. Where
# this machine's wine cannot run programs of the build's architecture (a 32-bit build on a
# kernel without 32-bit support), KORVANE_WINE_RUNS is OFF: every program is still built, and
# only the tests that need no Windows run are added, unless KORVANE_TESTS_IN_GUEST says that
# the 32-bit guest (scripts/win32-guest) runs this build's tests with its own wine.
#
# The prefix is a Windows of the build's architecture: 32-bit Windows for the 32-bit build,
# as the stores run, with its single registry view; 64-bit Windows for the 64-bit build.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(loader_candidates /usr/lib/wine/wine64)
  set(server_candidates /usr/lib/wine/wineserver64)
  set(KORVANE_WINE_ARCH win64)
else()
  set(loader_candidates /usr/lib/wine/wine)
  set(server_candidates /usr/lib/wine/wineserver32)
  set(KORVANE_WINE_ARCH win32)
endif()
find_program(KORVANE_WINE_LOADER NAMES ${loader_candidates} NO_CMAKE_FIND_ROOT_PATH
  DOC "wine's loader for programs of this build's architecture")
find_program(KORVANE_WINE_SERVER NAMES ${server_candidates} wineserver NO_CMAKE_FIND_ROOT_PATH
  PATHS /usr/lib/wine DOC "wine's server")

set(KORVANE_WINE_RUNS OFF)
if(KORVANE_WINE_LOADER AND KORVANE_WINE_SERVER)
  execute_process(COMMAND ${KORVANE_WINE_LOADER} --version
    RESULT_VARIABLE wine_status OUTPUT_QUIET ERROR_QUIET)
  if(wine_status EQUAL 0)
    set(KORVANE_WINE_RUNS ON)
  endif()
endif()
set(KORVANE_WINE_RUNS ${KORVANE_WINE_RUNS} CACHE INTERNAL "wine runs this build's programs")

option(KORVANE_TESTS_IN_GUEST
  "Add every Windows test for the 32-bit guest (scripts/win32-guest) to run with its wine" OFF)
if(KORVANE_TESTS_IN_GUEST)
  # The guest's Debian wine, at the paths of its packages whatever this machine has.
  set(KORVANE_WINE_LOADER ${loader_candidates})
  set(KORVANE_WINE_SERVER ${server_candidates})
  set(KORVANE_RUN_WINDOWS_TESTS ON)
else()
  set(KORVANE_RUN_WINDOWS_TESTS ${KORVANE_WINE_RUNS})
endif()

if(KORVANE_RUN_WINDOWS_TESTS)
  set(KORVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
else()
  message(STATUS "wine cannot run ${CMAKE_SYSTEM_PROCESSOR} Windows programs here: "
    "only the checks that need no Windows run")
endif()
