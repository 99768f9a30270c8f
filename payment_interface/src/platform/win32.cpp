// Windows implementation of the platform layer: kernel services, the profile functions, the
// registry, the named file mapping and event, and WinINet. DllMain is the library's load and
// unload hook here.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gbk_text.h"
#include "library.h"
#include "platform/ascii_case.h"
#include "platform/content_length.h"
#include "platform/platform.h"
#include "platform/proxy_route.h"
#include "records.h"

namespace vortal::platform {

namespace {

constexpr char kLibraryFileName[] = "Vortal.dll";
constexpr char kBoxRecordName[] = "Global\\Z_Map";
constexpr char kBoxUploadEventName[] = "Global\\EVENT_Upload";
constexpr std::size_t kLongestPath = 32768;
constexpr std::size_t kProfileNamesSize = 32768;
constexpr DWORD kLargestWrite = 0x10000000;
// WinINet's own time-outs outlast the exchange's limit by this much, so that the limit, which
// the caller keeps, always ends a stalled exchange first.
constexpr DWORD kClientTimeoutBeyondLimitMs = 1000;
constexpr DWORD kLongestWaitForFileMs = 5'000;

struct InternetHandleCloser {
    void operator()(void* handle) const { InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
// Closing in reverse order of opening: request, connection, internet handle.
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

}  // namespace

LocalTime local_time() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

std::uint32_t tick_count_ms() {
    return GetTickCount();
}

void sleep_ms(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

namespace {

// Made while the library loads, before any call can take it, and closed when it unloads: a
// host that loads the library for each call keeps no handle of it. An owner that ended
// holding it (WAIT_ABANDONED) leaves it to the next taker.
struct ProcessLock {
    ProcessLock() : mutex(CreateMutexA(nullptr, FALSE, nullptr)) {}
    ~ProcessLock() {
        if (mutex != nullptr) CloseHandle(mutex);
    }
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;
    HANDLE mutex;
};
ProcessLock g_process_lock;

}  // namespace

bool take_process_lock(std::uint32_t wait_ms) {
    const DWORD waited = WaitForSingleObject(g_process_lock.mutex, wait_ms);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void give_back_process_lock() {
    ReleaseMutex(g_process_lock.mutex);
}

void debug_output(const char* text) {
    OutputDebugStringA(text);
}

ModuleLookup own_module_folder(char* dest, std::size_t size) {
    HMODULE module = GetModuleHandleA(kLibraryFileName);
    if (module == nullptr) return ModuleLookup::not_loaded_by_name;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ModuleLookup::no_file_name;
    // A folder such as C:\門店淺表 holds a "\" byte inside a character (淺 is 9C 5C).
    const std::string_view full(path, length);
    copy_bounded(dest, size, full.substr(0, gbk::rfind(full, '\\') + 1));
    return ModuleLookup::found;
}

ModuleLookup library_folder(const char* library_file, char* dest, std::size_t size) {
    char path[MAX_PATH];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(library_file, MAX_PATH, path, &name);
    if (length == 0 || length >= MAX_PATH || name == nullptr) return ModuleLookup::no_file_name;
    // The module lookup by name ignores letter case.
    if (!equal_ignoring_ascii_case(name, kLibraryFileName)) return ModuleLookup::not_loaded_by_name;
    copy_bounded(dest, size, std::string_view(path, static_cast<std::size_t>(name - path)));
    return ModuleLookup::found;
}

// The profile functions read the file themselves (and keep it cached).
struct ProfileFile::Source {
    std::string path;
};

ProfileFile::ProfileFile(const char* file) : source_(std::make_unique<Source>(Source{file})) {}

ProfileFile::~ProfileFile() = default;

void ProfileFile::text(const char* section, const char* key, const char* fallback, char* dest,
                       std::size_t size) const {
    // Read with room to spare and cut here, at a character, as every text is cut: the profile
    // functions' own cut promises no character, nor that the bytes it reports are all written.
    std::string value(size + 2, '\0');
    const DWORD length =
        GetPrivateProfileStringA(section, key, fallback, value.data(),
                                 static_cast<DWORD>(value.size()), source_->path.c_str());
    copy_bounded(dest, size, std::string_view(value).substr(0, length));
}

int ProfileFile::number(const char* section, const char* key, int fallback) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, source_->path.c_str()));
}

std::string ProfileFile::location() const {
    const std::string& path = source_->path;
    if (gbk::find_first_of(path, "\\/") != gbk::npos) return path;
    char folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(folder, length) + kPathSeparator + path;
}

bool ProfileFile::found() const {
    const DWORD attributes = GetFileAttributesA(location().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TextEncoding ProfileFile::encoding() const {
    HANDLE file = CreateFileA(location().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TextEncoding::gbk;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return text_encoding(bytes);
}

bool ProfileFile::has(const char* section, const char* key) const {
    // Without a key name the profile function lists the section's keys, without a section
    // name the file's sections: names one after the other, each ended by its NUL.
    std::vector<char> names(kProfileNamesSize);
    const DWORD length =
        GetPrivateProfileStringA(key == nullptr ? nullptr : section, nullptr, "", names.data(),
                                 static_cast<DWORD>(names.size()), source_->path.c_str());
    const std::string_view wanted(key == nullptr ? section : key);
    for (std::size_t at = 0; at < length && names[at] != '\0';) {
        const std::string_view name(names.data() + at);
        if (equal_ignoring_ascii_case(name, wanted)) return true;
        at += name.size() + 1;
    }
    return false;
}

namespace {

// GBK holds no character beyond the 16-bit range, and the conversion would make one "?" of
// each half of its surrogate pair: the pair becomes one "?" here, as on POSIX. Returns the
// new length; the text's NUL moves with it.
int one_unit_per_character(wchar_t* text, int length) {
    int kept = 0;
    for (int i = 0; i < length; ++i) {
        const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < length &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        text[kept++] = pair ? L'?' : text[i];
        if (pair) ++i;
    }
    text[kept] = L'\0';
    return kept;
}

}  // namespace

std::size_t utf8_to_ansi(std::string_view utf8, char* dest, std::size_t size) {
    if (size == 0) return 0;
    dest[0] = '\0';
    if (utf8.empty() || utf8.size() > kMaxInputLength) return 0;
    const int utf8_length = static_cast<int>(utf8.size());
    const int wide_length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, nullptr, 0);
    if (wide_length <= 0) return 0;
    std::vector<wchar_t> wide(static_cast<std::size_t>(wide_length) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, wide.data(), wide_length);
    const int units = one_unit_per_character(wide.data(), wide_length);
    // With its NUL, so that a text that does not fit fails instead of being cut.
    const int written = WideCharToMultiByte(CP_ACP, 0, wide.data(), units + 1, dest,
                                            static_cast<int>(size), nullptr, nullptr);
    if (written <= 0) {
        dest[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(written - 1);
}

namespace {

// Every Content-Length header of the answer, by index: WinINet itself reads only the first.
AnnouncedLength announced_length(HINTERNET request) {
    AnnouncedLength announced;
    for (DWORD index = 0;;) {
        char value[64] = {};
        DWORD size = sizeof value;
        const DWORD asked = index;
        if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, value, &size, &index)) {
            // A value longer than any length is no number.
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) announced.add({});
            return announced;
        }
        announced.add(std::string_view(value, size));
        if (index == asked) return announced;
    }
}

// WinINet hands a body out in pieces: reads until it reports the end. A body that does not
// fit, or that ends before the length its header announced, is a failed read, never a
// shorter answer.
HttpOutcome read_body(HINTERNET request, char* body, std::size_t body_size) {
    const std::size_t capacity = body_size - 1;
    const AnnouncedLength announced = announced_length(request);
    if (!announced.valid()) return HttpOutcome{HttpStep::bad_length, 0, {}};
    if (announced.present() && announced.length() > capacity) {
        return HttpOutcome{HttpStep::read_too_long, 0, {}};
    }
    std::size_t stored = 0;
    for (;;) {
        char beyond = '\0';
        const bool room_left = stored < capacity;
        DWORD read = 0;
        if (!InternetReadFile(request, room_left ? body + stored : &beyond,
                              room_left ? static_cast<DWORD>(capacity - stored) : 1, &read)) {
            return HttpOutcome{HttpStep::read, 0, {}};
        }
        if (read == 0) break;
        if (!room_left) return HttpOutcome{HttpStep::read_too_long, 0, {}};
        stored += read;
    }
    if (announced.present() && stored < announced.length()) {
        return HttpOutcome{HttpStep::read_cut_short, 0, {}};
    }
    body[stored] = '\0';
    return HttpOutcome{HttpStep::none, static_cast<std::uint32_t>(stored), {}};
}

// The WinINet errors of a refused certificate or a failed handshake, by name.
const char* security_error_name(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return "ERROR_INTERNET_SEC_CERT_DATE_INVALID";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return "ERROR_INTERNET_SEC_CERT_CN_INVALID";
        case ERROR_INTERNET_INVALID_CA:
            return "ERROR_INTERNET_INVALID_CA";
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
            return "ERROR_INTERNET_SEC_CERT_REV_FAILED";
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return "ERROR_INTERNET_SEC_CERT_REVOKED";
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return "ERROR_INTERNET_SEC_INVALID_CERT";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return "ERROR_INTERNET_SECURITY_CHANNEL_ERROR";
        default:
            return "";
    }
}

// A failed HTTPS send names WinINet's error: its number, its name when it concerns the
// certificate or the handshake, and the system's own text for it where there is one.
HttpOutcome failed_send(bool tls, DWORD error) {
    HttpOutcome outcome{HttpStep::send, 0, {}};
    if (!tls) return outcome;
    char text[160] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                   GetModuleHandleA("wininet.dll"), error, 0, text, sizeof text, nullptr);
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
    text[length] = '\0';
    std::snprintf(outcome.cause, sizeof outcome.cause, "WinINet %lu %s %s",
                  static_cast<unsigned long>(error), security_error_name(error), text);
    return outcome;
}

// The exchange itself, on WinINet: synchronous, on the thread that runs it.
HttpOutcome exchange_now(const char* host, bool tls, std::uint16_t port, const char* address,
                         const char* proxy_text, char* body, std::size_t body_size,
                         const ExchangeLimits& limits) {
    const bool use_proxy = proxy_text[0] != '\0';
    // WinINet serves HTTPS through an entry without a scheme (a proxy for every protocol), by
    // CONNECT; an "HTTP=" entry serves plain HTTP only.
    const std::string proxy = tls && use_proxy ? proxy_server(proxy_text) : proxy_text;
    InternetHandle internet(
        InternetOpenA("", use_proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                      use_proxy ? proxy.c_str() : nullptr, nullptr, 0));
    if (!internet) return HttpOutcome{HttpStep::open, 0, {}};

    if (port == 0) port = tls ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    InternetHandle connection(InternetConnectA(static_cast<HINTERNET>(internet.get()), host, port,
                                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    if (!connection) return HttpOutcome{HttpStep::connect, 0, {}};

    // INTERNET_FLAG_SECURE with the machine's trusted roots and no SECURITY_FLAG_IGNORE_*:
    // a certificate WinINet does not trust fails the send. Schannel keeps the process's TLS
    // sessions for resumption itself.
    const DWORD flags = INTERNET_FLAG_RELOAD | (tls ? INTERNET_FLAG_SECURE : 0);
    InternetHandle request(HttpOpenRequestA(static_cast<HINTERNET>(connection.get()), nullptr,
                                            address, "HTTP/1.0", nullptr, nullptr, flags, 1));
    if (!request) return HttpOutcome{HttpStep::open_request, 0, {}};
    HINTERNET request_handle = static_cast<HINTERNET>(request.get());
    // Without them a server that accepts and never answers holds the thread for minutes.
    // WinINet honours them on the request handle. They bound each send and each receive, not
    // the exchange: a peer that trickles its answer holds the thread longer, but not the
    // caller (http_exchange).
    DWORD connect_timeout = limits.connect_ms;
    DWORD transfer_timeout = limits.total_ms + kClientTimeoutBeyondLimitMs;
    InternetSetOptionA(request_handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_timeout,
                       sizeof connect_timeout);
    InternetSetOptionA(request_handle, INTERNET_OPTION_SEND_TIMEOUT, &transfer_timeout,
                       sizeof transfer_timeout);
    InternetSetOptionA(request_handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &transfer_timeout,
                       sizeof transfer_timeout);

    if (!HttpSendRequestA(request_handle, nullptr, 0, nullptr, 0)) {
        return failed_send(tls, GetLastError());
    }
    char status_text[260] = {};
    DWORD status_length = sizeof status_text;
    if (!HttpQueryInfoA(request_handle, HTTP_QUERY_STATUS_CODE, status_text, &status_length,
                        nullptr)) {
        return HttpOutcome{HttpStep::query_info, 0, {}};
    }
    if (std::strtol(status_text, nullptr, 10) != HTTP_STATUS_OK) {
        return HttpOutcome{HttpStep::status, 0, {}};
    }
    return read_body(request_handle, body, body_size);
}

// One exchange on a thread of its own, which the caller stops waiting for at the limit:
// WinINet gives no safe way to end a blocked synchronous call (closing its handle from
// another thread races with the call's next use of it, and wine does not end the call), so a
// peer that trickles its answer keeps only that thread. Caller and thread share this and
// whichever lets go last frees it; the thread keeps the library loaded until it has ended.
struct BackgroundExchange {
    ~BackgroundExchange() {
        if (done != nullptr) CloseHandle(done);
    }

    LONG owners = 2;
    std::string host;
    std::string address;
    std::string proxy_text;
    bool tls = false;
    std::uint16_t port = 0;
    ExchangeLimits limits{};
    std::vector<char> body;
    HANDLE done = nullptr;  // set once outcome and body are complete
    HMODULE library = nullptr;
    HttpOutcome outcome{HttpStep::open, 0, {}};
};

void let_go(BackgroundExchange* exchange) {
    if (InterlockedDecrement(&exchange->owners) == 0) delete exchange;
}

DWORD WINAPI run_exchange(LPVOID parameter) {
    auto* exchange = static_cast<BackgroundExchange*>(parameter);
    try {
        exchange->outcome =
            exchange_now(exchange->host.c_str(), exchange->tls, exchange->port,
                         exchange->address.c_str(), exchange->proxy_text.c_str(),
                         exchange->body.data(), exchange->body.size(), exchange->limits);
    } catch (...) {
        exchange->outcome = HttpOutcome{HttpStep::open, 0, {}};
    }
    SetEvent(exchange->done);
    const HMODULE library = exchange->library;
    let_go(exchange);
    FreeLibraryAndExitThread(library, 0);
}

// The module of this code, with a reference that keeps it loaded; null when there is none.
HMODULE hold_own_module() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&run_exchange), &module);
    return module;
}

}  // namespace

