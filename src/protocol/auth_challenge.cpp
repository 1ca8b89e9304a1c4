#include "protocol/auth_challenge.h"

#include "base/ascii.h"
#include "protocol/header_text.h"

namespace {

std::string_view StripSpacesAndQuotes(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \"");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \"") - first + 1);
}

void AddParam(std::string_view piece, AuthParams& params) {
    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return;
    }
    params[ToLowerAscii(TrimHeaderSpace(piece.substr(0, equals)))] =
        std::string(StripSpacesAndQuotes(piece.substr(equals + 1)));
}

AuthScheme SchemeOf(std::string_view name) {
    if (EqualsIgnoreCase(name, "Basic")) {
        return AUTH_SCHEME_BASIC;
    }
    if (EqualsIgnoreCase(name, "Digest")) {
        return AUTH_SCHEME_DIGEST;
    }
    return AUTH_SCHEME_UNKNOWN;
}

std::string Lookup(const AuthParams& params, const char* name) {
    const auto found = params.find(name);
    return found != params.end() ? found->second : std::string();
}

}  // namespace

void ParseAuthParams(std::string_view text, char separator, AuthParams& params) {
    params.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        AddParam(text.substr(start, end == std::string_view::npos ? end : end - start), params);
        if (end == std::string_view::npos) {
            return;
        }
        start = end + 1;
    }
}

bool ParseChallenge(std::string_view value, CAuthChallenge& challenge) {
    challenge = CAuthChallenge();
    const std::size_t space = value.find(' ');
    if (space == std::string_view::npos || space == 0) {
        return false;
    }
    challenge.scheme = SchemeOf(value.substr(0, space));
    if (challenge.scheme == AUTH_SCHEME_UNKNOWN) {
        return false;
    }
    AuthParams params;
    ParseAuthParams(value.substr(space + 1), ',', params);
    challenge.realm = Lookup(params, "realm");
    challenge.domain = Lookup(params, "domain");
    challenge.nonce = Lookup(params, "nonce");
    challenge.opaque = Lookup(params, "opaque");
    challenge.stale = Lookup(params, "stale");
    challenge.algorithm = Lookup(params, "algorithm");
    challenge.qop = Lookup(params, "qop");
    return !challenge.realm.empty();
}
