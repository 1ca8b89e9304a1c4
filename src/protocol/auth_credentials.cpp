#include "protocol/auth_credentials.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <new>
#include <optional>

#include "protocol/base64.h"
#include "protocol/header_text.h"
#include "protocol/md5.h"

namespace {

// Realm, nonce and opaque come from the server and the user name from the
// project: a CR or LF in any of them would end the header line early and let
// the rest pass as request lines of its own.
std::string WithoutLineBreaks(std::string_view text) {
    std::string kept;
    std::copy_if(text.begin(), text.end(), std::back_inserter(kept),
                 [](char c) { return c != '\r' && c != '\n'; });
    return kept;
}

// A quoted-string of RFC 9110: a quote or backslash inside is escaped.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (char c : WithoutLineBreaks(text)) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string FormatBasic(const CAuthCredentials& credentials) {
    return "Basic " + EncodeBase64(credentials.userName + ":" + credentials.password);
}

void AppendField(std::string& value, const char* name, const std::string& text) {
    value.append(", ").append(name).append("=").append(text);
}

// RFC 9112 forbids a sender to fold a field over several lines, so every
// field follows on the same line. qop and nc are tokens, not quoted.
std::string FormatDigest(const CAuthCredentials& credentials) {
    std::string value = "Digest username=" + Quoted(credentials.userName);
    AppendField(value, "realm", Quoted(credentials.realm));
    AppendField(value, "nonce", Quoted(credentials.nonce));
    AppendField(value, "uri", Quoted(credentials.uri));
    if (!credentials.qop.empty()) {
        AppendField(value, "qop", credentials.qop);
        AppendField(value, "nc", credentials.nc);
    }
    AppendField(value, "algorithm", WithoutLineBreaks(credentials.algorithm));
    if (!credentials.qop.empty()) {
        AppendField(value, "cnonce", Quoted(credentials.cnonce));
    }
    AppendField(value, "response", Quoted(credentials.response));
    if (!credentials.opaque.empty()) {
        AppendField(value, "opaque", Quoted(credentials.opaque));
    }
    return value;
}

// 64 random bits: a server that sees one client nonce twice may take the
// second answer for a replay.
std::string NewClientNonce() {
    std::array<unsigned char, 8> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        throw std::bad_alloc();
    }
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += kLowerHexDigits[byte >> 4];
        hex += kLowerHexDigits[byte & 0x0F];
    }
    return hex;
}

std::string FormatNonceCount(std::uint32_t count) {
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%08x", static_cast<unsigned>(count));
    return text.data();
}

void BuildDigest(const CAuthChallenge& challenge, HttpMethod method, const std::string& target,
                 std::uint32_t nonceCount, CAuthCredentials& credentials) {
    const std::optional<std::string> qop = ChooseQop(challenge.qop);
    const EVP_MD* hash = FindDigestHash(challenge.algorithm);
    if (!qop || hash == nullptr) {
        credentials = CAuthCredentials();
        return;
    }
    credentials.algorithm = challenge.algorithm.empty() ? "md5" : challenge.algorithm;
    credentials.nonce = challenge.nonce;
    credentials.opaque = challenge.opaque;
    credentials.realm = challenge.realm;
    credentials.qop = *qop;
    credentials.uri = target;
    if (!credentials.qop.empty()) {
        credentials.cnonce = NewClientNonce();
        credentials.nc = FormatNonceCount(nonceCount);
    }
    const std::string ha1 =
        DigestHA1(credentials.algorithm, credentials.userName, credentials.realm,
                  credentials.password, credentials.nonce, credentials.cnonce);
    // The requests carry no body, so auth-int hashes the empty one.
    credentials.response = DigestResponse(
        credentials.algorithm, ha1, credentials.nonce, credentials.nc, credentials.cnonce,
        credentials.qop, GetMethodText(method), credentials.uri, HashHex(hash, ""));
}

}  // namespace

void BuildCredentials(const CAuthChallenge& challenge, HttpMethod method, const std::string& target,
                      const std::string& userName, const std::string& password,
                      std::uint32_t nonceCount, CAuthCredentials& credentials) {
    credentials = CAuthCredentials();
    credentials.scheme = challenge.scheme;
    credentials.userName = userName;
    credentials.password = password;
    if (challenge.scheme == AUTH_SCHEME_DIGEST) {
        BuildDigest(challenge, method, target, nonceCount, credentials);
    }
}

std::string DigestHA1(std::string_view algorithm, std::string_view userName, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce) {
    const EVP_MD* hash = FindDigestHash(algorithm);
    std::string ha1 = HashHex(
        hash, std::string(userName) + ":" + std::string(realm) + ":" + std::string(password));
    if (IsSessionAlgorithm(algorithm)) {
        ha1 = HashHex(hash, ha1 + ":" + std::string(nonce) + ":" + std::string(cnonce));
    }
    return ha1;
}

std::string DigestResponse(std::string_view algorithm, std::string_view ha1, std::string_view nonce,
                           std::string_view nc, std::string_view cnonce, std::string_view qop,
                           std::string_view method, std::string_view uri,
                           std::string_view entityHash) {
    const EVP_MD* hash = FindDigestHash(algorithm);
    std::string a2 = std::string(method) + ":" + std::string(uri);
    if (EqualsIgnoreCase(qop, "auth-int")) {
        a2 += ":" + std::string(entityHash);
    }
    const std::string ha2 = HashHex(hash, a2);
    std::string request = std::string(ha1) + ":" + std::string(nonce) + ":";
    if (!qop.empty()) {
        request += std::string(nc) + ":" + std::string(cnonce) + ":" + std::string(qop) + ":";
    }
    return HashHex(hash, request + ha2);
}

std::string FormatCredentials(const CAuthCredentials& credentials) {
    switch (credentials.scheme) {
        case AUTH_SCHEME_BASIC:
            return FormatBasic(credentials);
        case AUTH_SCHEME_DIGEST:
            return FormatDigest(credentials);
        default:
            return {};
    }
}