ExchangeLimits exchange_limits() {
    return kExchangeLimits;
}

HttpOutcome http_exchange(const char* host, bool tls, std::uint16_t port, const char* address,
                          const char* proxy_text, char* body, std::size_t body_size,
                          const ExchangeLimits& limits) {
    const HttpOutcome not_opened{HttpStep::open, 0, {}};
    if (body_size == 0) return not_opened;
    std::unique_ptr<BackgroundExchange> exchange;
    try {
        exchange.reset(new BackgroundExchange{2, host, address, proxy_text, tls, port, limits,
                                              std::vector<char>(body_size, '\0')});
    } catch (...) {
        return not_opened;
    }
    exchange->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (exchange->done == nullptr) return not_opened;
    exchange->library = hold_own_module();
    if (exchange->library == nullptr) return not_opened;
    HANDLE thread = CreateThread(nullptr, 0, run_exchange, exchange.get(), 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(exchange->library);
        return not_opened;
    }
    CloseHandle(thread);

    BackgroundExchange* shared = exchange.release();
    HttpOutcome outcome{HttpStep::timed_out, 0, {}};
    if (WaitForSingleObject(shared->done, limits.total_ms) == WAIT_OBJECT_0) {
        outcome = shared->outcome;
        std::memcpy(body, shared->body.data(), body_size);
    }
    let_go(shared);
    return outcome;
}

