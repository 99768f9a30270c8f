// The configuration file Z_AllITrans.ini beside the library: its path, worked out once at
// load, the settings it holds and the read of them into the request record on every call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "records.h"

namespace vortal {

inline constexpr char kConfigFileName[] = "Z_AllITrans.ini";
inline constexpr int kDefaultPort = 80;
inline constexpr int kDefaultTlsPort = 443;
inline constexpr int kDefaultTimeoutSeconds = 45;

// One key of the file as the library reads it: a text kept in text_size bytes (its NUL
// included), or, with text_size 0, a number with its default.
struct Setting {
    const char* section;
    const char* key;
    std::size_t text_size;
    int fallback;
};

inline constexpr Setting kVersion{"接口信息", "版本", sizeof(TransRequest::version), 0};
inline constexpr Setting kHost{"服务器信息", "域名", sizeof(TransRequest::server_host), 0};
inline constexpr Setting kPath{"服务器信息", "地址", sizeof(TransRequest::server_path), 0};
// "http" or "https" in any letter case; empty is http. Read wide enough to show a wrong value.
inline constexpr Setting kProtocol{"服务器信息", "协议", 50, 0};
// Its default follows 协议: 80, or 443 for https.
inline constexpr Setting kPort{"服务器信息", "端口", 0, kDefaultPort};
// Read whole; the request keeps it as "HTTP=HTTP://" and the value, cut to its field.
inline constexpr Setting kProxy{"服务器信息", "代理", 260, 0};
inline constexpr Setting kPrint{"功能选择", "开启打印", 0, 0};
inline constexpr Setting kReceiptFile{"功能选择", "打印文件", sizeof(TransRequest::receipt_file),
                                      0};
inline constexpr Setting kTimeout{"功能选择", "超时时间", 0, kDefaultTimeoutSeconds};
inline constexpr Setting kCallback{"功能选择", "主扫回调", sizeof(TransRequest::callback_url), 0};
inline constexpr Setting kShopNo{"商户信息", "店铺编号", sizeof(TransRequest::shop_no), 0};
inline constexpr Setting kTerminalNo{"商户信息", "终端编号", sizeof(TransRequest::terminal_no), 0};

static_assert(sizeof("中") == 3, "config.h needs GBK string literals (korvane_gbk_literals)");

// Every setting, in the order the file is read.
inline constexpr Setting kSettings[] = {kVersion, kHost,     kPath,   kProtocol,
                                        kPort,    kProxy,    kPrint,  kReceiptFile,
                                        kTimeout, kCallback, kShopNo, kTerminalNo};

// Called at load. When the library's own file cannot be found under its name, the path is
// the bare file name, which the profile reads look up in the system folder.
void set_up_config_path();
const char* config_path();

// The path the library works out at load when it is loaded from library_file.
std::string config_path_of_library(const char* library_file);

// A text setting into dest of setting.text_size bytes, or a number, each as every call
// reads it.
void read_setting(const platform::ProfileFile& profile, const Setting& setting, char* dest);
int read_number(const platform::ProfileFile& profile, const Setting& setting);

// The protocol a 协议 value names.
Protocol protocol_named(std::string_view value);

// Overwrites the configured fields of the request with the file's values or their defaults.
// When a setting that the request's operation needs is empty, or the file gave nothing at
// all, says why on the debugger output, once per cause: the file is missing (with the path
// looked at), it looks like UTF-8 (see below), or which needed settings are empty.
void read_config(const char* file, TransRequest& request);

// False when a setting the request's operation needs cannot be used as it stands: a 协议 that
// is neither http nor https, for every operation that talks to the payment service. Such a
// request is not sent.
bool settings_usable(const TransRequest& request);

// A file saved as UTF-8 without a byte-order mark, which the library reads as GBK: valid
// UTF-8 holding non-ASCII bytes, in which none of the library's sections is found.
bool looks_like_utf8(const platform::ProfileFile& profile);

}  // namespace vortal
