// The library's one HTTP exchange with the payment service.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vortal {

// GET of the request address from host:port, through the proxy text when it is not empty.
// Returns the number of body bytes stored in body (followed by a NUL), 0 when no body was
// obtained; each failure sends its text to the debugger output. Takes no lock: callers hold
// the library lock around it.
std::uint32_t http_get(const char* host, std::uint16_t port, const char* address,
                       const char* proxy_text, char* body, std::size_t body_size);

}  // namespace vortal
