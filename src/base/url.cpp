#include "base/url.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <optional>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/path_segments.h"
#include "base/stream.h"

namespace {

struct SchemeEntry {
    std::string_view name;
    int defaultPort;
};

// Indexed by UrlScheme.
constexpr std::array<SchemeEntry, 8> kSchemes = {{
    {"file", 0},
    {"ftp", 21},
    {"http", 80},
    {"https", 443},
    {"gopher", 70},
    {"mailto", 0},
    {"news", 0},
    {"telnet", 0},
}};

constexpr std::string_view kMarks = "-_.!~*'()";
constexpr int kMaxPort = 65535;

// The component parts of a URL as they appear in its text, not yet escaped.
struct RawUrl {
    UrlScheme scheme = SchemeNone;
    bool hasAuthority = false;  // false for the opaque schemes mailto and news
    std::string_view user;
    std::string_view password;
    std::string_view host;
    int port = 0;
    std::string_view path;
    std::string_view query;
    std::string_view fragment;
};

// The same parts in escaped form, from which the printed form is built.
struct EscapedUrl {
    std::string user;
    std::string password;
    std::string host;
    std::string path;
    std::string query;
    std::string fragment;
};

bool IsAsciiAlpha(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlnum(unsigned char c) {
    return IsAsciiAlpha(c) || (c >= '0' && c <= '9');
}

bool IsEscapeAt(std::string_view text, std::size_t percent) {
    return percent + 2 < text.size() && IsHexDigit(text[percent + 1]) &&
           IsHexDigit(text[percent + 2]);
}

std::string_view KeptCharacters(UrlComponent component) {
    switch (component) {
        case UrlComponent::User:
        case UrlComponent::Password:
            return ";&=+$,";
        // A reserved character means something else escaped than as written
        // (";" starts a path parameter), so the sub-delimiters, ":" and "@"
        // go on the wire as the link has them.
        case UrlComponent::Path:
            return "/:@&=+$,;";
        case UrlComponent::Query:
            return ";:@&=+,$/?";
        case UrlComponent::Host:
        case UrlComponent::Fragment:
            break;
    }
    return {};
}

// Hand-wrapped markup puts tabs and line breaks inside a link, and its
// layout puts blanks around it; none of them is part of the address.
std::string CleanUrlText(std::string_view text) {
    const auto isControlOrSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && isControlOrSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isControlOrSpace(text.back())) {
        text.remove_suffix(1);
    }
    std::string cleaned(text);
    std::erase_if(cleaned, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
    return cleaned;
}

bool Contains(std::string_view set, unsigned char c) {
    // Not set.find: a call to memchr for each character of a URL.
    return std::find(set.begin(), set.end(), static_cast<char>(c)) != set.end();
}

// Every kept character is ASCII: bytes 0x80-0xFF are escaped in any component.
bool IsKept(unsigned char c, std::string_view extra) {
    return IsAsciiAlnum(c) || Contains(kMarks, c) || Contains(extra, c);
}

std::optional<UrlScheme> FindScheme(std::string_view name) {
    for (std::size_t i = 0; i < kSchemes.size(); ++i) {
        if (EqualsIgnoreCase(name, kSchemes[i].name)) {
            return static_cast<UrlScheme>(i);
        }
    }
    return std::nullopt;
}

// The port's leading decimal digits; 0 when there are none. A port beyond
// 65535 cannot be connected to, so it makes the URL invalid.
std::optional<int> ReadPort(std::string_view text) {
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        port = port * 10 + (c - '0');
        if (port > kMaxPort) {
            return std::nullopt;
        }
    }
    return port;
}

bool SplitAuthority(std::string_view authority, RawUrl& raw) {
    std::string_view hostPart = authority;
    // An "@" at the very start is part of the host, not an empty user.
    const std::size_t at = authority.find('@');
    if (at != std::string_view::npos && at >= 1) {
        const std::string_view userInfo = authority.substr(0, at);
        hostPart = authority.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        if (colon != std::string_view::npos && colon >= 1) {
            raw.user = userInfo.substr(0, colon);
            raw.password = userInfo.substr(colon + 1);
        } else {
            raw.user = userInfo;
        }
    }
    // An IPv6 literal holds colons of its own: the port's colon follows its "]".
    const std::size_t literalEnd =
        raw.hasAuthority && hostPart.starts_with('[') ? hostPart.find(']') : 0;
    if (literalEnd == std::string_view::npos) {
        return false;
    }
    const std::size_t colon = hostPart.find(':', std::max<std::size_t>(literalEnd, 1));
    raw.host = hostPart.substr(0, colon);
    if (colon != std::string_view::npos) {
        const std::optional<int> port = ReadPort(hostPart.substr(colon + 1));
        if (!port) {
            return false;
        }
        raw.port = *port;
    }
    return !raw.host.empty();
}

// Path, query and fragment of a hierarchical URL, starting at the end of its
// authority.
void SplitPathQueryFragment(std::string_view text, std::size_t pos, RawUrl& raw) {
    if (pos < text.size() && text[pos] == '/') {
        const std::size_t end = std::min(FindFirstOf(text, "?#", pos), text.size());
        raw.path = text.substr(pos, end - pos);
        pos = end;
    }
    if (pos < text.size() && text[pos] == '?') {
        const std::size_t end = std::min(text.find('#', pos), text.size());
        raw.query = text.substr(pos, end - pos);
        pos = end;
    }
    if (pos < text.size()) {
        raw.fragment = text.substr(pos);
    }
}

bool SplitUrl(std::string_view text, RawUrl& raw) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    const std::optional<UrlScheme> scheme = FindScheme(text.substr(0, colon));
    if (!scheme) {
        return false;
    }
    raw.scheme = *scheme;
    const std::string_view rest = text.substr(colon + 1);
    if (raw.scheme == SchemeMailto || raw.scheme == SchemeNews) {
        return !rest.empty() && SplitAuthority(rest, raw);
    }
    if (!rest.starts_with("//")) {
        return false;
    }
    raw.hasAuthority = true;
    const std::size_t start = colon + 3;
    // A "#" ends the authority too: http://h#top names host h, not "h#top".
    const std::size_t end = std::min(FindFirstOf(text, "/?#", start), text.size());
    if (end == start) {
        return false;
    }
    SplitPathQueryFragment(text, end, raw);
    return SplitAuthority(text.substr(start, end - start), raw);
}

