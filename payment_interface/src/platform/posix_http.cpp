// The HTTP exchange on POSIX, on libcurl. It keeps what the Windows client does: the request
// address goes out verbatim as the request target, and through a proxy the target is the
// absolute form "http://host[:port]" followed by the address.
#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vortal::platform {

namespace {

constexpr long kConnectTimeoutMs = 10'000;
constexpr long kExchangeTimeoutMs = 30'000;
constexpr std::uint16_t kDefaultHttpPort = 80;

std::once_flag g_curl_init_once;
std::atomic<bool> g_curl_ready{false};

bool ensure_curl() {
    std::call_once(g_curl_init_once, [] {
        g_curl_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
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
    return colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
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
        no_proxy = comma == std::string_view::npos ? std::string_view() : no_proxy.substr(comma + 1);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
        if (entry == "*") return true;
        if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (entry.empty() || entry.size() > host.size()) continue;
        const std::string_view tail = host.substr(host.size() - entry.size());
        const bool same_tail = starts_with_ignoring_case(tail, entry);
        if (same_tail && (tail.size() == host.size() || host[host.size() - entry.size() - 1] == '.')) {
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
    bool body_full = false;  // stopped reading on purpose: the rest of the body is cut
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
    const Route route =
        proxy_text[0] != '\0' ? configured_route(proxy_text) : environment_route(host_text);

    const std::string url_host = host_for_url(host_text);
    const std::string url = "http://" + url_host + ":" + std::to_string(port) + "/";
    std::string target = address;
    if (route.absolute_target) {
        const std::string port_part = port == kDefaultHttpPort ? "" : ":" + std::to_string(port);
        target = "http://" + url_host + port_part + target;
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
        headers &&
        curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange) == CURLE_OK;
    if (!request_opened) return HttpOutcome{HttpStep::open_request, 0};

    const CURLcode performed = curl_easy_perform(curl);
    if (!exchange.headers_done) {
        return HttpOutcome{performed == CURLE_URL_MALFORMAT ? HttpStep::connect : HttpStep::send, 0};
    }
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return HttpOutcome{HttpStep::query_info, 0};
    }
    if (status != 200) return HttpOutcome{HttpStep::status, 0};
    if (performed != CURLE_OK && !exchange.body_full) return HttpOutcome{HttpStep::read, 0};

    body[exchange.length] = '\0';
    return HttpOutcome{HttpStep::none, static_cast<std::uint32_t>(exchange.length)};
}

void release_http() {
    if (g_curl_ready.exchange(false)) curl_global_cleanup();
}

}  // namespace vortal::platform
