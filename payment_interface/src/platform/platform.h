// The library's one interface to the operating system. posix.cpp implements it on Linux,
// win32.cpp on Windows; no other source of the library includes an operating-system header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace vortal::platform {

struct LocalTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int millisecond;
};

LocalTime local_time();
std::uint32_t tick_count_ms();
void sleep_ms(std::uint32_t milliseconds);

// The process-wide lock under the library lock: the thread that holds it may take it again,
// and a taker waits for it at most the given time. On Windows a mutex object, which waits
// for a time as a critical section cannot, and brings no clock of the C runtime's threads.
bool take_process_lock(std::uint32_t wait_ms);
void give_back_process_lock();

// Diagnostics for an attached debugger. On POSIX they go to stderr when VORTAL_DEBUG=1
// and are discarded otherwise.
void debug_output(const char* text);

enum class ModuleLookup {
    found,
    not_loaded_by_name,  // the library file does not carry the library's own name
    no_file_name,
};

// The folder of the library's own file, with its trailing separator.
ModuleLookup own_module_folder(char* dest, std::size_t size);

// The same for the library file at that path, as the library finds it when it is loaded from
// there: for the tools, which load the library and link its code.
ModuleLookup library_folder(const char* library_file, char* dest, std::size_t size);

// One profile (INI) file, read once for a series of lookups with the rules of the Windows
// profile functions: section and key names compared ignoring ASCII case, blanks and one pair
// of quotes around a text value removed, the text cut to size - 1 bytes, a number that does
// not parse reads as 0. A file that starts with a UTF-8 or UTF-16 LE byte-order mark is read
// as Unicode and its values handed on in GBK, any other file is GBK. A bare file name is
// looked up in the system folder. A missing file gives every key its fallback.
class ProfileFile {
  public:
    explicit ProfileFile(const char* file);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    void text(const char* section, const char* key, const char* fallback, char* dest,
              std::size_t size) const;
    int number(const char* section, const char* key, int fallback) const;

    // What the lookups cannot tell, for diagnosing a file that gives nothing: where the file
    // is looked for, whether it is there, how it is written (gbk when it is not there; on
    // Windows this reads the file) and whether it has the section, or the key in the section.
    std::string location() const;
    bool found() const;
    TextEncoding encoding() const;
    bool has(const char* section, const char* key = nullptr) const;

  private:
    struct Source;  // what the platform keeps of the file
    std::unique_ptr<Source> source_;
};

// UTF-8 to the ANSI code page (GBK) through UTF-16. The text with its NUL must fit in size
// bytes; otherwise dest is left empty. Returns the length stored.
std::size_t utf8_to_ansi(std::string_view utf8, char* dest, std::size_t size);

// The steps of one HTTP exchange, in order; a failure names the step that failed. A read
// fails as well when the body does not fit (or is announced longer than that), when the
// connection closes before the body it announced has come, or when the answer's
// Content-Length headers disagree or are not numbers. An exchange that has not ended within
// its limits fails as timed_out, whatever step it had reached.
enum class HttpStep {
    none,
    open,
    connect,
    open_request,
    send,
    query_info,
    status,
    read,
    read_too_long,
    read_cut_short,
    bad_length,
    timed_out,
};

struct HttpOutcome {
    HttpStep failed_step;
    std::uint32_t length;  // body bytes stored, 0 on failure
    // Why a TLS exchange failed, in the client's words (curl's text, the WinINet error);
    // empty otherwise.
    char cause[256];
};

// The longest an HTTP exchange may last, and the longest of that its connection may take.
struct ExchangeLimits {
    std::uint32_t connect_ms;
    std::uint32_t total_ms;
};
inline constexpr ExchangeLimits kExchangeLimits{10'000, 30'000};

// The limits exchanges are held to: kExchangeLimits. On POSIX, which no store runs, a test may
// lower them with VORTAL_TEST_EXCHANGE_LIMITS="CONNECT,TOTAL" (milliseconds); a value that
// would raise either is ignored.
ExchangeLimits exchange_limits();

