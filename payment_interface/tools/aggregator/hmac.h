// The service's signature, kept apart from the service so that tests of any platform can
// compute the signatures they expect.
#pragma once

#include <string>

namespace aggregator {

// Sign text as the service computes it: the command word and the values in its order.
std::string hmac_md5_hex(const std::string& text, const std::string& key);

}  // namespace aggregator
