#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "host/host.h"

namespace tessary::testing {

TempDir::TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("tessary-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const {
    return host::narrow_path(path_ / host::file_system_path(name));
}

UnreadableFile::UnreadableFile(const std::filesystem::path& path) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a locked file");
    handle_ = file;
#else
    std::filesystem::create_symlink("/proc/self/mem", path);
#endif
}

UnreadableFile::~UnreadableFile() {
#ifdef _WIN32
    CloseHandle(handle_);
#endif
}

void put_file(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace tessary::testing