// Scheme and host name the same server in any case, so the text is the
// same, and one list entry, for every spelling of them. Only letters change,
// so the views into text stay valid; the digits of an escape keep their case,
// as the printed form does.
void LowerSchemeAndHost(std::string& text, const RawUrl& raw) {
    const std::size_t schemeEnd = text.find(':');
    for (std::size_t i = 0; i < schemeEnd; ++i) {
        text[i] = ToLowerAscii(text[i]);
    }
    if (!raw.hasAuthority) {
        return;
    }
    const auto hostStart = static_cast<std::size_t>(raw.host.data() - text.data());
    const std::string_view host(raw.host);
    for (std::size_t i = 0; i < host.size(); ++i) {
        if (host[i] == '%' && IsEscapeAt(host, i)) {
            i += 2;
        } else {
            text[hostStart + i] = ToLowerAscii(host[i]);
        }
    }
}

// The decoded host becomes a folder name of the download tree and a DNS
// name, so it must not hold a separator, a control byte or a blank, nor be a
// dot segment.
bool IsSafeHost(std::string_view host) {
    if (host == "." || host == "..") {
        return false;
    }
    for (const char c : host) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '/' || c == '\\') {
            return false;
        }
    }
    return true;
}

// Backslashes count as separators and empty segments vanish. Dot segments are
// removed too, so that no decoded path (whose "%2E%2E" and "%2F" are plain
// ".." and "/" by now) can climb out of the folder that it is mapped to.
std::string NormalisePath(std::string path) {
    if (path.empty()) {
        return path;
    }
    std::string collapsed;
    collapsed.reserve(path.size());
    for (char c : path) {
        if (c == '\\') {
            c = '/';
        }
        if (c != '/' || collapsed.empty() || collapsed.back() != '/') {
            collapsed += c;
        }
    }
    std::string result = *RemoveDotSegments(collapsed, true);
    return result.empty() ? "/" : result;
}

// The IPv6 address in the brackets that start host, printed in its shortest
// form inside them; empty when host starts with none or they hold no address.
std::string NormalisedIpv6Literal(std::string_view host) {
    const std::size_t close = host.find(']');
    if (!host.starts_with('[') || close == std::string_view::npos) {
        return {};
    }
    in6_addr address{};
    char printed[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET6, std::string(host.substr(1, close - 1)).c_str(), &address) != 1 ||
        ::inet_ntop(AF_INET6, &address, printed, sizeof printed) == nullptr) {
        return {};
    }
    return "[" + std::string(printed) + "]";
}

// The literal stays as it is, so that the printed form connects; anything
// after its "]" (the local mirror's "[::1]_8080") is an ordinary host text.
std::string EscapeHost(const RawUrl& raw) {
    if (!raw.hasAuthority || !raw.host.starts_with('[')) {
        return CUrl::EscapeComponent(raw.host, UrlComponent::Host);
    }
    const std::string literal = NormalisedIpv6Literal(raw.host);
    return literal.empty()
               ? std::string()
               : literal + CUrl::EscapeComponent(raw.host.substr(raw.host.find(']') + 1),
                                                 UrlComponent::Host);
}

