// Credentials that answer a Basic or Digest challenge (RFC 2617), and the
// digest computations behind them.
#pragma once

#include <string>
#include <string_view>

#include "protocol/auth_challenge.h"
#include "protocol/http_method.h"

// The client nonce, nonce count and quality of protection are fixed: every
// request answers its challenge anew, so a count never goes past one.
inline constexpr const char* kDigestClientNonce = "5c1d7e29";
inline constexpr const char* kDigestNonceCount = "00000001";
inline constexpr const char* kDigestQop = "auth";

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
// or the proxy's user name and password.
void BuildCredentials(const CAuthChallenge& challenge, HttpMethod method, const std::string& target,
                      const std::string& userName, const std::string& password,
                      CAuthCredentials& credentials);

// The hex H(A1); "md5-sess" (any case) hashes the raw digest with the nonces.
std::string DigestHA1(std::string_view algorithm, std::string_view userName, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce);
// The hex request-digest; the entity hash enters only for qop "auth-int".
std::string DigestResponse(std::string_view ha1, std::string_view nonce, std::string_view nc,
                           std::string_view cnonce, std::string_view qop, std::string_view method,
                           std::string_view uri, std::string_view entityHash);

// The "Authorization" or "Proxy-Authorization" value; empty for scheme 0.
// A Digest value is folded over several lines, each continuation starting
// with a TAB.
std::string FormatCredentials(const CAuthCredentials& credentials);
