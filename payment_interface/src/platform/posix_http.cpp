// The HTTP exchange of the POSIX platform layer, on libcurl. It keeps what the Windows client
// does: one HTTP/1.0 GET, the request target as proxy_route.h decides it with a blank sent
// as "%20", the exchange's limits on its connection and on the whole of it, the status tested
// against 200, the body read into the caller's buffer. HTTPS always verifies the server's
// certificate chain and name, and resumes the TLS sessions of earlier exchanges.
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/content_length.h"
#include "platform/platform.h"
#include "platform/proxy_route.h"

namespace vortal::platform {

namespace {

constexpr char kLimitsVariable[] = "VORTAL_TEST_EXCHANGE_LIMITS";

// What the exchanges of the process share: libcurl, set up at the first one, and the TLS
// sessions of earlier HTTPS exchanges, so that the polls of a scan-pay, twice a second,
// resume a session instead of paying a full handshake each. Exchanges may run on any thread,
// several at once.
struct Shared {
    std::mutex mutex;
    bool curl_tried = false;
    bool curl_ready = false;
    CURLSH* sessions = nullptr;
    int exchanges = 0;  // under way
};
Shared g_shared;

// libcurl takes these around every use of the share, from whichever thread runs an exchange.
std::mutex g_share_locks[CURL_LOCK_DATA_LAST];

void lock_share(CURL*, curl_lock_data data, curl_lock_access, void*) {
    g_share_locks[data].lock();
}

void unlock_share(CURL*, curl_lock_data data, void*) {
    g_share_locks[data].unlock();
}

CURLSH* new_session_cache() {
    CURLSH* share = curl_share_init();
    if (share == nullptr) return nullptr;
    if (curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lock_share) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlock_share) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return share;
}

// One exchange's hold on the shared state: libcurl ready and, for HTTPS, the session cache
// (none when it could not be made: each handshake is then a full one). While any is held,
// release_http gives nothing back.
class SharedUse {
  public:
    explicit SharedUse(bool tls) {
        const std::lock_guard<std::mutex> hold(g_shared.mutex);
        if (!g_shared.curl_tried) {
            g_shared.curl_tried = true;
            g_shared.curl_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        }
        ready_ = g_shared.curl_ready;
        if (ready_ && tls && g_shared.sessions == nullptr) g_shared.sessions = new_session_cache();
        if (tls) sessions_ = g_shared.sessions;
        ++g_shared.exchanges;
    }
    ~SharedUse() {
        const std::lock_guard<std::mutex> hold(g_shared.mutex);
        --g_shared.exchanges;
    }
    SharedUse(const SharedUse&) = delete;
    SharedUse& operator=(const SharedUse&) = delete;

    bool ready() const { return ready_; }
    CURLSH* sessions() const { return sessions_; }

  private:
    bool ready_ = false;
    CURLSH* sessions_ = nullptr;
};

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

const char* first_set(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return nullptr;
}

struct Exchange {
    char* body = nullptr;
    std::size_t capacity = 0;  // bytes that may be stored, the NUL excluded
    std::size_t length = 0;
    bool headers_done = false;
    long status = 0;
    AnnouncedLength announced;
    bool bad_length = false;  // the answer's Content-Length headers disagree or are no numbers
    bool body_full = false;   // the body does not fit: reading stopped
    CURL* handle = nullptr;
};

// libcurl takes the last of several Content-Length headers and ignores one too large for its
// type: the answer's headers are judged here instead, before any of the body is taken.
std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line != "\r\n" && line != "\n") {
        constexpr std::string_view kContentLength = "Content-Length:";
        if (starts_with_ignoring_ascii_case(line, kContentLength)) {
            exchange.announced.add(line.substr(kContentLength.size()));
        }
        return bytes;
    }
    long status = 0;
    curl_easy_getinfo(exchange.handle, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) {  // an interim answer, more follows
        exchange.announced = AnnouncedLength();
        return bytes;
    }
    exchange.headers_done = true;
    exchange.status = status;
    if (status != 200) return 0;  // the body is not read
    if (!exchange.announced.valid()) {
        exchange.bad_length = true;
        return 0;
    }
    if (exchange.announced.present() && exchange.announced.length() > exchange.capacity) {
        exchange.body_full = true;
        return 0;
    }
    return bytes;
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

// Certificates are always verified, against the system's trusted roots or the file that
// SSL_CERT_FILE names (OpenSSL's convention); TLS 1.2 at least, the floor of the stores'
// Windows too.
bool set_up_tls(CURL* curl, CURLSH* sessions) {
    const char* ca_file = first_set({"SSL_CERT_FILE"});
    return curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2) == CURLE_OK &&
           (ca_file == nullptr || curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file) == CURLE_OK) &&
           (sessions == nullptr || curl_easy_setopt(curl, CURLOPT_SHARE, sessions) == CURLE_OK);
}

