#include "protocol/auth_challenge.h"

#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "base/ascii.h"
#include "protocol/header_text.h"

namespace {

using AuthParams = std::map<std::string, std::string>;

struct RawChallenge {
    std::string scheme;
    AuthParams params;
};

struct DigestHash {
    const char* name;
    const EVP_MD* (*hash)();
};

// Weakest first, so that a later index is a stronger algorithm.
const std::array<DigestHash, 3> kDigestHashes = {{
    {"MD5", EVP_md5},
    {"SHA-256", EVP_sha256},
    {"SHA-512-256", EVP_sha512_256},
}};

constexpr std::string_view kSessionSuffix = "-sess";

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsTokenChar(char c) {
    return IsAlnum(c) || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool IsToken68Char(char c) {
    return IsAlnum(c) || (c != '\0' && std::strchr("-._~+/", c) != nullptr);
}

// Walks a header value in the challenge grammar. Each comma-separated
// element is a new challenge ("scheme", "scheme token68" or "scheme
// name=value") or a further parameter of the current one ("name=value").
// Whatever does not fit is skipped up to the next comma outside quotes.
class CChallengeReader {
public:
    explicit CChallengeReader(std::string_view text) : m_text(text) {}

    std::vector<RawChallenge> ReadAll() {
        std::vector<RawChallenge> challenges;
        for (;;) {
            SkipSeparators();
            if (AtEnd()) {
                return challenges;
            }
            ReadElement(challenges);
            SkipSpace();
            if (!AtEnd() && Peek() != ',') {
                SkipToComma();
            }
        }
    }

private:
    void ReadElement(std::vector<RawChallenge>& challenges) {
        const std::string_view name = ReadToken();
        if (name.empty()) {
            return;
        }
        if (IsParameterAhead()) {
            if (!challenges.empty()) {
                ReadParameter(name, challenges.back().params);
            }
            return;
        }
        RawChallenge& challenge = challenges.emplace_back();
        challenge.scheme = std::string(name);
        SkipSpace();
        const std::size_t beforeFirst = m_at;
        const std::string_view first = ReadToken();
        if (!first.empty() && IsParameterAhead()) {
            ReadParameter(first, challenge.params);
            return;
        }
        m_at = beforeFirst;
        SkipToken68();
    }

    // After a name: "=" and then a value, not the "=" padding of token68.
    bool IsParameterAhead() const {
        std::size_t at = SpaceEnd(m_at);
        if (at >= m_text.size() || m_text[at] != '=') {
            return false;
        }
        at = SpaceEnd(at + 1);
        return at < m_text.size() && m_text[at] != ',' && m_text[at] != '=';
    }

    void ReadParameter(std::string_view name, AuthParams& params) {
        m_at = SpaceEnd(SpaceEnd(m_at) + 1);
        params[ToLowerAscii(name)] = Peek() == '"' ? ReadQuoted() : ReadBareValue();
    }

    std::string ReadQuoted() {
        std::string value;
        for (++m_at; !AtEnd() && Peek() != '"'; ++m_at) {
            if (Peek() == '\\' && m_at + 1 < m_text.size()) {
                ++m_at;
            }
            value += Peek();
        }
        if (!AtEnd()) {
            ++m_at;
        }
        return value;
    }

    // A token, or what servers write where a token belongs (such as a
    // domain=/dir without quotes), up to the next comma or blank.
    std::string ReadBareValue() {
        const std::size_t start = m_at;
        while (!AtEnd() && Peek() != ',' && !IsSpace(Peek())) {
            ++m_at;
        }
        return std::string(m_text.substr(start, m_at - start));
    }

    std::string_view ReadToken() {
        const std::size_t start = m_at;
        while (!AtEnd() && IsTokenChar(Peek())) {
            ++m_at;
        }
        return m_text.substr(start, m_at - start);
    }

    void SkipToken68() {
        while (!AtEnd() && IsToken68Char(Peek())) {
            ++m_at;
        }
        while (!AtEnd() && Peek() == '=') {
            ++m_at;
        }
    }

    void SkipToComma() {
        bool quoted = false;
        for (; !AtEnd() && (quoted || Peek() != ','); ++m_at) {
            if (Peek() == '\\' && quoted) {
                ++m_at;
            } else if (Peek() == '"') {
                quoted = !quoted;
            }
        }
    }

    void SkipSeparators() {
        while (!AtEnd() && (Peek() == ',' || IsSpace(Peek()))) {
            ++m_at;
        }
    }

    void SkipSpace() { m_at = SpaceEnd(m_at); }

    std::size_t SpaceEnd(std::size_t at) const {
        while (at < m_text.size() && IsSpace(m_text[at])) {
            ++at;
        }
        return at;
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t'; }
    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }

    std::string_view m_text;
    std::size_t m_at = 0;
};

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

// The algorithm's place in kDigestHashes, -sess or not; -1 when unknown.
int DigestHashIndex(std::string_view algorithm) {
    if (IsSessionAlgorithm(algorithm)) {
        algorithm.remove_suffix(kSessionSuffix.size());
    }
    if (algorithm.empty()) {
        return 0;
    }
    for (std::size_t i = 0; i < kDigestHashes.size(); ++i) {
        if (EqualsIgnoreCase(algorithm, kDigestHashes[i].name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// 0 for a challenge the client cannot answer; Basic 1; Digest above it by
// the strength of its algorithm.
int Strength(const RawChallenge& raw) {
    switch (SchemeOf(raw.scheme)) {
        case AUTH_SCHEME_BASIC:
            return 1;
        case AUTH_SCHEME_DIGEST: {
            const int hash = DigestHashIndex(Lookup(raw.params, "algorithm"));
            return hash >= 0 && ChooseQop(Lookup(raw.params, "qop")) ? 2 + hash : 0;
        }
        default:
            return 0;
    }
}

}  // namespace

bool ParseChallenge(std::string_view value, CAuthChallenge& challenge) {
    challenge = CAuthChallenge();
    const RawChallenge* strongest = nullptr;
    int strongestLevel = 0;
    const std::vector<RawChallenge> challenges = CChallengeReader(value).ReadAll();
    for (const RawChallenge& raw : challenges) {
        if (const int level = Strength(raw); level > strongestLevel) {
            strongest = &raw;
            strongestLevel = level;
        }
    }
    if (strongest == nullptr) {
        return false;
    }
    const AuthParams& params = strongest->params;
    challenge.scheme = SchemeOf(strongest->scheme);
    challenge.realm = Lookup(params, "realm");
    challenge.domain = Lookup(params, "domain");
    challenge.nonce = Lookup(params, "nonce");
    challenge.opaque = Lookup(params, "opaque");
    challenge.stale = Lookup(params, "stale");
    challenge.algorithm = Lookup(params, "algorithm");
    challenge.qop = Lookup(params, "qop");
    return !challenge.realm.empty();
}

const EVP_MD* FindDigestHash(std::string_view algorithm) {
    const int index = DigestHashIndex(algorithm);
    return index < 0 ? nullptr : kDigestHashes[static_cast<std::size_t>(index)].hash();
}

bool IsSessionAlgorithm(std::string_view algorithm) {
    return algorithm.size() > kSessionSuffix.size() &&
           EqualsIgnoreCase(algorithm.substr(algorithm.size() - kSessionSuffix.size()),
                            kSessionSuffix);
}

std::optional<std::string> ChooseQop(std::string_view offered) {
    bool anyOffered = false;
    bool integrity = false;
    while (!offered.empty()) {
        const std::size_t comma = offered.find(',');
        const std::string_view option = TrimHeaderSpace(offered.substr(0, comma));
        offered = comma == std::string_view::npos ? std::string_view() : offered.substr(comma + 1);
        if (option.empty()) {
            continue;
        }
        anyOffered = true;
        if (EqualsIgnoreCase(option, "auth")) {
            return "auth";
        }
        integrity = integrity || EqualsIgnoreCase(option, "auth-int");
    }
    if (integrity) {
        return "auth-int";
    }
    return anyOffered ? std::nullopt : std::optional<std::string>(std::string());
}
