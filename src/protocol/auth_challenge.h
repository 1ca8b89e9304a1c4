// The challenge of a "WWW-Authenticate" or "Proxy-Authenticate" header.
#pragma once

#include <map>
#include <string>
#include <string_view>

enum AuthScheme : int {
    AUTH_SCHEME_UNKNOWN = 0,
    AUTH_SCHEME_BASIC = 1,
    AUTH_SCHEME_DIGEST = 2,
};

// Absent parameters are empty. Domain and stale are kept but not acted on.
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

using AuthParams = std::map<std::string, std::string>;

// Resets challenge, then reads the scheme (Basic or Digest, any case) and its
// parameters. True when the scheme is known and the realm is not empty; the
// scheme field is set even when the realm is missing.
bool ParseChallenge(std::string_view value, CAuthChallenge& challenge);

// Cuts text at every separator, quotes included, so a quoted list such as
// qop="auth,auth-int" keeps only its first element. Each piece with a "="
// after its first character becomes name (trimmed, lower case) and value
// (spaces and double quotes stripped at both ends); a later name wins.
void ParseAuthParams(std::string_view text, char separator, AuthParams& params);
