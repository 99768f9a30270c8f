# The Qt window, included by db_upgrade/CMakeLists.txt on systems other than Windows.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(tessary_gui STATIC
  src/gui/qt/db_upgrade_pos.cpp
  src/gui/qt/w_db_upgrade.cpp
  src/gui/qt/window_layout.cpp
  src/gui/qt/qt_ui.cpp
  src/gui/qt/fonts.cpp
  src/gui/qt/gbk_text.cpp
)
target_link_libraries(tessary_gui PUBLIC tessary_core tessary_host tessary_window_table
  Qt6::Widgets)
korvane_strict_warnings(tessary_gui)

add_executable(tessary src/gui/qt/main.cpp)
target_link_libraries(tessary PRIVATE tessary_gui tessary_odbc)
