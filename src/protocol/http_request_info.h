// What a worker hands to the HTTP client before a request.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/url.h"
#include "net/socket_address.h"
#include "protocol/http_headers.h"

struct CHttpRequestInfo {
    CUrl url;
    // Empty user and password: the site gets no credentials. They are for
    // the server of url only, never for one that a redirect leads to.
    std::string user;
    std::string password;
    std::string userAgent;
    // The user's own header lines ("Name", "value"); like the credentials,
    // for the server of url only. A name of the client's table replaces
    // the value that the client would send.
    std::vector<std::pair<std::string, std::string>> siteHeaders;
    // RANGE_NONE sends no "Range" header; rangeTo is the last byte for
    // RANGE_FROM_TO and the suffix length for RANGE_LAST_BYTES.
    RangeKind rangeKind = RANGE_NONE;
    std::int32_t rangeFrom = 0;
    std::int32_t rangeTo = 0;
    // Seconds since 1970 UTC that a GET sends as "If-Modified-Since"; -1
    // sends none. A 304 answer then ends the request without a body.
    std::int64_t ifModifiedSince = -1;
    // Used only with a host and a non-zero port.
    CSocketAddress proxy;
    std::string proxyUser;
    std::string proxyPassword;

    void Reset() { *this = CHttpRequestInfo(); }
    void SetUrl(const CUrl& target, const std::string& siteUser, const std::string& sitePassword);
    void SetUserAgent(const std::string& agent) { userAgent = agent; }
    void SetRange(std::int32_t from, std::int32_t to, RangeKind kind);
    void SetProxy(const CSocketAddress& address, const std::string& addressUser,
                  const std::string& addressPassword);
    bool UsesProxy() const { return !proxy.GetHost().empty() && proxy.GetPort() != 0; }
};

// The same scheme, host (in any case) and port, a missing port being the
// scheme's default.
bool IsSameServer(const CUrl& first, const CUrl& second);
