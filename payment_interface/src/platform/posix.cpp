// POSIX implementation of the platform layer: clock, debugger output, the library's own
// path, text conversion, INI reads with the rules of the Windows profile functions, the
// registry file, files and directories, the box service's shared record and event, the HTTP
// exchange on libcurl, and the load and unload hooks that stand in for DllMain.
#include <curl/curl.h>
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
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "library.h"
#include "platform/platform.h"
#include "records.h"

namespace vortal::platform {

namespace {

constexpr std::string_view kLibraryFileName = "libvortal.so";

// One conversion descriptor per direction and thread, opened on first use.
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

constexpr std::size_t kUtf16Capacity = 4 * kMaxInputLength + 8;

// Invalid UTF-8 becomes U+FFFD, as the Windows conversion does without its strict flag.
std::size_t utf8_to_utf16(std::string_view utf8, char* out, std::size_t capacity) {
    thread_local Converter converter("UTF-16LE", "UTF-8");
    if (!converter.valid()) return 0;
    iconv_t handle = converter.get();
    char* in = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    char* next = out;
    std::size_t out_left = capacity;
    while (in_left > 0) {
        if (iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || out_left < 2) return 0;
        *next++ = static_cast<char>(0xFD);
        *next++ = static_cast<char>(0xFF);
        out_left -= 2;
        ++in;
        --in_left;
    }
    return capacity - out_left;
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

void debug_output(const char* text) {
    const char* enabled = std::getenv("VORTAL_DEBUG");
    if (enabled == nullptr || std::strcmp(enabled, "1") != 0) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

ModuleLookup own_module_folder(char* dest, std::size_t size) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_module_folder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return ModuleLookup::not_loaded_by_name;
    }
    char full_path[PATH_MAX];
    if (realpath(info.dli_fname, full_path) == nullptr) return ModuleLookup::no_file_name;
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

    char utf16[kUtf16Capacity];
    const std::size_t utf16_length = utf8_to_utf16(utf8, utf16, sizeof utf16);
    if (utf16_length == 0) return 0;

    thread_local Converter converter("CP936", "UTF-16LE");
    if (!converter.valid()) return 0;
    iconv_t handle = converter.get();
    char* in = utf16;
    std::size_t in_left = utf16_length;
    char* next = dest;
    std::size_t out_left = size - 1;  // room for the NUL
    while (in_left > 0) {
        if (iconv(handle, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || out_left == 0) {
            dest[0] = '\0';
            return 0;
        }
        // A character without a GBK form becomes "?", like the Windows default character.
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

// INI reads. /etc/korvane stands in for the Windows folder, where Windows looks up a bare
// file name.
namespace {

constexpr std::string_view kSystemFolder = "/etc/korvane/";

std::string resolve(const char* file) {
    const std::string_view name(file);
    if (name.find('/') != std::string_view::npos) return std::string(name);
    return std::string(kSystemFolder) + std::string(name);
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view strip_one_pair_of_quotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Takes the next line off rest, without its surrounding blanks.
std::string_view take_line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

// The value of a "name=value" line when its name is the one asked for, blanks removed.
std::optional<std::string_view> entry_value(std::string_view line, std::string_view name) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos ||
        !equal_ignoring_ascii_case(trim(line.substr(0, equals)), name)) {
        return std::nullopt;
    }
    return trim(line.substr(equals + 1));
}

// The value of key in the first section of that name; nothing when the section or the key
// is missing.
std::optional<std::string> find_value(std::string_view content, std::string_view section,
                                      std::string_view key) {
    bool in_section = false;
    bool section_seen = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::string_view line = take_line(rest);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (section_seen) return std::nullopt;
            const std::size_t close = line.find(']');
            const std::string_view name = trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            in_section = equal_ignoring_ascii_case(name, section);
            section_seen = in_section;
            continue;
        }
        if (!in_section) continue;
        if (const auto value = entry_value(line, key)) {
            return std::string(strip_one_pair_of_quotes(*value));
        }
    }
    return std::nullopt;
}

// Decimal with an optional sign, stopping at the first other character; wraps like the
// Windows 32-bit conversion.
int parse_profile_number(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10U + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) value = 0U - value;
    return static_cast<int>(value);
}

// The file as this thread last read it. Every call reads a dozen keys; re-reading the file
// only when it changed keeps the cost of a call at one stat while an edit still shows at the
// very next call.
struct CachedProfile {
    std::string path;
    struct stat identity {};
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

}  // namespace

ProfileFile::ProfileFile(const char* file) : path_(resolve(file)) {
    thread_local CachedProfile cached;
    struct stat identity {};
    if (::stat(path_.c_str(), &identity) != 0) return;
    if (cached.path != path_ || !same_version(cached.identity, identity)) {
        cached.path.clear();
        cached.content.clear();
        if (!read_whole_file(path_, cached.content)) return;
        cached.path = path_;
        cached.identity = identity;
    }
    content_ = cached.content;
    readable_ = true;
}

void ProfileFile::text(const char* section, const char* key, const char* fallback, char* dest,
                       std::size_t size) const {
    const std::optional<std::string> value =
        readable_ ? find_value(content_, section, key) : std::nullopt;
    copy_bounded(dest, size, value ? std::string_view(*value) : std::string_view(fallback));
}

int ProfileFile::number(const char* section, const char* key, int fallback) const {
    const std::optional<std::string> value =
        readable_ ? find_value(content_, section, key) : std::nullopt;
    if (!value || value->empty()) return fallback;
    return parse_profile_number(*value);
}

// The registry, a text file on POSIX. Its format is shared with every program of the
// installation that reads it.
namespace {

constexpr char kRegistryFileVariable[] = "KORVANE_REGISTRY_FILE";
constexpr char kDefaultRegistryFile[] = "/etc/korvane/registry.ini";
constexpr char kLocalMachine[] = "HKEY_LOCAL_MACHINE\\";

// The first entry of that name in a section of that key path; comments start with ';' or '#'.
std::optional<std::string> find_registry_value(std::string_view content, std::string_view key_path,
                                               std::string_view value_name) {
    bool in_key = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const std::string_view line = take_line(rest);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            in_key = equal_ignoring_ascii_case(trim(line.substr(1, line.size() - 2)), key_path);
            continue;
        }
        if (!in_key) continue;
        if (const auto value = entry_value(line, value_name)) return std::string(*value);
    }
    return std::nullopt;
}

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
        find_registry_value(content, std::string(kLocalMachine) + key_path, value_name);
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
    const int descriptor = open_retrying(path, O_WRONLY | O_APPEND | O_CREAT);
    if (descriptor < 0) return false;
    int locked = -1;
    do {
        locked = ::flock(descriptor, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        ::close(descriptor);
        return false;
    }
    handle_ = descriptor;
    return true;
}

bool OutputFile::write(std::string_view bytes) {
    if (handle_ < 0) return false;
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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

// The HTTP exchange. It keeps what the Windows client does: the request address goes out
// verbatim as the request target, and through a proxy the target is the absolute form
// "http://host[:port]" followed by the address, with a "/" between when the address lacks it.
namespace {

constexpr long kConnectTimeoutMs = 10'000;
constexpr long kExchangeTimeoutMs = 30'000;
constexpr std::uint16_t kDefaultHttpPort = 80;

std::once_flag g_curl_init_once;
std::atomic<bool> g_curl_ready{false};

bool ensure_curl() {
    std::call_once(g_curl_init_once,
                   [] { g_curl_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return g_curl_ready;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

bool has_port(std::string_view authority) {
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    return colon != std::string_view::npos &&
           (bracket == std::string_view::npos || colon > bracket);
}

std::string host_for_url(std::string_view host) {
    if (host.find(':') != std::string_view::npos && host.front() != '[') {
        return "[" + std::string(host) + "]";
    }
    return std::string(host);
}

// Where the request goes: straight to the server, or through a proxy. Only an HTTP proxy
// gets the absolute-form target; a SOCKS proxy carries the ordinary request.
struct Route {
    std::string proxy_url;  // empty: straight to the server
    bool absolute_target = false;
};

// "HTTP=HTTP://host:port" names the proxy for HTTP; without a port it listens on 80.
Route configured_route(std::string_view proxy_text) {
    if (starts_with_ignoring_case(proxy_text, "HTTP=")) proxy_text.remove_prefix(5);
    if (starts_with_ignoring_case(proxy_text, "HTTP://")) proxy_text.remove_prefix(7);
    while (!proxy_text.empty() && proxy_text.back() == '/') proxy_text.remove_suffix(1);
    std::string url = "http://" + std::string(proxy_text);
    if (!has_port(proxy_text)) url += ":" + std::to_string(kDefaultHttpPort);
    return Route{url, true};
}

const char* first_set(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return nullptr;
}

// The no_proxy rules: "*" covers every host, an entry covers the host itself and every
// host below it as a domain.
bool bypasses_proxy(std::string_view no_proxy, std::string_view host) {
    while (!no_proxy.empty()) {
        const std::size_t comma = no_proxy.find(',');
        std::string_view entry = no_proxy.substr(0, comma);
        no_proxy =
            comma == std::string_view::npos ? std::string_view() : no_proxy.substr(comma + 1);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
        if (entry == "*") return true;
        if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (entry.empty() || entry.size() > host.size()) continue;
        const std::string_view tail = host.substr(host.size() - entry.size());
        const bool same_tail = starts_with_ignoring_case(tail, entry);
        if (same_tail &&
            (tail.size() == host.size() || host[host.size() - entry.size() - 1] == '.')) {
            return true;
        }
    }
    return false;
}

// The environment's usual settings, decided here rather than inside libcurl so that the
// request target always matches the route actually taken.
Route environment_route(std::string_view host) {
    const char* proxy = first_set({"http_proxy", "all_proxy", "ALL_PROXY"});
    if (proxy == nullptr) return Route{};
    const char* no_proxy = first_set({"no_proxy", "NO_PROXY"});
    if (no_proxy != nullptr && bypasses_proxy(no_proxy, host)) return Route{};

    const std::string_view value(proxy);
    const std::size_t scheme_end = value.find("://");
    if (scheme_end == std::string_view::npos) return Route{"http://" + std::string(value), true};
    const std::string_view scheme = value.substr(0, scheme_end);
    const bool http_like = starts_with_ignoring_case(scheme, "http") && scheme.size() <= 5;
    return Route{std::string(value), http_like};
}

struct Exchange {
    char* body = nullptr;
    std::size_t capacity = 0;  // bytes that may be stored, the NUL excluded
    std::size_t length = 0;
    bool headers_done = false;
    long status = 0;
    bool body_full = false;  // the body does not fit: reading stopped
    CURL* handle = nullptr;
};

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line != "\r\n" && line != "\n") return bytes;
    long status = 0;
    curl_easy_getinfo(exchange.handle, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) return bytes;  // an interim answer, more follows
    exchange.headers_done = true;
    exchange.status = status;
    return status == 200 ? bytes : 0;  // another status: the body is not read
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    const std::size_t room = exchange.capacity - exchange.length;
    const std::size_t taken = bytes < room ? bytes : room;
    std::memcpy(exchange.body + exchange.length, data, taken);
    exchange.length += taken;
    if (taken < bytes) {
        exchange.body_full = true;
        return 0;  // ends the transfer
    }
    return bytes;
}

}  // namespace

HttpOutcome http_exchange(const char* host, std::uint16_t port, const char* address,
                          const char* proxy_text, char* body, std::size_t body_size) {
    const HttpOutcome failed_open{HttpStep::open, 0};
    if (body_size == 0 || !ensure_curl()) return failed_open;
    EasyHandle handle(curl_easy_init());
    if (!handle) return failed_open;

    const std::string_view host_text(host);
    if (host_text.empty()) return HttpOutcome{HttpStep::connect, 0};
    if (port == 0) port = kDefaultHttpPort;  // as the Windows client takes it
    const Route route =
        proxy_text[0] != '\0' ? configured_route(proxy_text) : environment_route(host_text);

    const std::string url_host = host_for_url(host_text);
    const std::string url = "http://" + url_host + ":" + std::to_string(port) + "/";
    std::string target = address;
    if (route.absolute_target) {
        const std::string port_part = port == kDefaultHttpPort ? "" : ":" + std::to_string(port);
        const char* slash = target.empty() || target.front() != '/' ? "/" : "";
        target = "http://" + url_host + port_part + slash + target;
    }

    HeaderList headers(curl_slist_append(nullptr, "Pragma: no-cache"));
    if (headers) curl_slist_append(headers.get(), "Cache-Control: no-cache");

    Exchange exchange;
    exchange.body = body;
    exchange.capacity = body_size - 1;
    exchange.handle = handle.get();

    CURL* curl = handle.get();
    const bool configured =
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_PROXY, route.proxy_url.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kExchangeTimeoutMs) == CURLE_OK;
    if (!configured) return HttpOutcome{HttpStep::connect, 0};

    const bool request_opened =
        headers && curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange) == CURLE_OK;
    if (!request_opened) return HttpOutcome{HttpStep::open_request, 0};

    const CURLcode performed = curl_easy_perform(curl);
    if (!exchange.headers_done) {
        return HttpOutcome{performed == CURLE_URL_MALFORMAT ? HttpStep::connect : HttpStep::send,
                           0};
    }
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return HttpOutcome{HttpStep::query_info, 0};
    }
    if (status != 200) return HttpOutcome{HttpStep::status, 0};
    if (exchange.body_full) return HttpOutcome{HttpStep::read_too_long, 0};
    if (performed == CURLE_PARTIAL_FILE) return HttpOutcome{HttpStep::read_cut_short, 0};
    if (performed != CURLE_OK) return HttpOutcome{HttpStep::read, 0};

    body[exchange.length] = '\0';
    return HttpOutcome{HttpStep::none, static_cast<std::uint32_t>(exchange.length)};
}

void release_http() {
    if (g_curl_ready.exchange(false)) curl_global_cleanup();
}

}  // namespace vortal::platform

// Load and unload hooks of the shared library, the counterpart of DllMain's process attach
// and detach.
namespace {

__attribute__((constructor)) void attach_to_process() {
    vortal::on_library_load();
}

__attribute__((destructor)) void detach_from_process() {
    vortal::on_library_unload();
}

}  // namespace