void release_http() {}

bool local_machine_string(const char* key_path, const char* value_name, char* dest,
                          std::size_t size) {
    if (size == 0) return false;
    dest[0] = '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(size);
    const LSTATUS status =
        RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(dest), &length);
    RegCloseKey(key);
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    if (status != ERROR_SUCCESS || !text) {
        dest[0] = '\0';
        return false;
    }
    // A value may be stored without its NUL.
    if (length == 0 || dest[length - 1] != '\0') {
        if (length >= size) {
            dest[0] = '\0';
            return false;
        }
        dest[length] = '\0';
    }
    return true;
}

bool executable_path(std::string& path) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            return true;
        }
        if (buffer.size() >= kLongestPath) return false;
        buffer.resize(buffer.size() * 2);
    }
}

bool is_directory(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool create_directory(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

bool file_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool delete_file(const char* path) {
    return DeleteFileA(path) != 0;
}

namespace {

HANDLE as_handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}
std::intptr_t from_handle(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

bool write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk =
            bytes.size() > kLargestWrite ? kLargestWrite : static_cast<DWORD>(bytes.size());
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

OutputFile::~OutputFile() {
    if (as_handle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(as_handle(handle_));
}

bool OutputFile::create(const char* path) {
    if (as_handle(handle_) != INVALID_HANDLE_VALUE) return false;
    handle_ = from_handle(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return as_handle(handle_) != INVALID_HANDLE_VALUE;
}

// Unshared: another writer, in this process or another, cannot open the file meanwhile. A
// writer that finds the file open waits for its turn, as on POSIX, rather than losing its
// entry; a file held longer than a few seconds is given up. Full write access, which
// FlushFileBuffers asks for, and read access for the last byte; as no one else writes
// meanwhile, writing from the end appends.
bool OutputFile::open_for_append(const char* path) {
    if (as_handle(handle_) != INVALID_HANDLE_VALUE) return false;
    const DWORD started = GetTickCount();
    for (;;) {
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            if (SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END)) {
                handle_ = from_handle(file);
                return true;
            }
            CloseHandle(file);
            return false;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION ||
            GetTickCount() - started > kLongestWaitForFileMs) {
            return false;
        }
        Sleep(1);
    }
}

bool OutputFile::write(std::string_view bytes) {
    return as_handle(handle_) != INVALID_HANDLE_VALUE && write_all(as_handle(handle_), bytes);
}

bool OutputFile::size(std::uint64_t& bytes) const {
    LARGE_INTEGER length{};
    if (as_handle(handle_) == INVALID_HANDLE_VALUE || !GetFileSizeEx(as_handle(handle_), &length))
        return false;
    bytes = static_cast<std::uint64_t>(length.QuadPart);
    return true;
}

// Read at its offset; the file pointer is left at the end, where the next write appends.
bool OutputFile::last_byte(char& byte) const {
    std::uint64_t length = 0;
    if (!size(length) || length == 0) return false;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((length - 1) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>((length - 1) >> 32);
    DWORD got = 0;
    return ReadFile(as_handle(handle_), &byte, 1, &got, &at) && got == 1;
}

bool OutputFile::flush_to_disk() {
    return as_handle(handle_) != INVALID_HANDLE_VALUE && FlushFileBuffers(as_handle(handle_));
}

bool flush_directory(const char*) {
    return true;
}

LockedFile::~LockedFile() {
    if (as_handle(handle_) == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    UnlockFileEx(as_handle(handle_), 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(as_handle(handle_));
}

// Shared opening, then a lock of every byte the file may ever have, which LockFileEx waits
// for also against another handle of this process.
bool LockedFile::open(const char* path) {
    if (as_handle(handle_) != INVALID_HANDLE_VALUE) return false;
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(file);
        return false;
    }
    handle_ = from_handle(file);
    return true;
}

bool LockedFile::read(std::string& content, std::size_t limit) {
    HANDLE file = as_handle(handle_);
    if (file == INVALID_HANDLE_VALUE ||
        !SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return false;
    content.assign(limit, '\0');
    std::size_t length = 0;
    while (length < limit) {
        DWORD got = 0;
        const std::size_t left = limit - length;
        const DWORD wanted = left > kLargestWrite ? kLargestWrite : static_cast<DWORD>(left);
        if (!ReadFile(file, content.data() + length, wanted, &got, nullptr)) return false;
        if (got == 0) break;
        length += got;
    }
    content.resize(length);
    return true;
}

bool LockedFile::replace(std::string_view content) {
    HANDLE file = as_handle(handle_);
    return file != INVALID_HANDLE_VALUE &&
           SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) &&
           write_all(file, content) && SetEndOfFile(file);
}

BoxRecord::~BoxRecord() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (section_ != -1) CloseHandle(as_handle(section_));
}

std::uint32_t BoxRecord::open() {
    HANDLE section = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kBoxRecordName);
    if (section == nullptr) return GetLastError();
    section_ = from_handle(section);
    return 0;
}

std::uint32_t BoxRecord::map(std::size_t size) {
    if (section_ == -1 || view_ != nullptr) return ERROR_INVALID_HANDLE;
    void* view = MapViewOfFile(as_handle(section_), FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (view == nullptr) return GetLastError();
    view_ = view;
    size_ = size;
    return 0;
}

UploadSignal signal_box_upload() {
    HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, kBoxUploadEventName);
    if (event == nullptr) return UploadSignal::not_opened;
    const bool set = SetEvent(event) != 0;
    CloseHandle(event);
    return set ? UploadSignal::set : UploadSignal::set_failed;
}

}  // namespace vortal::platform

// Under the loader lock: nothing here waits, loads a library or takes a lock that another
// thread may hold. When the process ends (reserved set) its other threads are already gone,
// some perhaps in the middle of a call: nothing is given back then, the system takes it all.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            vortal::on_library_load();
            break;
        case DLL_PROCESS_DETACH:
            if (reserved == nullptr) vortal::on_library_unload();
            break;
        default:
            break;
    }
    return TRUE;
}
