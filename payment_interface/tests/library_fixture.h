// Loads the real shared library the way the point-of-sale program does: a copy in the
// test's own temporary folder, with that test's Z_AllITrans.ini beside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "test_support.h"
#include "vortal.h"
#include "vortal_library.h"

namespace test_support {

struct Settings {
    std::string host = "127.0.0.1";
    std::string protocol;  // 协议, left out when empty
    std::uint16_t port = 80;
    std::string path = "/pay/api";
    std::string proxy;
    std::string timeout = "45";
    std::string shop_no = "S1";
    std::string terminal_no = "T1";
    std::string callback = "http://shop.example/cb";
    std::string print = "0";
    std::string receipt_file;
};

// The INI text in GBK: this file is compiled with GBK literals.
inline std::string ini_text(const Settings& settings) {
    std::string text = "[接口信息]\r\n版本=1.0\r\n[服务器信息]\r\n";
    text += "域名=" + settings.host + "\r\n";
    if (!settings.protocol.empty()) text += "协议=" + settings.protocol + "\r\n";
    text += "端口=" + std::to_string(settings.port) + "\r\n";
    text += "地址=" + settings.path + "\r\n";
    if (!settings.proxy.empty()) text += "代理=" + settings.proxy + "\r\n";
    text +=
        "[功能选择]\r\n开启打印=" + settings.print + "\r\n超时时间=" + settings.timeout + "\r\n";
    if (!settings.receipt_file.empty()) text += "打印文件=" + settings.receipt_file + "\r\n";
    text += "主扫回调=" + settings.callback + "\r\n";
    text += "[商户信息]\r\n店铺编号=" + settings.shop_no + "\r\n终端编号=" + settings.terminal_no +
            "\r\n";
    return text;
}

#if defined(_WIN32)
inline constexpr char kLibraryFileName[] = "Vortal.dll";
#else
inline constexpr char kLibraryFileName[] = "libvortal.so";
#endif

class LoadedLibrary {
  public:
    explicit LoadedLibrary(const std::string& file_name = kLibraryFileName)
        : path_(copy_into(dir_, file_name)), library_(path_) {
        if (library_.transact() == nullptr) throw std::runtime_error(library_.error());
    }

    void configure(const Settings& settings) { write_configuration(ini_text(settings)); }
    void write_configuration(std::string_view bytes) {
        write_file(dir_.file("Z_AllITrans.ini"), bytes);
    }
    void remove_configuration() { std::filesystem::remove(dir_.file("Z_AllITrans.ini")); }
    // Where the library looks for its configuration: beside its file, links resolved.
    std::string configuration_path() const {
        return (std::filesystem::canonical(dir_.path()) / "Z_AllITrans.ini").string();
    }
    std::string library_path() const { return library_.file(); }

    // The copy, with its Z_AllITrans.ini beside it, for other programs to load.
    const std::string& path() const { return path_; }

    TransResult* call(const char* input) const { return library_.transact()(input); }
    TransResult* call(const std::string& input) const { return call(input.c_str()); }

  private:
    static std::string copy_into(const TempDir& dir, const std::string& file_name) {
        const std::string copy = dir.file(file_name);
        std::filesystem::copy_file(VORTAL_LIBRARY_PATH, copy);
        return copy;
    }

    TempDir dir_;
    std::string path_;
    VortalLibrary library_;
};

}  // namespace test_support
