#include "gbk_text.h"

#include "host/host.h"

namespace tessary::gui {

QString from_gbk(std::string_view gbk) {
    return QString::fromStdString(host::gbk_to_utf8(gbk));
}

}  // namespace tessary::gui
