# The Win32 window tessary.exe, included by db_upgrade/CMakeLists.txt on Windows: a GUI
# program with the static runtime, importing Windows' own DLLs and odbc32 only.
add_library(tessary_gui STATIC
  src/gui/win32/w_db_upgrade.cpp
  src/gui/win32/win32_ui.cpp
  src/gui/win32/fonts.cpp
)
target_link_libraries(tessary_gui PUBLIC tessary_core tessary_host tessary_window_table
  PRIVATE gdi32 user32)
# W functions only: the window shows Chinese whatever the system's code page.
target_compile_definitions(tessary_gui PUBLIC UNICODE _UNICODE)
korvane_strict_warnings(tessary_gui)

# Its icon and manifest (the manifest names the project's version too), also for the program
# that takes the window's picture.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/gui/win32/tessary.manifest.in
  ${CMAKE_CURRENT_BINARY_DIR}/tessary.manifest @ONLY)
add_library(tessary_resources OBJECT src/gui/win32/tessary.rc)
target_include_directories(tessary_resources PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/gui/win32
  ${CMAKE_CURRENT_BINARY_DIR})
set_source_files_properties(src/gui/win32/tessary.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/src/gui/win32/tessary.ico;${CMAKE_CURRENT_BINARY_DIR}/tessary.manifest")

add_executable(tessary WIN32 src/gui/win32/main.cpp $<TARGET_OBJECTS:tessary_resources>)
target_link_libraries(tessary PRIVATE tessary_gui tessary_odbc comctl32)
korvane_version_resource(tessary tessary.exe "烘焙连锁软件数据库升级")
