#include "protocol/md5.h"

#include <new>

#include "base/ascii.h"

CMd5::CMd5() : m_context(EVP_MD_CTX_new()) {
    if (!m_context) {
        throw std::bad_alloc();
    }
    Init();
}

// OpenSSL fails these calls only when it cannot allocate, or when MD5 has
// been removed from the library, which leaves authentication impossible.
void CMd5::Init() {
    if (EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr) != 1) {
        throw std::bad_alloc();
    }
}

void CMd5::Update(const void* data, std::size_t length) {
    if (EVP_DigestUpdate(m_context.get(), data, length) != 1) {
        throw std::bad_alloc();
    }
}

CMd5::Digest CMd5::Final() {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context.get(), digest.data(), &length) != 1 ||
        length != digest.size()) {
        throw std::bad_alloc();
    }
    return digest;
}

namespace {

std::string ToHexDigits(const std::uint8_t* bytes, std::size_t count) {
    std::string hex;
    hex.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        hex += kLowerHexDigits[bytes[i] >> 4];
        hex += kLowerHexDigits[bytes[i] & 0x0F];
    }
    return hex;
}

}  // namespace

std::string CMd5::ToHex(const Digest& digest) {
    return ToHexDigits(digest.data(), digest.size());
}

std::string CMd5::HexOf(std::string_view text) {
    CMd5 md5;
    md5.Update(text);
    return ToHex(md5.Final());
}

std::string HashHex(const EVP_MD* hash, std::string_view text) {
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &length, hash, nullptr) != 1) {
        throw std::bad_alloc();
    }
    return ToHexDigits(digest.data(), length);
}
