// What HostSystem does alike on every system: paths, files over the C++ library's files and
// file system, and the clock.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "core/text.h"
#include "host.h"

namespace tessary::host {
namespace fs = std::filesystem;
namespace {

// The separator the system puts between a folder and a name, and the ones it takes there.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr std::string_view kPathSeparators = "\\/";
#else
constexpr char kPathSeparator = '/';
constexpr std::string_view kPathSeparators = "/";
#endif

std::string system_reason(int error_number) {
    return std::generic_category().message(error_number);
}

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, CloseFile>;

std::string temporary_name_for(const std::string& path) {
    thread_local std::mt19937_64 generator(std::random_device{}());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix = ".tmp-";
    for (std::uint64_t bits = generator(); suffix.size() < kTemporarySuffixLength; bits >>= 4) {
        suffix += kDigits[bits & 0xF];
    }
    return path + suffix;
}

// Writes under a temporary name and renames it into place when finished.
class ReplacingFile final : public FileWriter {
  public:
    explicit ReplacingFile(std::string path)
        : path_(std::move(path)), temporary_(temporary_name_for(path_)) {
        errno = 0;
        file_ = std::fopen(temporary_.c_str(), "wb");
        if (file_ == nullptr) error_ = temporary_ + ": " + system_reason(errno);
    }
    ~ReplacingFile() override { discard(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool write(std::string_view bytes) override {
        if (file_ == nullptr || !error_.empty()) return false;
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
            error_ = temporary_ + ": " + system_reason(errno);
            discard();
            return false;
        }
        return true;
    }

    bool finish() override {
        if (file_ == nullptr || !error_.empty()) {
            if (error_.empty()) error_ = "already finished";
            return false;
        }
        errno = 0;
        const bool flushed = std::fflush(file_) == 0;
        const int flush_error = errno;
        if (std::fclose(file_) != 0 || !flushed) {
            file_ = nullptr;
            error_ = temporary_ + ": " + system_reason(flushed ? errno : flush_error);
            remove_temporary();
            return false;
        }
        file_ = nullptr;
        std::error_code rename_error;
        fs::rename(file_system_path(temporary_), file_system_path(path_), rename_error);
        if (rename_error) {
            error_ = path_ + ": " + rename_error.message();
            remove_temporary();
            return false;
        }
        return true;
    }

    const std::string& error() const override { return error_; }

  private:
    void discard() {
        if (file_ == nullptr) return;
        std::fclose(file_);
        file_ = nullptr;
        remove_temporary();
    }
    void remove_temporary() {
        std::error_code ignored;
        fs::remove(file_system_path(temporary_), ignored);
    }

    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    std::string error_;
};

// Reads at any offset; a read where the last one ended needs no seek. Its errors are the
// system's reasons alone, as read_file gives them.
class ReadingFile final : public FileReader {
  public:
    explicit ReadingFile(const std::string& path) {
        errno = 0;
        file_.reset(std::fopen(path.c_str(), "rb"));
        if (!file_) {
            error_ = system_reason(errno);
            return;
        }
        std::error_code size_error;
        size_ = fs::file_size(file_system_path(path), size_error);
        if (size_error) {
            error_ = size_error.message();
        } else if (size_ == 0) {
            // Some files claim no size yet hold bytes, or cannot be read at all (/proc/self/mem);
            // an empty file ends at once.
            errno = 0;
            if (std::fgetc(file_.get()) != EOF) {
                error_ = "the system gives no size for it";
            } else if (std::ferror(file_.get())) {
                error_ = errno != 0 ? system_reason(errno) : "read error";
            }
        }
    }

    std::uint64_t size() const override { return size_; }

    bool read(std::uint64_t offset, std::size_t count, char* into) override {
        if (!file_ || !error_.empty()) return false;
        if (offset > size_ || count > size_ - offset) return fail("read beyond the end");
        if (offset != position_) {
#ifdef _WIN32
            const bool moved = _fseeki64(file_.get(), static_cast<__int64>(offset), SEEK_SET) == 0;
#else
            const bool moved = fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
            if (!moved) return fail(system_reason(errno));
        }
        errno = 0;
        if (std::fread(into, 1, count, file_.get()) != count) {
            return fail(errno != 0 ? system_reason(errno) : "the file ended early");
        }
        position_ = offset + count;
        return true;
    }

    const std::string& error() const override {
        return error_;
    }

  private:
    bool fail(const std::string& reason) {
        error_ = reason;
        return false;
    }

    FileHandle file_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::string error_;
};

// Appends, handing every write to the system at once.
class AppendingFile final : public FileWriter {
  public:
    explicit AppendingFile(const std::string& path) : path_(path) {
        errno = 0;
        file_.reset(std::fopen(path.c_str(), "ab"));
        if (!file_) error_ = path_ + ": " + system_reason(errno);
    }

    bool write(std::string_view bytes) override {
        if (!file_ || !error_.empty()) return false;
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size() ||
            std::fflush(file_.get()) != 0) {
            error_ = path_ + ": " + system_reason(errno);
            return false;
        }
        return true;
    }

    bool finish() override {
        if (!file_) return error_.empty();
        errno = 0;
        const bool closed = std::fclose(file_.release()) == 0;
        if (!closed && error_.empty()) error_ = path_ + ": " + system_reason(errno);
        return closed && error_.empty();
    }

    const std::string& error() const override { return error_; }

  private:
    std::string path_;
    FileHandle file_;
    std::string error_;
};

}  // namespace

char HostSystem::path_separator() const {
    return kPathSeparator;
}

std::string HostSystem::join(const std::string& folder, const std::string& name) const {
    // The last byte of a folder may be the second one of a character such as 運 (DF 5C).
    const bool ends_in_separator =
        text::find_character(text::last_character(folder), kPathSeparators) == 0;
    if (folder.empty() || ends_in_separator) return folder + name;
    return folder + kPathSeparator + name;
}

Result<std::vector<std::string>> HostSystem::plain_files(const std::string& folder) {
    std::error_code error;
    fs::directory_iterator entry(file_system_path(folder), error);
    if (error) return Result<std::vector<std::string>>::failure(error.message());
    std::vector<std::string> names;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code type_error;
        if (entry->is_regular_file(type_error))
            names.push_back(narrow_path(entry->path().filename()));
    }
    if (error) return Result<std::vector<std::string>>::failure(error.message());
    return {std::move(names), {}};
}

bool HostSystem::exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(file_system_path(path), ignored);
}

Result<std::string> HostSystem::read_file(const std::string& path) {
    errno = 0;
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return Result<std::string>::failure(system_reason(errno));

    std::string bytes;
    std::error_code size_error;
    const auto size = fs::file_size(file_system_path(path), size_error);
    if (!size_error) bytes.reserve(static_cast<std::size_t>(size));

    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
    if (std::ferror(file.get())) {
        return Result<std::string>::failure(errno != 0 ? system_reason(errno) : "read error");
    }
    return {std::move(bytes), {}};
}

std::unique_ptr<FileReader> HostSystem::open_file(const std::string& path) {
    return std::make_unique<ReadingFile>(path);
}

std::unique_ptr<FileWriter> HostSystem::replace_file(const std::string& path) {
    return std::make_unique<ReplacingFile>(path);
}

std::unique_ptr<FileWriter> HostSystem::append_to_file(const std::string& path) {
    return std::make_unique<AppendingFile>(path);
}

LocalTime HostSystem::local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace tessary::host
