// The HTTP exchange of the POSIX platform layer, on libcurl. It keeps what the Windows client
// does: one HTTP/1.0 GET, the request target as proxy_route.h decides it with a blank sent
// as "%20", a connect time-out of 10 s and 30 s for the whole exchange, the status tested
// against 200, the body read into the caller's buffer.
#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/proxy_route.h"

namespace vortal::platform {

namespace {

constexpr long kConnectTimeoutMs = 10'000;
constexpr long kExchangeTimeoutMs = 30'000;

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
    bool body_full = false;  // the body does not fit: reading stopped
    CURL* handle = nullptr;
};

// A raw blank would end the request target early: proxies and servers refuse the request.
// The Windows client sends it as "%20", and so does this one; every other byte goes as built.
std::string with_blanks_escaped(std::string_view address) {
    std::string escaped;
    escaped.reserve(address.size());
    for (const char c : address) {
        if (c == ' ') {
            escaped += "%20";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

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
    // The route is decided here rather than inside libcurl, so that the request target
    // always matches the route actually taken.
    const Route route =
        proxy_text[0] != '\0'
            ? configured_route(proxy_text)
            : environment_route(host_text, first_set({"http_proxy", "all_proxy", "ALL_PROXY"}),
                                first_set({"no_proxy", "NO_PROXY"}));
    const std::string url = "http://" + host_for_url(host_text) + ":" + std::to_string(port) + "/";
    const std::string target = request_target(route, host_text, port, with_blanks_escaped(address));

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
