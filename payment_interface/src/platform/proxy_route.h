// Where an HTTP request of the library goes, and the request target it carries, decided as
// the Windows client decides: the configured proxy for HTTP, else the environment's settings
// (http_proxy or all_proxy, unless no_proxy covers the host), else straight to the server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vortal::platform {

inline constexpr std::uint16_t kDefaultHttpPort = 80;
inline constexpr std::uint16_t kDefaultHttpsPort = 443;

struct Route {
    std::string proxy_url;         // empty: straight to the server
    bool absolute_target = false;  // an HTTP proxy takes "http://host[:port]/path"
};

// The proxy server of the configured proxy text "HTTP=HTTP://host:port" as "host:port"; without
// a port the proxy listens on 80.
std::string proxy_server(std::string_view proxy_text);

// The configured proxy text as a route for plain HTTP.
Route configured_route(std::string_view proxy_text);

// The environment's proxy (the first set of http_proxy, all_proxy, ALL_PROXY) and no_proxy
// (no_proxy or NO_PROXY), either null when not set. Only an HTTP proxy gets the absolute
// target; a SOCKS proxy carries the ordinary request.
Route environment_route(std::string_view host, const char* proxy, const char* no_proxy);

// The no_proxy rules: "*" covers every host; an entry covers the host itself and every host
// below it as a domain, a leading "." ignored, letter case ignored.
bool bypasses_proxy(std::string_view no_proxy, std::string_view host);

// The host as it stands in a URL: an IPv6 address in brackets.
std::string host_for_url(std::string_view host);

// The request address as the request target: as built straight to the server; through an
// HTTP proxy the absolute form "http://host[:port]" (port 80 implied), with a "/" before an
// address that lacks it.
std::string request_target(const Route& route, std::string_view host, std::uint16_t port,
                           std::string_view address);

}  // namespace vortal::platform
