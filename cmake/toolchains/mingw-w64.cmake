# Shared part of the MinGW-w64 toolchain files: the including file sets KORVANE_MINGW_TRIPLET.
# POSIX threads (std::thread, std::mutex) and a static runtime, so that a program or DLL
# needs nothing beside it but the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${KORVANE_MINGW_TRIPLET}")

set(CMAKE_C_COMPILER ${KORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${KORVANE_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KORVANE_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# The cross-built dependencies (scripts/windows-deps) sit beside the MinGW system root.
set(KORVANE_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps/${KORVANE_MINGW_TRIPLET}"
    CACHE PATH "Prefix of the cross-built OpenSSL and jsoncpp")
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_TRIPLET} ${KORVANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
