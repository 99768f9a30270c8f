// The till's configuration as a call of Z_ALITrans reads it. The library exports nothing else,
// so the tool reads with the library's own code, linked in: the INI path that the library
// works out from the file it is loaded from, the profile reader, the settings with their
// widths and defaults, and the box service's registry value and Z_Config.ini.
#include "cli/settings.h"

#include <json/json.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "box_service.h"
#include "cli/console_text.h"
#include "config.h"
#include "gbk_text.h"
#include "log.h"
#include "platform/platform.h"
#include "platform/profile_rules.h"
#include "vortal_library.h"

namespace {

using vortal::Setting;
namespace platform = vortal::platform;

// 代理 is kept as "HTTP=HTTP://" and the value in 49 bytes.
constexpr std::size_t kLongestProxy = 37;
constexpr char kProbeFileName[] = "vortal-settings.probe";
constexpr std::size_t kNumberTextSize = 260;
// No customer is waited for longer: a larger 超时时间 was most likely typed in milliseconds.
constexpr int kLongestLikelyTimeout = 300;

struct ShownSetting {
    std::string section;  // GBK, as all texts of the report but the INI path
    std::string key;
    std::string value;
    bool number;
    bool defaulted;
};

struct Report {
    std::string ini_path;  // as the system names files
    bool found = false;
    platform::TextEncoding encoding = platform::TextEncoding::gbk;
    std::vector<ShownSetting> settings;
    std::optional<std::string> box_folder;  // the registry value Path, on box-service tills
    std::string box_config_path;
    std::string qr_host;
    std::string journal_folder;  // where the payment journal and the daily log go
    bool journal_writable = false;
    std::vector<std::string> problems;
};

std::string name_of(const Setting& setting) {
    return std::string("[") + setting.section + "] " + setting.key;
}

const std::string& value_of(const Report& report, const Setting& setting) {
    for (const ShownSetting& entry : report.settings) {
        if (entry.section == setting.section && entry.key == setting.key) return entry.value;
    }
    static const std::string kNone;
    return kNone;
}

void read_settings(const platform::ProfileFile& profile, Report& report) {
    for (const Setting& setting : vortal::kSettings) {
        ShownSetting shown{setting.section, setting.key, std::string(), setting.text_size == 0,
                           !profile.has(setting.section, setting.key)};
        if (shown.number) {
            shown.value = std::to_string(vortal::read_number(profile, setting));
        } else {
            std::vector<char> text(setting.text_size);
            vortal::read_setting(profile, setting, text.data());
            shown.value = text.data();
        }
        // An empty 协议 is plain HTTP: the report shows what the library speaks.
        if (shown.value.empty() && name_of(setting) == name_of(vortal::kProtocol)) {
            shown.value = "http";
        }
        report.settings.push_back(shown);
    }
}

bool is_port(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return false;
    unsigned long port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    return port >= 1 && port <= 65535;
}

// host[:port], the host a name, an IPv4 address or an IPv6 address in brackets.
bool is_host_and_port(std::string_view value) {
    std::string_view host = value;
    std::string_view rest;
    if (!value.empty() && value.front() == '[') {
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        host = value.substr(0, close + 1);
        rest = value.substr(close + 1);
    } else {
        const std::size_t colon = value.find(':');
        host = value.substr(0, colon);
        if (colon != std::string_view::npos) rest = value.substr(colon);
        if (host.empty()) return false;
        for (const char c : host) {
            const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                 (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
            if (!allowed) return false;
        }
    }
    return rest.empty() || (rest.front() == ':' && is_port(rest.substr(1)));
}

#if defined(_WIN32)
constexpr std::string_view kSeparators = "\\/";

bool is_separator(char c) {
    return kSeparators.find(c) != std::string_view::npos;
}
#else
constexpr std::string_view kSeparators = "/";
#endif

// The length of the folder part of a path, with its last separator; 0 when it has none. The
// search goes by character: the trail byte of 淺 (9C 5C) is no separator.
std::size_t folder_length(const std::string& path) {
    const std::size_t separator = vortal::gbk::find_last_of(path, kSeparators);
    return separator == vortal::gbk::npos ? 0 : separator + 1;
}

// The folder of a file named by an absolute path, with its separator. Nothing for a relative
// path: the point-of-sale program's current folder, which the tool cannot know, completes it.
std::optional<std::string> absolute_folder(const std::string& path) {
#if defined(_WIN32)
    const bool absolute = (path.size() > 2 && path[1] == ':' && is_separator(path[2])) ||
                          (path.size() > 1 && is_separator(path[0]) && is_separator(path[1]));
#else
    const bool absolute = !path.empty() && path[0] == '/';
#endif
    if (!absolute) return std::nullopt;
    return path.substr(0, folder_length(path));
}

// The library creates the log folder and any folder missing above it, so the nearest folder
// that is there must take a new file; a file standing in the way of one is no such folder.
bool can_write_below(std::string folder) {
    while (!platform::is_directory(folder.c_str())) {
        if (platform::file_exists(folder.c_str())) return false;
        const std::size_t separator = folder_length(folder);
        if (separator == 0) return false;
        folder.resize(separator > 1 ? separator - 1 : separator);
    }
    const std::string probe = folder + platform::kPathSeparator + kProbeFileName;
    bool written = false;
    {
        platform::OutputFile file;
        written = file.create(probe.c_str());
    }
    if (written) platform::delete_file(probe.c_str());
    return written;
}

// 超时时间 counts seconds, and a Z1 whose customer never pays holds the till that long.
void check_timeout_unit(const platform::ProfileFile& profile, Report& report) {
    const int timeout = vortal::read_number(profile, vortal::kTimeout);
    if (timeout <= kLongestLikelyTimeout) return;
    report.problems.push_back(name_of(vortal::kTimeout) + "=" + std::to_string(timeout) +
                              " is over " + std::to_string(kLongestLikelyTimeout) +
                              " seconds, probably typed in milliseconds: a Z1 whose customer does "
                              "not pay holds the till for " +
                              std::to_string(timeout / 60) + " minutes");
}

// A till switched to HTTPS by 协议 alone keeps the template's 端口=80, where no service speaks
// TLS.
void check_port_matches_protocol(const platform::ProfileFile& profile, Report& report) {
    const bool https =
        vortal::protocol_named(value_of(report, vortal::kProtocol)) == vortal::Protocol::https;
    if (!https || vortal::read_number(profile, vortal::kPort) != vortal::kDefaultPort) return;
    report.problems.push_back(name_of(vortal::kPort) + "=80 with " + name_of(vortal::kProtocol) +
                              "=https: HTTPS is served on another port (usually 443), every "
                              "payment answers 02; change 端口 with 协议");
}

void check_ini(const platform::ProfileFile& profile, Report& report) {
    auto problem = [&report](const std::string& text) { report.problems.push_back(text); };
    if (!report.found) {
        problem("Z_AllITrans.ini is missing: every payment answers 01 组包失败，参数异常");
        return;
    }
    if (vortal::looks_like_utf8(profile)) {
        problem(
            "Z_AllITrans.ini is saved as UTF-8 without a byte-order mark, which the library "
            "reads as GBK and finds none of its settings in: save it as ANSI (GBK)");
        return;
    }
    if (value_of(report, vortal::kHost).empty())
        problem(name_of(vortal::kHost) + " is empty: every payment answers 02, sent nowhere");
    for (const Setting* setting : {&vortal::kPath, &vortal::kShopNo}) {
        if (value_of(report, *setting).empty())
            problem(name_of(*setting) + " is empty: every payment answers 01 组包失败，参数异常");
    }

    const std::string& protocol = value_of(report, vortal::kProtocol);
    if (vortal::protocol_named(protocol) == vortal::Protocol::unknown)
        problem(name_of(vortal::kProtocol) + "=" + protocol +
                " is neither http nor https: every payment answers 01 组包失败，参数异常");

    // Windows reads a number up to its first other character, and wraps it to 32 bits.
    for (const Setting* setting : {&vortal::kPort, &vortal::kPrint, &vortal::kTimeout}) {
        char text[kNumberTextSize];
        profile.text(setting->section, setting->key, "", text, sizeof text);
        if (text[0] != '\0' && !platform::profile_number_exact(text))
            problem(name_of(*setting) + "=" + text + " is not a whole number: the library reads " +
                    std::to_string(vortal::read_number(profile, *setting)));
    }
    const int timeout = vortal::read_number(profile, vortal::kTimeout);
    if (timeout < 0) {
        problem(name_of(vortal::kTimeout) +
                " is negative: every Z1 answers 01 组包失败，参数异常 and charges nothing");
    } else if (timeout == 0) {
        problem(name_of(vortal::kTimeout) +
                " is 0: Z1 charges without waiting for the payment, and the till is told nothing");
    }

    const int port = vortal::read_number(profile, vortal::kPort);
    if (port < 1 || port > 65535) {
        // The exchange takes port 0 as its protocol's own port, as WinINet does.
        const auto low_bits = static_cast<std::uint16_t>(port);
        const bool https = vortal::protocol_named(protocol) == vortal::Protocol::https;
        const int used = low_bits != 0 ? low_bits : https ? vortal::kDefaultTlsPort : 80;
        problem(name_of(vortal::kPort) + "=" + std::to_string(port) +
                " is outside 1-65535: the library uses port " + std::to_string(used));
    }

    const std::string& proxy = value_of(report, vortal::kProxy);
    if (!proxy.empty() && !is_host_and_port(proxy))
        problem(name_of(vortal::kProxy) + "=" + proxy + " is not in the form host[:port]");
    if (proxy.size() > kLongestProxy) {
        const std::string_view kept = std::string_view(proxy).substr(0, kLongestProxy);
        problem(name_of(vortal::kProxy) + " is longer than " + std::to_string(kLongestProxy) +
                " bytes: the library uses " +
                std::string(kept.substr(0, vortal::gbk::whole_length(kept))));
    }

    if (vortal::read_number(profile, vortal::kPrint) != 0) {
        const std::string& receipt = value_of(report, vortal::kReceiptFile);
        const std::optional<std::string> folder = absolute_folder(receipt);
        if (receipt.empty()) {
            problem(name_of(vortal::kPrint) + " is on but " + name_of(vortal::kReceiptFile) +
                    " is empty: no receipt is written");
        } else if (folder && !platform::is_directory(folder->c_str())) {
            problem("the folder " + *folder + " of " + name_of(vortal::kReceiptFile) +
                    " is missing: no receipt is written");
        }
    }
    check_timeout_unit(profile, report);
    check_port_matches_protocol(profile, report);
}

// On tills with the box service: its folder from the registry and Z_Config.ini there for "Z6".
void check_box_service(Report& report) {
    char folder[vortal::kPathSize];
    if (!vortal::box_service_folder(folder)) return;
    report.box_folder = folder;
    auto problem = [&report](const std::string& text) { report.problems.push_back(text); };
    if (!platform::is_directory(folder))
        problem(std::string("the registry value Path names ") + folder + ", which is not a folder");

    char host[vortal::kQrHostSize];
    const bool has_host = vortal::read_qr_host(host, report.box_config_path);
    report.qr_host = host;
    if (!platform::ProfileFile(report.box_config_path.c_str()).found()) {
        problem(report.box_config_path + " is missing: Z6 builds no payment address");
    } else if (!has_host) {
        problem("[HOSTINFO] TwoCodeAddr of " + report.box_config_path +
                " is empty: Z6 builds no payment address");
    }
}

// The folder of the payment journal, the daily log and the ids' file: a till that cannot write
// there sends no payment at all.
void check_journal_folder(Report& report) {
    report.journal_folder = vortal::log_directory();
    report.journal_writable = can_write_below(report.journal_folder);
    if (!report.journal_writable) {
        report.problems.push_back("the journal folder " + report.journal_folder +
                                  " cannot be written: every payment answers 01 " +
                                  "支付流水无法写入，交易未发送 and is not sent");
    }
}

void print_json(const Report& report) {
    Json::Value root(Json::objectValue);
    root["iniPath"] = shown_path(report.ini_path);
    root["found"] = report.found;
    root["encoding"] =
        report.found ? Json::Value(platform::encoding_name(report.encoding)) : Json::Value();
    Json::Value& settings = root["settings"] = Json::Value(Json::objectValue);
    for (const ShownSetting& entry : report.settings) {
        const std::string key = shown(entry.key);
        settings[key] =
            entry.number ? Json::Value(std::stoi(entry.value)) : Json::Value(shown(entry.value));
    }
    if (report.box_folder) {
        settings["Path"] = shown(*report.box_folder);
        settings["TwoCodeAddr"] = shown(report.qr_host);
    }
    root["journalFolder"] = shown_path(report.journal_folder);
    root["journalWritable"] = report.journal_writable;
    Json::Value& problems = root["problems"] = Json::Value(Json::arrayValue);
    for (const std::string& problem : report.problems) problems.append(shown(problem));

    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    print_to(stdout, "%s\n", Json::writeString(builder, root).c_str());
}

void print_text(const std::string& library, const Report& report) {
    print_to(stdout, "library   %s\n", shown_path(library).c_str());
    print_to(stdout, "INI file  %s\n", shown_path(report.ini_path).c_str());
    print_to(stdout, "found     %s\n", report.found ? "yes" : "no");
    print_to(stdout, "encoding  %s\n",
             report.found ? platform::encoding_name(report.encoding) : "-");
    print_to(stdout, "settings\n");
    for (const ShownSetting& entry : report.settings) {
        const std::string value = entry.value.empty() ? "\"\"" : entry.value;
        const std::string line = "  [" + entry.section + "] " + entry.key + " = " + value +
                                 (entry.defaulted ? "  (default)" : "");
        print_to(stdout, "%s\n", shown(line).c_str());
    }
    if (report.box_folder) {
        print_to(stdout, "box service\n");
        print_to(stdout, "%s\n", shown("  registry Path = " + *report.box_folder).c_str());
        print_to(stdout, "%s\n",
                 shown("  [HOSTINFO] TwoCodeAddr = " + report.qr_host + "  (" +
                       report.box_config_path + ")")
                     .c_str());
    }
    print_to(stdout, "journal   %s  (%s)\n", shown_path(report.journal_folder).c_str(),
             report.journal_writable ? "writable" : "cannot be written");
    if (report.problems.empty()) {
        print_to(stdout, "no problems\n");
        return;
    }
    print_to(stdout, "problems\n");
    for (const std::string& problem : report.problems)
        print_to(stdout, "%s\n", shown("  - " + problem).c_str());
}

void usage(std::FILE* stream) {
    print_to(stream,
             "usage: vortal-cli settings [--library PATH] [--json]\n"
             "  PATH  the library whose configuration to read (default: %s on the library "
             "path)\n",
             kDefaultLibraryFile);
}

}  // namespace

int run_settings(int argc, char** argv) {
    std::string library = kDefaultLibraryFile;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--json") {
            json = true;
        } else if (argument == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if (argument == "--help" || argument == "-h") {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }

    // The library's file as the loader finds it, which is where the library finds itself.
    std::string library_file;
    {
        const VortalLibrary loaded(library);
        if (loaded.transact() == nullptr) {
            print_to(stderr, "vortal-cli: %s\n", shown_path(loaded.error()).c_str());
            return 1;
        }
        library_file = loaded.file();
    }

    Report report;
    report.ini_path = vortal::config_path_of_library(library_file.c_str());
    const platform::ProfileFile profile(report.ini_path.c_str());
    report.ini_path = profile.location();
    report.found = profile.found();
    if (report.found) report.encoding = profile.encoding();
    read_settings(profile, report);
    check_ini(profile, report);
    check_box_service(report);
    check_journal_folder(report);

    if (json) {
        print_json(report);
    } else {
        print_text(library_file, report);
    }
    std::fflush(stdout);
    return report.problems.empty() ? 0 : 1;
}