// One HTTP/1.0 GET of the request address (sent verbatim as the request target), never
// served from a cache; port 0 means 80, or 443 with tls. With tls the exchange is HTTPS: the
// server's certificate chain is verified against the system's trusted roots (on POSIX, or the
// file named by SSL_CERT_FILE) and its name against host, and nothing turns that off; through
// a proxy it goes by CONNECT. The body is read once, at most body_size - 1 bytes, and is
// followed by a NUL. proxy_text is "HTTP=HTTP://host:port"; empty means the environment's
// settings. The exchange as a whole, the peer's pauses and a peer that trickles its answer
// included, ends within limits.total_ms, its connection within limits.connect_ms. Exchanges
// may run on several threads at once.
HttpOutcome http_exchange(const char* host, bool tls, std::uint16_t port, const char* address,
                          const char* proxy_text, char* body, std::size_t body_size,
                          const ExchangeLimits& limits);

// Gives back what the HTTP client set up for the process (on POSIX, the TLS sessions kept for
// resumption); called when the library unloads. An exchange still under way then (a thread
// left in a call as the process exits) keeps it all: the process gives it back.
void release_http();

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A string value of a key under HKEY_LOCAL_MACHINE, the key path written as in the registry
// ("SOFTWARE\Varnix"). The key is opened with full access in the 64-bit view. False, with
// dest empty, when the key or the value is missing, the key cannot be opened so, or the value
// with its NUL does not fit in size bytes. On POSIX the registry is a text file named by
// KORVANE_REGISTRY_FILE (default /etc/korvane/registry.ini): sections are full key paths,
// entries are "Name=value" in GBK, key paths and names compared ignoring ASCII case.
bool local_machine_string(const char* key_path, const char* value_name, char* dest,
                          std::size_t size);

// The full path of the program that loaded the library; false when it cannot be had.
bool executable_path(std::string& path);

bool is_directory(const char* path);
// Creates one directory; false when it could not (it may already exist).
bool create_directory(const char* path);

bool file_exists(const char* path);
bool delete_file(const char* path);

// A file written by the library: either created anew (an existing one of that name is
// emptied; other programs may read it meanwhile but not write it) or opened for appending
// with every other writer kept out until it is closed. Closed when it goes.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool create(const char* path);
    bool open_for_append(const char* path);
    // Writes all the bytes; false when they could not all be written.
    bool write(std::string_view bytes);
    // The file's length in bytes; false when it cannot be had.
    bool size(std::uint64_t& bytes) const;
    // The file's last byte; false when it is empty or cannot be read.
    bool last_byte(char& byte) const;
    // Returns once what was written is on the disk (fsync, FlushFileBuffers), so that it
    // survives a crash or a power cut.
    bool flush_to_disk();

  private:
    std::intptr_t handle_ = -1;
};

// Puts the folder's entries on the disk, a file created in it among them; a file's entry goes
// to the disk with the file itself on Windows.
bool flush_directory(const char* path);

// A small file that the processes of a computer share: opened, created when missing, and
// locked against every other holder, in this process or another, until it goes (flock,
// LockFileEx); the lock of a process that dies goes with it. It is read and replaced whole.
class LockedFile {
  public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Waits for the lock; false when the file cannot be opened or locked.
    bool open(const char* path);
    // Reads the file from its start, at most limit bytes.
    bool read(std::string& content, std::size_t limit);
    // Writes content from the file's start and cuts off what lay beyond it.
    bool replace(std::string_view content);

  private:
    std::intptr_t handle_ = -1;
};

// The box service's shared record: the named file mapping "Global\Z_Map" on Windows, the
// shared-memory object "/Z_Map" on POSIX. The library only opens it, never creates it. The
// view is unmapped and the record closed when it goes.
class BoxRecord {
  public:
    BoxRecord() = default;
    ~BoxRecord();
    BoxRecord(const BoxRecord&) = delete;
    BoxRecord& operator=(const BoxRecord&) = delete;

    // Each step returns 0 or the platform's error code (ENOENT and ERROR_FILE_NOT_FOUND are
    // both 2). A record smaller than size cannot be mapped.
    std::uint32_t open();
    std::uint32_t map(std::size_t size);
    unsigned char* view() const { return static_cast<unsigned char*>(view_); }

  private:
    std::intptr_t section_ = -1;
    void* view_ = nullptr;
    std::size_t size_ = 0;
};

enum class UploadSignal { set, set_failed, not_opened };

// Sets the box service's named event "Global\EVENT_Upload" (on POSIX posts the named
// semaphore "/EVENT_Upload" once), which tells the box service to upload the order in the
// shared record.
UploadSignal signal_box_upload();

}  // namespace vortal::platform
