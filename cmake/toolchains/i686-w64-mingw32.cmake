# 32-bit Windows (the point-of-sale program is a 32-bit program) with MinGW-w64.
set(KORVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
