// MD5 (RFC 1321) and the other hashes of Digest authentication, over
// OpenSSL's EVP interface.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CMd5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    // Ready for Update; Init starts over.
    CMd5();

    void Init();
    void Update(const void* data, std::size_t length);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest of everything given since Init; the object must be
    // initialised again before further use.
    Digest Final();

    // The 32 lower-case hexadecimal digits of a digest.
    static std::string ToHex(const Digest& digest);
    static std::string HexOf(std::string_view text);

private:
    struct ContextFree {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };

    std::unique_ptr<EVP_MD_CTX, ContextFree> m_context;
};

// The lower-case hexadecimal digest of text under any EVP hash.
std::string HashHex(const EVP_MD* hash, std::string_view text);
