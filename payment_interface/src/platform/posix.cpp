// POSIX implementation of the platform layer, its system calls: clock, debugger output, the
// library's own path, text conversion, reading the INI files and the registry file (their
// rules are in profile_rules.h), files and directories, the box service's shared record and
// event. The HTTP exchange is in posix_http.cpp, the load and unload hooks that stand in for
// DllMain in posix_load_hooks.cpp.
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"
#include "platform/profile_rules.h"
#include "platform/text_encoding.h"
#include "records.h"

namespace vortal::platform {

namespace {

constexpr std::string_view kLibraryFileName = "libvortal.so";

// The conversion descriptor of a thread, opened on first use.
class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return handle_;
    }

  private:
    iconv_t handle_;
};

// UTF-16 LE to GBK into dest, which must hold the text and its NUL; otherwise dest is left
// empty. A character without a GBK form becomes "?", like the Windows default character.
std::size_t ansi_from_utf16le(std::string_view utf16, char* dest, std::size_t size) {
    dest[0] = '\0';
    thread_local Converter converter("CP936", "UTF-16LE");
    if (!converter.valid()) return 0;
    iconv_t handle = converter.get();
    char* in = const_cast<char*>(utf16.data());
    std::size_t in_left = utf16.size();
    char* next = dest;
    std::size_t out_left = size - 1;  // room for the NUL
    while (in_left > 0) {
        if (iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || out_left == 0) {
            dest[0] = '\0';
            return 0;
        }
        const auto high = static_cast<unsigned char>(in[1]);
        const std::size_t unit = (high >= 0xD8 && high <= 0xDB && in_left >= 4) ? 4 : 2;
        *next++ = '?';
        --out_left;
        in += unit;
        in_left -= unit < in_left ? unit : in_left;
    }
    *next = '\0';
    return static_cast<std::size_t>(next - dest);
}

}  // namespace

LocalTime local_time() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

std::uint32_t tick_count_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                    static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

namespace {

std::recursive_timed_mutex g_process_lock;  // lives from load to unload

}  // namespace

bool take_process_lock(std::uint32_t wait_ms) {
    return g_process_lock.try_lock_for(std::chrono::milliseconds(wait_ms));
}

void give_back_process_lock() {
    g_process_lock.unlock();
}

namespace {

// A GBK text as UTF-8, "?" for each byte that does not begin a GBK character.
std::string utf8_from_gbk(std::string_view gbk) {
    Converter converter("UTF-8", "CP936");
    if (!converter.valid()) return std::string(gbk);
    iconv_t handle = converter.get();
    std::string utf8(gbk.size() * 2 + 1, '\0');  // a GBK character takes at most 3 bytes as UTF-8
    char* in = const_cast<char*>(gbk.data());
    std::size_t in_left = gbk.size();
    char* next = utf8.data();
    std::size_t out_left = utf8.size();
    while (in_left > 0 &&
           iconv(handle, &in, &in_left, &next, &out_left) == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG || out_left == 0) break;
        *next++ = '?';
        --out_left;
        ++in;
        --in_left;
    }
    utf8.resize(utf8.size() - out_left);
    return utf8;
}

}  // namespace

// VORTAL_DEBUG=1 shows each text as a line of UTF-8, as a terminal reads it, and as a
// debug-output viewer lists it on Windows; VORTAL_DEBUG=raw writes the GBK bytes exactly as
// the library hands them to OutputDebugStringA on Windows.
void debug_output(const char* text) {
    const char* mode = std::getenv("VORTAL_DEBUG");
    if (mode == nullptr) return;
    if (std::strcmp(mode, "raw") == 0) {
        std::fputs(text, stderr);
    } else if (std::strcmp(mode, "1") == 0) {
        std::string_view line(text);
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        std::fputs((utf8_from_gbk(line) + '\n').c_str(), stderr);
    } else {
        return;
    }
    std::fflush(stderr);
}

ModuleLookup own_module_folder(char* dest, std::size_t size) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_module_folder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return ModuleLookup::not_loaded_by_name;
    }
    return library_folder(info.dli_fname, dest, size);
}

ModuleLookup library_folder(const char* library_file, char* dest, std::size_t size) {
    char full_path[PATH_MAX];
    if (realpath(library_file, full_path) == nullptr) return ModuleLookup::no_file_name;
    const std::string_view path(full_path);
    const std::size_t slash = path.rfind('/');
    if (path.substr(slash + 1) != kLibraryFileName) return ModuleLookup::not_loaded_by_name;
    copy_bounded(dest, size, path.substr(0, slash + 1));
    return ModuleLookup::found;
}

std::size_t utf8_to_ansi(std::string_view utf8, char* dest, std::size_t size) {
    if (size == 0) return 0;
    dest[0] = '\0';
    if (utf8.empty() || utf8.size() > kMaxInputLength) return 0;

    // ASCII reads the same in both: most answer texts (amounts, times, ids) take this path.
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        if (utf8.size() >= size) return 0;
        std::memcpy(dest, utf8.data(), utf8.size());
        dest[utf8.size()] = '\0';
        return utf8.size();
    }

    return ansi_from_utf16le(utf16le_from_utf8(utf8), dest, size);
}