// Brackets and colons in a host come only from an IPv6 literal: an escaped
// "%5B%3A%3A1%5D" would otherwise take the literal's folder.
bool IsSafeServerHost(std::string_view host) {
    const std::size_t literalEnd = host.starts_with('[') ? host.find(']') + 1 : 0;
    return literalEnd != std::string_view::npos &&
           host.find_first_of("[]:", literalEnd) == std::string_view::npos;
}

EscapedUrl EscapeParts(const RawUrl& raw) {
    return {CUrl::EscapeComponent(raw.user, UrlComponent::User),
            CUrl::EscapeComponent(raw.password, UrlComponent::Password),
            EscapeHost(raw),
            CUrl::EscapeComponent(raw.path, UrlComponent::Path),
            CUrl::EscapeComponent(raw.query, UrlComponent::Query),
            CUrl::EscapeComponent(raw.fragment, UrlComponent::Fragment)};
}

// The explicit port is printed even when it is the default one, so that
// http://h:80/ and http://h/ stay distinct.
std::string PrintUrl(const RawUrl& raw, const EscapedUrl& escaped) {
    std::string url(kSchemes[raw.scheme].name);
    url += raw.hasAuthority ? "://" : ":";
    if (!escaped.user.empty() || !escaped.password.empty()) {
        url += escaped.user;
        if (raw.hasAuthority || !escaped.password.empty()) {
            url += ':';
            url += escaped.password;
        }
        url += '@';
    }
    url += escaped.host;
    if (raw.port != 0) {
        url += ':';
        url += std::to_string(raw.port);
    }
    url += escaped.path;
    url += escaped.query;
    url += escaped.fragment;
    return url;
}

