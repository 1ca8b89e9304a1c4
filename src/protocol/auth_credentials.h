// Credentials that answer a Basic or Digest challenge (RFC 7617, RFC 7616),
// and the digest computations behind them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/auth_challenge.h"
#include "protocol/http_method.h"

// Scheme 0 means no credentials.
struct CAuthCredentials {
    AuthScheme scheme = AUTH_SCHEME_UNKNOWN;
    std::string realm;
    std::string userName;
    std::string password;
    std::string uri;
    std::string qop;
    std::string nonce;
    std::string cnonce;
    std::string opaque;
    std::string nc;
    std::string response;
    std::string algorithm;
};

// Fills credentials for a request of this method and target with the site's
// or the proxy's user name and password. nonceCount numbers this use of the
// challenge's nonce from 1; each Digest answer with a qop gets a fresh
// random client nonce. A Digest challenge the client cannot compute (see
// ParseChallenge) leaves scheme 0.
void BuildCredentials(const CAuthChallenge& challenge, HttpMethod method, const std::string& target,
                      const std::string& userName, const std::string& password,
                      std::uint32_t nonceCount, CAuthCredentials& credentials);

// The hex H(A1) under the algorithm's hash, which must be one that
// FindDigestHash knows; a "-sess" algorithm hashes the hex of
// H(user:realm:password) with the nonces (RFC 7616 section 3.4.2).
std::string DigestHA1(std::string_view algorithm, std::string_view userName, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce);
// The hex request-digest; nc and cnonce enter only with a qop, the entity
// hash only for qop "auth-int".
std::string DigestResponse(std::string_view algorithm, std::string_view ha1, std::string_view nonce,
                           std::string_view nc, std::string_view cnonce, std::string_view qop,
                           std::string_view method, std::string_view uri,
                           std::string_view entityHash);

// The "Authorization" or "Proxy-Authorization" value, on one line; empty for
// scheme 0.
std::string FormatCredentials(const CAuthCredentials& credentials);
