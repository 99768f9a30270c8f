// The library's one HTTP exchange with the payment service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "records.h"

namespace vortal {

// GET of the request address from host:port in the host's protocol (HTTPS with the
// certificate verified, never plain HTTP in its stead; nothing is sent for an unknown one),
// through the proxy text when it is not empty. Returns the number of body bytes stored in body
// (followed by a NUL), 0 when no body was obtained; each failure sends its text to the
// debugger output, a failed HTTPS exchange also its cause. The exchange ends within limit_ms
// and never takes longer than the exchange limits (platform.h) allow. Takes no lock: callers
// hold the library lock around it.
std::uint32_t http_get(const char* host, Protocol protocol, std::uint16_t port, const char* address,
                       const char* proxy_text, char* body, std::size_t body_size,
                       std::uint32_t limit_ms = std::numeric_limits<std::uint32_t>::max());

}  // namespace vortal
