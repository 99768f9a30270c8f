#include "window.h"

namespace tessary {

const char* const gs_appname = "凯岚商业管理软件";

void open(UpgradeWindow& w) {
    w.is_runpath = w.system().current_directory() + w.system().path_separator();
}

void ue_postopen(UpgradeWindow& w) {
    if (!wf_connect_db(w)) {
        w.ui().message_box(gs_appname, "不能连接到数据库");
        w.ui().set_upgrade_enabled(false);
    }
}

}  // namespace tessary
