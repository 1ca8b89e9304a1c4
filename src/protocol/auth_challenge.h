// The challenges of a "WWW-Authenticate" or "Proxy-Authenticate" header.
#pragma once

#include <openssl/evp.h>

#include <optional>
#include <string>
#include <string_view>

enum AuthScheme : int {
    AUTH_SCHEME_UNKNOWN = 0,
    AUTH_SCHEME_BASIC = 1,
    AUTH_SCHEME_DIGEST = 2,
};

// Absent parameters are empty; qop keeps the whole list that the server
// offered. Domain and stale are kept but not acted on.
struct CAuthChallenge {
    AuthScheme scheme = AUTH_SCHEME_UNKNOWN;
    std::string realm;
    std::string domain;
    std::string nonce;
    std::string opaque;
    std::string stale;
    std::string algorithm;
    std::string qop;
};

// Reads every challenge of value, a list in the grammar of RFC 9110 section
// 11.6.1 (several challenges, quoted strings holding commas and escapes,
// token68 credentials), and keeps the strongest one that the client can
// answer: Digest with the strongest algorithm it can compute before Basic.
// True when one was found and its realm is not empty; the scheme is set even
// when the realm is missing. Unknown schemes leave scheme 0.
bool ParseChallenge(std::string_view value, CAuthChallenge& challenge);

// The hash of a Digest algorithm (any case, with or without "-sess"; empty
// means MD5); null for one the client cannot compute.
const EVP_MD* FindDigestHash(std::string_view algorithm);
bool IsSessionAlgorithm(std::string_view algorithm);

// The quality of protection that answers an offered list: "auth" before
// "auth-int"; empty when the server offered none (RFC 2069 answers); nothing
// when it offered only kinds the client does not know.
std::optional<std::string> ChooseQop(std::string_view offered);
