#include "protocol/base64.h"

#include <openssl/evp.h>

#include <limits>
#include <stdexcept>

std::string EncodeBase64(std::string_view data) {
    // EVP_EncodeBlock counts in int; credentials never come near that size.
    if (data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4 * 3)) {
        throw std::length_error("EncodeBase64: input too long");
    }
    std::string encoded((data.size() + 2) / 3 * 4 + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<int>(data.size()));
    encoded.resize(static_cast<std::size_t>(length));
    return encoded;
}
