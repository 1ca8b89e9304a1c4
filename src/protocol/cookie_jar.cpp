#include "protocol/cookie_jar.h"

#include <arpa/inet.h>
#include <libpsl.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "base/ascii.h"
#include "base/url.h"
#include "protocol/http_date.h"

namespace {

constexpr std::string_view kNetscapeHeader = "# Netscape HTTP Cookie File\n";
// Curl and wget mark cookies that scripts may not read this way.
constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

bool IsAddress(std::string_view host) {
    const std::string text(host);
    unsigned char address[16];
    return inet_pton(AF_INET, text.c_str(), address) == 1 ||
           inet_pton(AF_INET6, text.c_str(), address) == 1;
}

// The list that Debian keeps current, else the one built into the library.
const psl_ctx_t* PublicSuffixes() {
    static const psl_ctx_t* const context = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest != nullptr ? latest : psl_builtin();
    }();
    return context;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
    return host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                              host[host.size() - domain.size() - 1] == '.' && !IsAddress(host));
}

// RFC 6265 section 5.1.4: the path up to its last "/", "/" at least.
std::string DefaultPath(const CUrl& url) {
    const std::string& path = url.GetEscapedPath();
    const std::size_t last = path.rfind('/');
    if (path.empty() || path[0] != '/' || last == 0 || last == std::string::npos) {
        return "/";
    }
    return path.substr(0, last);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (!requestPath.starts_with(cookiePath)) {
        return false;
    }
    return requestPath.size() == cookiePath.size() || cookiePath.ends_with('/') ||
           requestPath[cookiePath.size()] == '/';
}

std::string_view NextPart(std::string_view& text) {
    const std::size_t end = std::min(text.find(';'), text.size());
    const std::string_view part = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return part;
}

bool ParseInteger(std::string_view text, std::int64_t& value) {
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return failure == std::errc() && end == text.data() + text.size() && !text.empty();
}

struct Attributes {
    std::string domain;
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    // Max-Age wins over Expires.
    bool hasMaxAge = false;
    std::int64_t maxAge = 0;
    bool hasExpires = false;
    std::int64_t expires = 0;
};

void ReadAttribute(std::string_view part, Attributes& attributes) {
    const std::size_t equals = part.find('=');
    const std::string name = ToLowerAscii(TrimAscii(part.substr(0, equals)));
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : TrimAscii(part.substr(equals + 1));
    if (name == "domain" && !value.empty()) {
        attributes.domain = ToLowerAscii(value.front() == '.' ? value.substr(1) : value);
    } else if (name == "path" && !value.empty() && value.front() == '/') {
        attributes.path = std::string(value);
    } else if (name == "secure") {
        attributes.secure = true;
    } else if (name == "httponly") {
        attributes.httpOnly = true;
    } else if (name == "max-age") {
        attributes.hasMaxAge = ParseInteger(value, attributes.maxAge);
    } else if (name == "expires") {
        attributes.hasExpires = ParseHttpDate(value, attributes.expires);
    }
}

// The expiry time of a cookie whose attributes were read at now; -1 for one
// that is gone already.
std::int64_t ExpiryOf(const Attributes& attributes, std::int64_t now) {
    if (attributes.hasMaxAge) {
        return attributes.maxAge <= 0 ? -1 : now + attributes.maxAge;
    }
    if (attributes.hasExpires) {
        return attributes.expires <= now ? -1 : attributes.expires;
    }
    return 0;
}

// A field with one of these would break the line of a cookies.txt file.
bool FitsOneLine(const CCookieJar::Cookie& cookie) {
    const auto fits = [](const std::string& field) {
        return field.find_first_of("\t\r\n") == std::string::npos;
    };
    return fits(cookie.name) && fits(cookie.value) && fits(cookie.domain) && fits(cookie.path);
}

bool IsExpired(const CCookieJar::Cookie& cookie, std::int64_t now) {
    return cookie.expires != 0 && cookie.expires <= now;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

}  // namespace

bool IsCookieDomainAcceptable(std::string_view host, std::string_view domain) {
    const std::string lowerHost = ToLowerAscii(host);
    const std::string lowerDomain = ToLowerAscii(domain);
    if (lowerDomain.empty() || !DomainMatches(lowerHost, lowerDomain)) {
        return false;
    }
    if (lowerHost == lowerDomain) {
        return true;
    }
    return psl_is_cookie_domain_acceptable(PublicSuffixes(), lowerHost.c_str(),
                                           lowerDomain.c_str()) != 0;
}

