// The header set of one HTTP message over a fixed table of 48 header names.
// The same class holds the request headers the client writes and the response
// headers it reads; a header outside the table can be neither received nor sent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The slot of a header in every header set; also the order in which request
// headers are written.
enum HeaderIndex : int {
    HEADER_CACHE_CONTROL = 0,
    HEADER_CONNECTION = 1,
    HEADER_DATE = 2,
    HEADER_PRAGMA = 3,
    HEADER_TRAILER = 4,
    HEADER_TRANSFER_ENCODING = 5,
    HEADER_UPGRADE = 6,
    HEADER_VIA = 7,
    HEADER_WARNING = 8,
    HEADER_ACCEPT = 9,
    HEADER_ACCEPT_CHARSET = 10,
    HEADER_ACCEPT_ENCODING = 11,
    HEADER_ACCEPT_LANGUAGE = 12,
    HEADER_AUTHORIZATION = 13,
    HEADER_EXPECT = 14,
    HEADER_FROM = 15,
    HEADER_HOST = 16,
    HEADER_IF_MATCH = 17,
    HEADER_IF_MODIFIED_SINCE = 18,
    HEADER_IF_NONE_MATCH = 19,
    HEADER_IF_RANGE = 20,
    HEADER_IF_UNMODIFIED_SINCE = 21,
    HEADER_MAX_FORWARDS = 22,
    HEADER_PROXY_AUTHORIZATION = 23,
    HEADER_RANGE = 24,
    HEADER_REFERER = 25,
    HEADER_TE = 26,
    HEADER_USER_AGENT = 27,
    HEADER_ACCEPT_RANGES = 28,
    HEADER_AGE = 29,
    HEADER_ETAG = 30,
    HEADER_LOCATION = 31,
    HEADER_PROXY_AUTHENTICATE = 32,
    HEADER_RETRY_AFTER = 33,
    HEADER_SERVER = 34,
    HEADER_VARY = 35,
    HEADER_WWW_AUTHENTICATE = 36,
    HEADER_AUTHENTICATION_INFO = 37,
    HEADER_ALLOW = 38,
    HEADER_CONTENT_ENCODING = 39,
    HEADER_CONTENT_LANGUAGE = 40,
    HEADER_CONTENT_LENGTH = 41,
    HEADER_CONTENT_LOCATION = 42,
    HEADER_CONTENT_MD5 = 43,
    HEADER_CONTENT_RANGE = 44,
    HEADER_CONTENT_TYPE = 45,
    HEADER_EXPIRES = 46,
    HEADER_LAST_MODIFIED = 47,
};

constexpr int kHeaderCount = 48;

// The value of "Transfer-Encoding", compared without regard to case.
enum TransferCoding : int {
    TRANSFER_CODING_OTHER = 0,
    TRANSFER_CODING_CHUNKED = 1,
    TRANSFER_CODING_IDENTITY = 2,
    TRANSFER_CODING_GZIP = 3,
    TRANSFER_CODING_COMPRESS = 4,
    TRANSFER_CODING_DEFLATE = 5,
};

// The media type of "Content-Type" without its parameters.
enum ContentTypeCode : int {
    CONTENT_TYPE_OTHER = 0,
    CONTENT_TYPE_TEXT_CSS = 1,
    CONTENT_TYPE_TEXT_PLAIN = 2,
    CONTENT_TYPE_TEXT_HTML = 3,
    CONTENT_TYPE_TEXT_XML = 4,
    CONTENT_TYPE_OCTET_STREAM = 5,
    // Any of the names browsers take for JavaScript (text/javascript,
    // application/x-javascript, text/ecmascript and the like).
    CONTENT_TYPE_JAVASCRIPT = 6,
};

// Whether a MIME type essence (no parameters) is one of the names browsers
// run as JavaScript; the case of the letters does not matter.
bool IsJavaScriptMimeType(std::string_view essence);

struct CAuthChallenge;
struct CAuthCredentials;

enum RangeKind : int {
    RANGE_NONE = 0,
    RANGE_FROM_OFFSET = 1,  // from an offset to the end
    RANGE_LAST_BYTES = 2,   // the last n bytes
    RANGE_FROM_TO = 3,      // from an offset to an offset, both included
};

// The table name of a header; throws std::invalid_argument outside 0..47.
const char* GetHeaderName(int index);
// The table index of a header name in any case; -1 for a name outside it.
int FindHeaderIndex(std::string_view name);

class CHttpHeaders {
public:
    void ClearAll();
    bool HasAnyHeader() const;

    // Replaces every value with those of a received block (the text after the
    // status line, lines ending in CR LF). Unknown names and lines without a
    // name are ignored; a repeated header keeps its last value, but for
    // Content-Length and the two challenge headers, whose lines are joined
    // into a list with ",".
    void ParseHeaderBlock(std::string_view text);
    // "Name: value\r\n" for every non-empty value, in table order.
    std::string FormatHeaderBlock() const;

    // Both throw std::invalid_argument for an index outside 0..47.
    const std::string& GetValue(int index) const;
    void SetValue(int index, std::string value);

    // "host:port", or the host alone for port 0; an empty host changes nothing.
    void SetHost(const std::string& host, int port);
    void SetRange(std::int32_t from, std::int32_t to, RangeKind kind);
    void SetConnectionClose(bool close);
    void SetUserAgent(const std::string& text);
    // Credentials without a scheme leave the header unchanged.
    void SetAuthorization(const CAuthCredentials& credentials);
    void SetProxyAuthorization(const CAuthCredentials& credentials);

    // Only the exact, case-sensitive value "close" counts.
    bool IsConnectionClose() const;
    bool GetTransferCoding(TransferCoding& coding) const;
    // False when absent, not digits alone, beyond 2^31 - 1, or a list (of
    // repeated lines or commas) whose members differ; "10, 10" is 10.
    bool GetContentLength(std::int32_t& length) const;
    const std::string& GetLocation() const;
    // "bytes first-last/total" with first <= last; a total of "*" gives 0.
    bool GetContentRange(std::int32_t& first, std::int32_t& last, std::int32_t& total) const;
    bool GetContentType(ContentTypeCode& code) const;
    // The "charset" parameter of "Content-Type", unquoted, as the server
    // wrote it; empty when there is none.
    std::string GetCharset() const;
    // Seconds since 1970 UTC; false when absent or not an HTTP date.
    bool GetLastModified(std::int64_t& time) const;
    // "Retry-After" as seconds from now (seconds since 1970 UTC), whether
    // the server gave a delay or a date; a date past gives 0. False when
    // absent or neither.
    bool GetRetryAfter(std::int64_t now, std::int64_t& seconds) const;
    // The parsed "WWW-Authenticate" or "Proxy-Authenticate" challenge; see ParseChallenge.
    bool GetWwwChallenge(CAuthChallenge& challenge) const;
    bool GetProxyChallenge(CAuthChallenge& challenge) const;

    // Two response headers outside the table that the crawl obeys: every
    // "Set-Cookie" line, and the "X-Robots-Tag" lines joined with ",".
    const std::vector<std::string>& GetSetCookies() const { return m_setCookies; }
    const std::string& GetRobotsTag() const { return m_robotsTag; }
    // A request line outside the table ("Cookie", the user's own headers),
    // written after the table's lines in the order added.
    void AddLine(std::string_view name, std::string_view value);

private:
    void StoreLine(std::string_view line);
    void StoreExtensionLine(std::string_view name, std::string value);

    std::array<std::string, kHeaderCount> m_values;
    std::vector<std::string> m_setCookies;
    std::string m_robotsTag;
    std::string m_extraLines;
};
