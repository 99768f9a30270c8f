#include "platform/proxy_route.h"

#include "platform/ascii_case.h"

namespace vortal::platform {

namespace {

bool has_port(std::string_view authority) {
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    return colon != std::string_view::npos &&
           (bracket == std::string_view::npos || colon > bracket);
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

std::string proxy_server(std::string_view proxy_text) {
    if (starts_with_ignoring_ascii_case(proxy_text, "HTTP=")) proxy_text.remove_prefix(5);
    if (starts_with_ignoring_ascii_case(proxy_text, "HTTP://")) proxy_text.remove_prefix(7);
    while (!proxy_text.empty() && proxy_text.back() == '/') proxy_text.remove_suffix(1);
    std::string server(proxy_text);
    if (!has_port(proxy_text)) server += ":" + std::to_string(kDefaultHttpPort);
    return server;
}

Route configured_route(std::string_view proxy_text) {
    return Route{"http://" + proxy_server(proxy_text), true};
}

bool bypasses_proxy(std::string_view no_proxy, std::string_view host) {
    while (!no_proxy.empty()) {
        const std::size_t comma = no_proxy.find(',');
        std::string_view entry = trim_blanks(no_proxy.substr(0, comma));
        no_proxy =
            comma == std::string_view::npos ? std::string_view() : no_proxy.substr(comma + 1);
        if (entry == "*") return true;
        if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (entry.empty() || entry.size() > host.size()) continue;
        const std::string_view tail = host.substr(host.size() - entry.size());
        const bool whole_label =
            tail.size() == host.size() || host[host.size() - entry.size() - 1] == '.';
        if (whole_label && equal_ignoring_ascii_case(tail, entry)) return true;
    }
    return false;
}

Route environment_route(std::string_view host, const char* proxy, const char* no_proxy) {
    if (proxy == nullptr || *proxy == '\0') return Route{};
    if (no_proxy != nullptr && bypasses_proxy(no_proxy, host)) return Route{};

    const std::string_view value(proxy);
    const std::size_t scheme_end = value.find("://");
    if (scheme_end == std::string_view::npos) return Route{"http://" + std::string(value), true};
    const std::string_view scheme = value.substr(0, scheme_end);
    const bool http_like = starts_with_ignoring_ascii_case(scheme, "http") && scheme.size() <= 5;
    return Route{std::string(value), http_like};
}

std::string host_for_url(std::string_view host) {
    if (host.find(':') != std::string_view::npos && host.front() != '[') {
        return "[" + std::string(host) + "]";
    }
    return std::string(host);
}

std::string request_target(const Route& route, std::string_view host, std::uint16_t port,
                           std::string_view address) {
    if (!route.absolute_target) return std::string(address);
    std::string target = "http://" + host_for_url(host);
    if (port != kDefaultHttpPort) target += ":" + std::to_string(port);
    if (address.empty() || address.front() != '/') target += '/';
    target += address;
    return target;
}

}  // namespace vortal::platform