void CCookieJar::Store(const CUrl& url, const std::vector<std::string>& setCookies,
                       std::int64_t now) {
    const std::string host = ToLowerAscii(url.GetHost());
    for (const std::string& line : setCookies) {
        std::string_view rest = line;
        const std::string_view pair = NextPart(rest);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        Cookie cookie;
        cookie.name = std::string(TrimAscii(pair.substr(0, equals)));
        cookie.value = std::string(TrimAscii(pair.substr(equals + 1)));
        if (cookie.name.empty()) {
            continue;
        }
        Attributes attributes;
        while (!rest.empty()) {
            ReadAttribute(NextPart(rest), attributes);
        }
        if (attributes.domain.empty() || attributes.domain == host) {
            cookie.domain = host;
        } else if (IsCookieDomainAcceptable(host, attributes.domain)) {
            cookie.domain = attributes.domain;
            cookie.hostOnly = false;
        } else {
            continue;
        }
        cookie.path = attributes.path.empty() ? DefaultPath(url) : attributes.path;
        cookie.secure = attributes.secure;
        cookie.httpOnly = attributes.httpOnly;
        cookie.expires = ExpiryOf(attributes, now);
        // A secure cookie set over plain HTTP could overwrite one of the site's.
        if (cookie.secure && url.GetScheme() != SchemeHttps) {
            continue;
        }
        Put(std::move(cookie), now);
    }
}

// A cookie replaces the one of the same name, domain and path; an expired
// one only removes it.
void CCookieJar::Put(Cookie cookie, std::int64_t now) {
    std::scoped_lock lock(m_lock);
    std::erase_if(m_cookies, [&](const Cookie& old) {
        return old.name == cookie.name && old.domain == cookie.domain && old.path == cookie.path;
    });
    if (cookie.expires != -1 && !IsExpired(cookie, now)) {
        m_cookies.push_back(std::move(cookie));
    }
}

std::string CCookieJar::HeaderFor(const CUrl& url, std::int64_t now) const {
    const std::string host = ToLowerAscii(url.GetHost());
    const std::string path = url.GetEscapedPath().empty() ? "/" : url.GetEscapedPath();
    std::vector<const Cookie*> matches;
    std::scoped_lock lock(m_lock);
    for (const Cookie& cookie : m_cookies) {
        const bool hostMatches =
            cookie.hostOnly ? host == cookie.domain : DomainMatches(host, cookie.domain);
        if (hostMatches && PathMatches(path, cookie.path) && !IsExpired(cookie, now) &&
            (!cookie.secure || url.GetScheme() == SchemeHttps)) {
            matches.push_back(&cookie);
        }
    }
    // Longer paths first; stable, so older cookies stay ahead of newer ones.
    std::stable_sort(matches.begin(), matches.end(), [](const Cookie* a, const Cookie* b) {
        return a->path.size() > b->path.size();
    });
    std::string header;
    for (const Cookie* cookie : matches) {
        header += (header.empty() ? "" : "; ") + cookie->name + "=" + cookie->value;
    }
    return header;
}

bool CCookieJar::LoadNetscapeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return LoadNetscapeText(text.str());
}

// domain, include-subdomains flag, path, secure flag, expiry, name, value.
bool CCookieJar::LoadNetscapeText(std::string_view text) {
    std::vector<Cookie> loaded;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        Cookie cookie;
        if (line.starts_with(kHttpOnlyPrefix)) {
            cookie.httpOnly = true;
            line.remove_prefix(kHttpOnlyPrefix.size());
        }
        const std::vector<std::string_view> fields = SplitTabs(line);
        if (line.starts_with('#') || fields.size() != 7 ||
            !ParseInteger(fields[4], cookie.expires) || fields[0].empty() || fields[5].empty()) {
            continue;
        }
        cookie.domain = ToLowerAscii(fields[0].front() == '.' ? fields[0].substr(1) : fields[0]);
        cookie.hostOnly = !EqualsIgnoreCase(fields[1], "TRUE");
        cookie.path = fields[2].empty() ? "/" : std::string(fields[2]);
        cookie.secure = EqualsIgnoreCase(fields[3], "TRUE");
        cookie.name = std::string(fields[5]);
        cookie.value = std::string(fields[6]);
        if (FitsOneLine(cookie)) {
            loaded.push_back(std::move(cookie));
        }
    }
    for (Cookie& cookie : loaded) {
        // The file's own time of expiry decides; 0 is a session cookie.
        Put(std::move(cookie), 0);
    }
    return true;
}

bool CCookieJar::SaveNetscapeFile(const std::string& path, std::int64_t now) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << FormatNetscapeText(now);
    file.close();
    return static_cast<bool>(file);
}

std::string CCookieJar::FormatNetscapeText(std::int64_t now) const {
    std::string text(kNetscapeHeader);
    for (const Cookie& cookie : GetCookies()) {
        if (IsExpired(cookie, now) || !FitsOneLine(cookie)) {
            continue;
        }
        text += std::string(cookie.httpOnly ? kHttpOnlyPrefix : "") + (cookie.hostOnly ? "" : ".") +
                cookie.domain + "\t" + (cookie.hostOnly ? "FALSE" : "TRUE") + "\t" + cookie.path +
                "\t" + (cookie.secure ? "TRUE" : "FALSE") + "\t" + std::to_string(cookie.expires) +
                "\t" + cookie.name + "\t" + cookie.value + "\n";
    }
    return text;
}

std::vector<CCookieJar::Cookie> CCookieJar::GetCookies() const {
    std::scoped_lock lock(m_lock);
    return m_cookies;
}

void CCookieJar::Clear() {
    std::scoped_lock lock(m_lock);
    m_cookies.clear();
}
