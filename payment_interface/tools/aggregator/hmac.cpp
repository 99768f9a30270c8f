#include "hmac.h"

#include <openssl/evp.h>

#include <cstdio>

namespace aggregator {

std::string hmac_md5_hex(const std::string& text, const std::string& key) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    std::size_t length = 0;
    if (EVP_Q_mac(nullptr, "HMAC", nullptr, "MD5", nullptr, key.data(), key.size(),
                  reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest,
                  sizeof digest, &length) == nullptr) {
        return std::string();
    }
    std::string hex;
    char pair[3];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

}  // namespace aggregator