// INI reads. /etc/korvane stands in for the Windows folder, where Windows looks up a bare
// file name.
namespace {

constexpr std::string_view kSystemFolder = "/etc/korvane/";

std::string resolve(const char* file) {
    const std::string_view name(file);
    if (name.find('/') != std::string_view::npos) return std::string(name);
    return std::string(kSystemFolder) + std::string(name);
}

// The file as this thread last read it, its text in GBK. Every call reads a dozen keys;
// re-reading (and converting) the file only when it changed keeps the cost of a call at one
// stat while an edit still shows at the very next call.
struct CachedProfile {
    std::string path;
    struct stat identity {};
    TextEncoding encoding = TextEncoding::gbk;
    std::string content;
};

bool same_version(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool read_whole_file(const std::string& path, std::string& content) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return false;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) content.append(chunk, got);
    const bool complete = std::ferror(stream) == 0;
    std::fclose(stream);
    return complete;
}

// A file with a byte-order mark is Unicode: its text goes on in GBK, as Windows hands the
// values of such a file to the ANSI profile functions. Every other file is GBK already.
std::string gbk_text(std::string bytes, TextEncoding encoding) {
    if (encoding != TextEncoding::utf8_with_bom && encoding != TextEncoding::utf16) return bytes;
    const std::string unicode = unicode_text(bytes, encoding);
    std::string ansi(unicode.size() + 1, '\0');  // at most two bytes for each UTF-16 unit
    ansi.resize(ansi_from_utf16le(unicode, ansi.data(), ansi.size()));
    return ansi;
}

}  // namespace

struct ProfileFile::Source {
    std::string location;
    bool found = false;
    TextEncoding encoding = TextEncoding::gbk;
    std::optional<std::string> content;  // the text in GBK, when the file could be read
};

ProfileFile::ProfileFile(const char* file) : source_(std::make_unique<Source>()) {
    thread_local CachedProfile cached;
    source_->location = resolve(file);
    const std::string& path = source_->location;
    struct stat identity {};
    if (::stat(path.c_str(), &identity) != 0) return;
    source_->found = true;
    if (cached.path != path || !same_version(cached.identity, identity)) {
        cached.path.clear();
        std::string bytes;
        if (!read_whole_file(path, bytes)) return;
        cached.encoding = text_encoding(bytes);
        cached.content = gbk_text(std::move(bytes), cached.encoding);
        cached.path = path;
        cached.identity = identity;
    }
    source_->encoding = cached.encoding;
    source_->content = cached.content;
}

ProfileFile::~ProfileFile() = default;

void ProfileFile::text(const char* section, const char* key, const char* fallback, char* dest,
                       std::size_t size) const {
    const std::optional<std::string> value =
        source_->content ? profile_value(*source_->content, section, key) : std::nullopt;
    copy_bounded(dest, size, value ? std::string_view(*value) : std::string_view(fallback));
}

int ProfileFile::number(const char* section, const char* key, int fallback) const {
    const std::optional<std::string> value =
        source_->content ? profile_value(*source_->content, section, key) : std::nullopt;
    if (!value || value->empty()) return fallback;
    return profile_number(*value);
}

bool ProfileFile::found() const {
    return source_->found;
}

std::string ProfileFile::location() const {
    return source_->location;
}

TextEncoding ProfileFile::encoding() const {
    return source_->encoding;
}

bool ProfileFile::has(const char* section, const char* key) const {
    if (!source_->content) return false;
    if (key == nullptr) return profile_has_section(*source_->content, section);
    return profile_value(*source_->content, section, key).has_value();
}

// The registry, a text file on POSIX. Its format is shared with every program of the
// installation that reads it.
namespace {

constexpr char kRegistryFileVariable[] = "KORVANE_REGISTRY_FILE";
constexpr char kDefaultRegistryFile[] = "/etc/korvane/registry.ini";
constexpr char kLocalMachine[] = "HKEY_LOCAL_MACHINE\\";

}  // namespace

bool local_machine_string(const char* key_path, const char* value_name, char* dest,
                          std::size_t size) {
    if (size == 0) return false;
    dest[0] = '\0';
    const char* file = std::getenv(kRegistryFileVariable);
    if (file == nullptr || *file == '\0') file = kDefaultRegistryFile;
    std::string content;
    if (!read_whole_file(file, content)) return false;
    const std::optional<std::string> value =
        registry_value(content, std::string(kLocalMachine) + key_path, value_name);
    if (!value || value->size() >= size) return false;
    copy_bounded(dest, size, *value);
    return true;
}

// Files and directories.

