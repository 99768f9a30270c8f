#include "config.h"

#include <cstring>

#include "messages.h"
#include "platform/platform.h"

namespace vortal {

namespace {

constexpr std::size_t kPathSize = 260;
char g_config_path[kPathSize];  // written at load only, read by every call afterwards

}  // namespace

void set_up_config_path() {
    char folder[kPathSize] = {};
    if (platform::own_module_folder(folder, sizeof folder) ==
        platform::ModuleLookup::not_loaded_by_name) {
        platform::debug_output(msg::kModuleNotFound);
    }
    format_bounded(g_config_path, sizeof g_config_path, "%s%s", folder, kConfigFileName);
}

const char* config_path() {
    return g_config_path;
}

void read_config(const char* file, TransRequest& request) {
    const platform::ProfileFile profile(file);
    auto read_text = [&profile](const char* section, const char* key, auto& dest) {
        profile.text(section, key, "", dest, sizeof dest);
    };
    read_text("接口信息", "版本", request.version);
    read_text("服务器信息", "域名", request.server_host);
    read_text("服务器信息", "地址", request.server_path);
    request.server_port =
        static_cast<std::uint16_t>(profile.number("服务器信息", "端口", kDefaultPort));

    char proxy[kPathSize] = {};
    read_text("服务器信息", "代理", proxy);
    std::memset(request.proxy, 0, sizeof request.proxy);
    if (proxy[0] != '\0')
        format_bounded(request.proxy, sizeof request.proxy, "HTTP=HTTP://%s", proxy);

    request.print_flag = profile.number("功能选择", "开启打印", 0);
    read_text("功能选择", "打印文件", request.receipt_file);
    request.timeout_seconds = profile.number("功能选择", "超时时间", kDefaultTimeoutSeconds);
    read_text("功能选择", "主扫回调", request.callback_url);
    read_text("商户信息", "店铺编号", request.shop_no);
    read_text("商户信息", "终端编号", request.terminal_no);
}

}  // namespace vortal
