// The cookies of one crawl (RFC 6265): kept from the servers' "Set-Cookie"
// lines and sent back to the requests whose host, path and scheme they
// match, never to another site and never for a whole registry such as
// "co.uk". The Netscape cookies.txt format that browsers export loads and
// saves them. Every worker's clients share one jar, so its operations lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CUrl;

class CCookieJar {
public:
    struct Cookie {
        std::string name;
        std::string value;
        // Lower case, without a leading dot.
        std::string domain;
        // Sent only to the host that set it, not to its subdomains.
        bool hostOnly = true;
        std::string path = "/";
        bool secure = false;
        bool httpOnly = false;
        // Seconds since 1970 UTC; 0 for a cookie that lasts as long as the crawl.
        std::int64_t expires = 0;
    };

    // The "Set-Cookie" values of an answer from url, at time now (seconds
    // since 1970 UTC). Those that url may not set are dropped.
    void Store(const CUrl& url, const std::vector<std::string>& setCookies, std::int64_t now);
    // The "Cookie" value for a request to url: "a=1; b=2", longer paths
    // first; empty when no cookie matches.
    std::string HeaderFor(const CUrl& url, std::int64_t now) const;

    // Adds the cookies of a cookies.txt file; false when it cannot be read.
    // Lines that are not cookies are skipped, as browsers write comments.
    bool LoadNetscapeFile(const std::string& path);
    bool LoadNetscapeText(std::string_view text);
    // Every cookie that has not expired, session cookies included.
    bool SaveNetscapeFile(const std::string& path, std::int64_t now) const;
    std::string FormatNetscapeText(std::int64_t now) const;

    std::vector<Cookie> GetCookies() const;
    void Clear();

private:
    void Put(Cookie cookie, std::int64_t now);

    mutable std::mutex m_lock;
    std::vector<Cookie> m_cookies;
};

// Whether a cookie of domain may be set by host: the host itself, or a
// domain above it that is no public suffix; never for an address.
bool IsCookieDomainAcceptable(std::string_view host, std::string_view domain);
