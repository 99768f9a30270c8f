#pragma once

#include <QString>
#include <string_view>

namespace tessary::gui {

// A text of the system (GBK, as the core, the database and the registry hold it) for Qt.
// The one place where the window turns GBK into Unicode.
QString from_gbk(std::string_view gbk);

}  // namespace tessary::gui
