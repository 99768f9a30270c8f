# 64-bit Windows with MinGW-w64: the same sources as the 32-bit build, for running the
# Windows suite under a wine that cannot run 32-bit programs.
set(KORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
