#include "config.h"

#include <cstring>

#include "log.h"
#include "messages.h"
#include "platform/ascii_case.h"

namespace vortal {

namespace {

char g_config_path[kPathSize];  // written at load only, read by every call afterwards

std::string path_in(const char* folder) {
    char path[kPathSize];
    format_bounded(path, sizeof path, "%s%s", folder, kConfigFileName);
    return path;
}

// Whether any text setting came from the file.
bool anything_read(const TransRequest& request) {
    for (const char* value :
         {request.version, request.server_host, request.server_path, request.proxy,
          request.receipt_file, request.callback_url, request.shop_no, request.terminal_no}) {
        if (value[0] != '\0') return true;
    }
    return false;
}

bool same_key(const Setting& a, const Setting& b) {
    return std::strcmp(a.section, b.section) == 0 && std::strcmp(a.key, b.key) == 0;
}

bool reaches_service(Operation operation) {
    return operation != Operation::none && operation != Operation::box_qr_address;
}

// Says on the debugger output why the file does not give the operation what it needs to reach
// the payment service: the host, the path and, for the shop's own orders, the shop number,
// and a 协议 it cannot speak (protocol, as written). "Z6" needs none of them; any operation
// needs the file to give something.
void report_setup_faults(const platform::ProfileFile& profile, const TransRequest& request,
                         const char* protocol) {
    if (!settings_usable(request)) {
        debug_trace(msg::kProtocolInvalid, profile.location().c_str(), protocol);
    }
    struct Needed {
        const Setting& setting;
        const char* value;
    };
    const Needed settings[] = {
        {kHost, request.server_host}, {kPath, request.server_path}, {kShopNo, request.shop_no}};
    std::size_t needed = 0;
    switch (request.operation) {
        case Operation::scan_pay:
        case Operation::refund:
        case Operation::create_order:
        case Operation::query:
            needed = 3;
            break;
        case Operation::machine_order:
            needed = 2;
            break;
        case Operation::box_qr_address:
            break;
        case Operation::none:
            return;
    }
    bool missing = false;
    for (std::size_t i = 0; i < needed; ++i) missing |= settings[i].value[0] == '\0';
    if (!missing && anything_read(request)) return;

    const std::string where = profile.location();
    if (!profile.found()) {
        debug_trace(msg::kConfigNotFound, where.c_str());
    } else if (looks_like_utf8(profile)) {
        debug_trace(msg::kConfigLooksUtf8, where.c_str());
    } else {
        for (std::size_t i = 0; i < needed; ++i) {
            const Setting& setting = settings[i].setting;
            if (settings[i].value[0] == '\0')
                debug_trace(msg::kSettingEmpty, where.c_str(), setting.section, setting.key);
        }
    }
}

}  // namespace

void set_up_config_path() {
    char folder[kPathSize] = {};
    if (platform::own_module_folder(folder, sizeof folder) ==
        platform::ModuleLookup::not_loaded_by_name) {
        platform::debug_output(msg::kModuleNotFound);
    }
    copy_bounded(g_config_path, path_in(folder));
}

const char* config_path() {
    return g_config_path;
}

std::string config_path_of_library(const char* library_file) {
    char folder[kPathSize] = {};
    platform::library_folder(library_file, folder, sizeof folder);
    return path_in(folder);
}

void read_setting(const platform::ProfileFile& profile, const Setting& setting, char* dest) {
    profile.text(setting.section, setting.key, "", dest, setting.text_size);
}

int read_number(const platform::ProfileFile& profile, const Setting& setting) {
    int fallback = setting.fallback;
    if (same_key(setting, kPort)) {
        char protocol[kProtocol.text_size] = {};
        read_setting(profile, kProtocol, protocol);
        if (protocol_named(protocol) == Protocol::https) fallback = kDefaultTlsPort;
    }
    return profile.number(setting.section, setting.key, fallback);
}

Protocol protocol_named(std::string_view value) {
    if (value.empty() || platform::equal_ignoring_ascii_case(value, "http")) return Protocol::http;
    if (platform::equal_ignoring_ascii_case(value, "https")) return Protocol::https;
    return Protocol::unknown;
}

void read_config(const char* file, TransRequest& request) {
    const platform::ProfileFile profile(file);
    read_setting(profile, kVersion, request.version);
    read_setting(profile, kHost, request.server_host);
    read_setting(profile, kPath, request.server_path);
    char protocol[kProtocol.text_size] = {};
    read_setting(profile, kProtocol, protocol);
    request.server_protocol = protocol_named(protocol);
    request.server_port = static_cast<std::uint16_t>(read_number(profile, kPort));

    char proxy[kProxy.text_size] = {};
    read_setting(profile, kProxy, proxy);
    std::memset(request.proxy, 0, sizeof request.proxy);
    if (proxy[0] != '\0')
        format_bounded(request.proxy, sizeof request.proxy, "HTTP=HTTP://%s", proxy);

    request.print_flag = read_number(profile, kPrint);
    read_setting(profile, kReceiptFile, request.receipt_file);
    request.timeout_seconds = read_number(profile, kTimeout);
    read_setting(profile, kCallback, request.callback_url);
    read_setting(profile, kShopNo, request.shop_no);
    read_setting(profile, kTerminalNo, request.terminal_no);

    report_setup_faults(profile, request, protocol);
}

bool settings_usable(const TransRequest& request) {
    return request.server_protocol != Protocol::unknown || !reaches_service(request.operation);
}

bool looks_like_utf8(const platform::ProfileFile& profile) {
    if (profile.encoding() != platform::TextEncoding::utf8) return false;
    for (const Setting& setting : kSettings) {
        if (profile.has(setting.section)) return false;
    }
    return true;
}

}  // namespace vortal