bool executable_path(std::string& path) {
    std::string buffer(PATH_MAX, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            path.assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool is_directory(const char* path) {
    struct stat status {};
    return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool create_directory(const char* path) {
    return ::mkdir(path, 0777) == 0;
}

bool file_exists(const char* path) {
    struct stat status {};
    return ::stat(path, &status) == 0;
}

bool delete_file(const char* path) {
    return ::unlink(path) == 0;
}

namespace {

int open_retrying(const char* path, int flags) {
    int descriptor = -1;
    do {
        descriptor = ::open(path, flags | O_CLOEXEC, 0644);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Opened and locked with flock, which every holder of another open file takes its turn
// for, other threads of this process among them.
int open_locked(const char* path, int flags) {
    const int descriptor = open_retrying(path, flags);
    if (descriptor < 0) return -1;
    int locked = -1;
    do {
        locked = ::flock(descriptor, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

bool write_all(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

OutputFile::~OutputFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool OutputFile::create(const char* path) {
    if (handle_ >= 0) return false;
    handle_ = open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC);
    return handle_ >= 0;
}

// The lock is advisory: it keeps out every writer that appends through this function, in
// this process and in others, until the file is closed.
bool OutputFile::open_for_append(const char* path) {
    if (handle_ >= 0) return false;
    const int descriptor = open_locked(path, O_RDWR | O_APPEND | O_CREAT);
    if (descriptor < 0) return false;
    handle_ = descriptor;
    return true;
}

bool OutputFile::write(std::string_view bytes) {
    return handle_ >= 0 && write_all(static_cast<int>(handle_), bytes);
}

bool OutputFile::size(std::uint64_t& bytes) const {
    struct stat status {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) return false;
    bytes = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool OutputFile::last_byte(char& byte) const {
    std::uint64_t length = 0;
    if (!size(length) || length == 0) return false;
    ssize_t got = -1;
    do {
        got = ::pread(static_cast<int>(handle_), &byte, 1, static_cast<off_t>(length - 1));
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

bool OutputFile::flush_to_disk() {
    return handle_ >= 0 && ::fdatasync(static_cast<int>(handle_)) == 0;
}

bool flush_directory(const char* path) {
    const int descriptor = open_retrying(path, O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return false;
    const bool flushed = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return flushed;
}

LockedFile::~LockedFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool LockedFile::open(const char* path) {
    if (handle_ >= 0) return false;
    handle_ = open_locked(path, O_RDWR | O_CREAT);
    return handle_ >= 0;
}

bool LockedFile::read(std::string& content, std::size_t limit) {
    content.assign(limit, '\0');
    std::size_t length = 0;
    while (handle_ >= 0 && length < limit) {
        const ssize_t got = ::pread(static_cast<int>(handle_), content.data() + length,
                                    limit - length, static_cast<off_t>(length));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        length += static_cast<std::size_t>(got);
    }
    content.resize(length);
    return handle_ >= 0;
}

bool LockedFile::replace(std::string_view content) {
    const int descriptor = static_cast<int>(handle_);
    return handle_ >= 0 && ::lseek(descriptor, 0, SEEK_SET) == 0 &&
           write_all(descriptor, content) &&
           ::ftruncate(descriptor, static_cast<off_t>(content.size())) == 0;
}

// The box service's shared record and event: a POSIX shared-memory object and a named
// semaphore, named as on Windows less the "Global\" prefix.
namespace {

constexpr char kBoxRecordName[] = "/Z_Map";
constexpr char kBoxUploadEventName[] = "/EVENT_Upload";

std::uint32_t last_error() {
    return static_cast<std::uint32_t>(errno);
}

}  // namespace

BoxRecord::~BoxRecord() {
    if (view_ != nullptr) ::munmap(view_, size_);
    if (section_ >= 0) ::close(static_cast<int>(section_));
}

std::uint32_t BoxRecord::open() {
    const int descriptor = ::shm_open(kBoxRecordName, O_RDWR, 0);
    if (descriptor < 0) return last_error();
    section_ = descriptor;
    return 0;
}

std::uint32_t BoxRecord::map(std::size_t size) {
    if (section_ < 0 || view_ != nullptr) return EINVAL;
    // Touching a mapping beyond the end of the object would kill the process: a record that
    // is too small is refused instead.
    struct stat status {};
    if (::fstat(static_cast<int>(section_), &status) != 0) return last_error();
    if (status.st_size < static_cast<off_t>(size)) return EINVAL;
    void* view =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(section_), 0);
    if (view == MAP_FAILED) return last_error();
    view_ = view;
    size_ = size;
    return 0;
}

UploadSignal signal_box_upload() {
    sem_t* event = ::sem_open(kBoxUploadEventName, 0);
    if (event == SEM_FAILED) return UploadSignal::not_opened;
    const bool posted = ::sem_post(event) == 0;
    ::sem_close(event);
    return posted ? UploadSignal::set : UploadSignal::set_failed;
}

}  // namespace vortal::platform