HttpOutcome failed_with_cause(HttpStep step, const char* cause) {
    HttpOutcome outcome{step, 0, {}};
    std::snprintf(outcome.cause, sizeof outcome.cause, "%s", cause);
    return outcome;
}

// A limit of the test's variable, in place of fallback when it is a number below it; never 0,
// which libcurl takes as no limit at all.
std::uint32_t lowered(const char* text, std::uint32_t fallback) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return end != text && value >= 1 && value < fallback ? static_cast<std::uint32_t>(value)
                                                         : fallback;
}

}  // namespace

ExchangeLimits exchange_limits() {
    ExchangeLimits limits = kExchangeLimits;
    const char* text = std::getenv(kLimitsVariable);
    if (text == nullptr) return limits;
    limits.connect_ms = lowered(text, limits.connect_ms);
    if (const char* comma = std::strchr(text, ',')) {
        limits.total_ms = lowered(comma + 1, limits.total_ms);
    }
    return limits;
}

HttpOutcome http_exchange(const char* host, bool tls, std::uint16_t port, const char* address,
                          const char* proxy_text, char* body, std::size_t body_size,
                          const ExchangeLimits& limits) {
    const HttpOutcome failed_open{HttpStep::open, 0, {}};
    if (body_size == 0) return failed_open;
    // Declared before the handle, so that the handle has left the session cache when the
    // hold ends.
    const SharedUse shared(tls);
    if (!shared.ready()) return failed_open;
    EasyHandle handle(curl_easy_init());
    if (!handle) return failed_open;

    const std::string_view host_text(host);
    if (host_text.empty()) return HttpOutcome{HttpStep::connect, 0, {}};
    if (port == 0) port = tls ? kDefaultHttpsPort : kDefaultHttpPort;  // as WinINet takes it
    // The route is decided here rather than inside libcurl, so that the request target
    // always matches the route actually taken. Through an HTTP proxy, HTTPS goes by CONNECT
    // and the server gets the target as built.
    Route route =
        proxy_text[0] != '\0'
            ? configured_route(proxy_text)
            : environment_route(
                  host_text,
                  tls ? first_set({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                      : first_set({"http_proxy", "all_proxy", "ALL_PROXY"}),
                  first_set({"no_proxy", "NO_PROXY"}));
    if (tls) route.absolute_target = false;
    const std::string url =
        (tls ? "https://" : "http://") + host_for_url(host_text) + ":" + std::to_string(port) + "/";
    const std::string target = request_target(route, host_text, port, address);

    HeaderList headers(curl_slist_append(nullptr, "Pragma: no-cache"));
    if (headers) curl_slist_append(headers.get(), "Cache-Control: no-cache");

    Exchange exchange;
    exchange.body = body;
    exchange.capacity = body_size - 1;
    exchange.handle = handle.get();
    char error[CURL_ERROR_SIZE] = {};

    CURL* curl = handle.get();
    const bool configured =
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_PROXY, route.proxy_url.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_ms)) ==
            CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total_ms)) ==
            CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error) == CURLE_OK &&
        (!tls || set_up_tls(curl, shared.sessions()));
    if (!configured) return HttpOutcome{HttpStep::connect, 0, {}};

    const bool request_opened =
        headers && curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange) == CURLE_OK;
    if (!request_opened) return HttpOutcome{HttpStep::open_request, 0, {}};

    const CURLcode performed = curl_easy_perform(curl);
    if (performed == CURLE_OPERATION_TIMEDOUT) return HttpOutcome{HttpStep::timed_out, 0, {}};
    if (!exchange.headers_done) {
        const HttpStep step = performed == CURLE_URL_MALFORMAT ? HttpStep::connect : HttpStep::send;
        if (!tls) return HttpOutcome{step, 0, {}};
        return failed_with_cause(step, error[0] != '\0' ? error : curl_easy_strerror(performed));
    }
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return HttpOutcome{HttpStep::query_info, 0, {}};
    }
    if (status != 200) return HttpOutcome{HttpStep::status, 0, {}};
    if (exchange.bad_length) return HttpOutcome{HttpStep::bad_length, 0, {}};
    if (exchange.body_full) return HttpOutcome{HttpStep::read_too_long, 0, {}};
    if (performed == CURLE_PARTIAL_FILE) return HttpOutcome{HttpStep::read_cut_short, 0, {}};
    if (performed != CURLE_OK) return HttpOutcome{HttpStep::read, 0, {}};

    body[exchange.length] = '\0';
    return HttpOutcome{HttpStep::none, static_cast<std::uint32_t>(exchange.length), {}};
}

void release_http() {
    const std::lock_guard<std::mutex> hold(g_shared.mutex);
    if (g_shared.exchanges != 0) return;
    if (g_shared.sessions != nullptr) curl_share_cleanup(g_shared.sessions);
    g_shared.sessions = nullptr;
    if (g_shared.curl_ready) curl_global_cleanup();
    g_shared.curl_ready = false;
}

}  // namespace vortal::platform