// A reference such as "javascript:x" or "data:x" names another scheme: it is
// never a path relative to the base.
bool StartsWithScheme(std::string_view reference) {
    const std::size_t colon = reference.find(':');
    if (colon == std::string_view::npos || colon == 0 || !IsAsciiAlpha(reference[0])) {
        return false;
    }
    for (const char c : reference.substr(0, colon)) {
        if (!IsAsciiAlnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

// Joins base and reference; authorityStart is the index just after "://".
std::optional<std::string> CombineReference(std::string_view base, std::size_t authorityStart,
                                            std::string_view reference) {
    std::string combined;
    if (reference.starts_with("//")) {
        combined = base.substr(0, authorityStart - 2);
        combined += reference;
        return combined;
    }
    const std::size_t authorityEnd =
        std::min(FindFirstOf(base, "/?#", authorityStart), base.size());
    if (authorityEnd == authorityStart) {
        return std::nullopt;
    }
    // The base's query and fragment never take part: a "/" in a query is not
    // a folder, and a reference's own query or fragment replaces the base's.
    const std::size_t pathEnd = std::min(FindFirstOf(base, "?#", authorityEnd), base.size());
    const std::size_t fragmentStart = std::min(base.find('#', authorityEnd), base.size());
    if (reference.starts_with('/')) {
        combined = base.substr(0, authorityEnd);
    } else if (reference.starts_with('#')) {
        combined = base.substr(0, fragmentStart);
    } else if (reference.starts_with('?')) {
        combined = base.substr(0, pathEnd);
    } else {
        // Everything else, the empty reference included, is relative to the
        // base's folder.
        const std::string_view path = base.substr(authorityEnd, pathEnd - authorityEnd);
        const std::size_t lastSlash = path.rfind('/');
        if (lastSlash == std::string_view::npos) {
            combined = base.substr(0, authorityEnd);
            combined += '/';
        } else {
            combined = base.substr(0, authorityEnd + lastSlash + 1);
        }
    }
    combined += reference;
    return combined;
}

// Removes the dot segments of the path of an absolute URL text, leaving its
// query and fragment as they are. A ".." above the root stays at the root,
// as browsers take it: "../../img/x.png" from "/css/a.css" is "/img/x.png".
std::string RemoveUrlDotSegments(std::string_view text, std::size_t authorityStart) {
    const std::size_t pathStart = FindFirstOf(text, "/?#", authorityStart);
    if (pathStart == std::string_view::npos || text[pathStart] != '/') {
        return std::string(text);
    }
    const std::size_t pathEnd = std::min(FindFirstOf(text, "?#", pathStart), text.size());
    const std::string path = *RemoveDotSegments(text.substr(pathStart, pathEnd - pathStart), true);
    std::string result(text.substr(0, pathStart));
    result += path.empty() ? "/" : path;
    result += text.substr(pathEnd);
    return result;
}

}  // namespace

bool CUrl::Parse(std::string_view text) {
    Clear();
    std::string source = CleanUrlText(text);
    // A NUL byte could not be stored as a zero-terminated string, and a text
    // beyond the stored string limit could never be read back.
    if (source.empty() || source.size() > CStream::kMaxStringLength ||
        source.find('\0') != std::string::npos) {
        return false;
    }
    RawUrl raw;
    if (!SplitUrl(source, raw)) {
        return false;
    }
    LowerSchemeAndHost(source, raw);
    EscapedUrl escaped = EscapeParts(raw);
    // Decoding the escaped rather than the raw host keeps the decoded host
    // the same when the printed form is parsed again.
    std::string host = ToLowerAscii(UnescapeComponent(escaped.host));
    if (escaped.host.empty() || !IsSafeHost(host) ||
        (raw.hasAuthority && !IsSafeServerHost(host))) {
        return false;
    }
    m_scheme = raw.scheme;
    m_host = std::move(host);
    m_port = raw.port;
    m_user = UnescapeComponent(escaped.user);
    m_password = UnescapeComponent(escaped.password);
    m_path = NormalisePath(UnescapeComponent(escaped.path));
    m_query = UnescapeComponent(escaped.query);
    m_fragment = UnescapeComponent(escaped.fragment);
    m_url = PrintUrl(raw, escaped);
    m_escapedHost = std::move(escaped.host);
    m_escapedPath = std::move(escaped.path);
    m_escapedQuery = std::move(escaped.query);
    m_escapedFragment = std::move(escaped.fragment);
    // Last: raw holds views into it.
    m_sourceText = std::move(source);
    return true;
}

bool CUrl::ResolveRelative(std::string_view baseText, std::string_view reference) {
    Clear();
    const std::string base = CleanUrlText(baseText);
    const std::string cleanReference = CleanUrlText(reference);
    const std::size_t separator = base.find("://");
    if (separator == std::string::npos || StartsWithScheme(cleanReference)) {
        return false;
    }
    const std::size_t authorityStart = separator + 3;
    const std::optional<std::string> combined =
        CombineReference(base, authorityStart, cleanReference);
    if (!combined) {
        return false;
    }
    return Parse(RemoveUrlDotSegments(*combined, authorityStart));
}

void CUrl::Clear() {
    *this = CUrl();
}

std::string CUrl::GetSchemeName() const {
    if (m_scheme < 0 || static_cast<std::size_t>(m_scheme) >= kSchemes.size()) {
        return {};
    }
    return std::string(kSchemes[m_scheme].name);
}

int CUrl::GetDefaultPort() const {
    if (m_scheme < 0 || static_cast<std::size_t>(m_scheme) >= kSchemes.size()) {
        return 0;
    }
    return kSchemes[m_scheme].defaultPort;
}

std::string CUrl::GetFileName() const {
    const std::size_t slash = m_path.rfind('/');
    return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

std::string CUrl::GetFileTitle() const {
    std::string name = GetFileName();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

std::string CUrl::GetFileExtension() const {
    const std::string name = GetFileName();
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string CUrl::EscapeComponent(std::string_view text, UrlComponent component) {
    std::string escaped;
    escaped.reserve(text.size());
    std::size_t i = 0;
    if (!text.empty() &&
        (component == UrlComponent::Query || component == UrlComponent::Fragment)) {
        escaped += text[0];
        i = 1;
    }
    const std::string_view extra = KeptCharacters(component);
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && IsEscapeAt(text, i)) {
            escaped += text.substr(i, 3);
            i += 2;
        } else if (IsKept(c, extra)) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += kUpperHexDigits[c >> 4];
            escaped += kUpperHexDigits[c & 0x0F];
        }
    }
    return escaped;
}

std::string CUrl::UnescapeComponent(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
        } else if (IsEscapeAt(text, i)) {
            decoded +=
                static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            // A stray "%" keeps the (up to two) bytes after it as they are.
            const std::size_t kept = std::min<std::size_t>(2, text.size() - i - 1);
            decoded += text.substr(i, kept + 1);
            i += kept;
        }
    }
    return decoded;
}

void WriteUrl(CStream& stream, const CUrl& url) {
    stream << url.GetSourceText();
}

void ReadUrl(CStream& stream, CUrl& url) {
    std::string text;
    stream >> text;
    if (text.empty()) {
        url.Clear();
    } else if (!url.Parse(text)) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
}
