# Compiler settings shared by every target of the project.

if(KORVANE_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "The sanitizer build is for GCC or Clang")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings are errors in our own code; third-party headers come in as SYSTEM includes. (The
# options are the C and C++ compilers'; the resource compiler of a Windows build takes none.)
function(korvane_strict_warnings target)
  if(MSVC)
    set(options /W4 /WX)
  else()
    set(options -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Wformat=2
      -Werror)
  endif()
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${options}>")
endfunction()

# Every narrow string literal of the target is emitted in GBK (code page 936), the code
# page of the store systems; the sources themselves stay UTF-8. u8"" literals stay UTF-8 for
# the places that need it. Clang has no GBK execution character set: its compiles go through
# korvane-gbk-compile (cmake/gbk_literals), which writes the GBK bytes of every narrow literal,
# the target's headers' included, as escapes before clang sees them.
function(korvane_gbk_literals target)
  if(MSVC)
    target_compile_options(${target} PRIVATE
      "$<$<COMPILE_LANGUAGE:C,CXX>:/source-charset:utf-8;/execution-charset:gbk>")
  elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE
      "$<$<COMPILE_LANGUAGE:C,CXX>:-finput-charset=UTF-8;-fexec-charset=GBK>")
  elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set_property(TARGET ${target} PROPERTY CXX_COMPILER_LAUNCHER $<TARGET_FILE:korvane-gbk-compile>)
    add_dependencies(${target} korvane-gbk-compile)
  else()
    message(FATAL_ERROR "${target} needs GBK string literals: build with GCC, Clang or MSVC")
  endif()
endfunction()

# Windows programs run on the stores' oldest systems, Windows 7 SP1: nothing of a later
# Windows may be called. They carry nothing of the machine that built them: no build paths
# (assertion texts, debug information) and no link time stamp, so that a commit always gives
# the same bytes.
if(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
if(MINGW)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
  add_link_options("LINKER:--no-insert-timestamp")
endif()
