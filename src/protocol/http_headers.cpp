#include "protocol/http_headers.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/ascii.h"
#include "protocol/auth_challenge.h"
#include "protocol/auth_credentials.h"
#include "protocol/header_text.h"
#include "protocol/http_date.h"

namespace {

constexpr std::array<const char*, kHeaderCount> kHeaderNames = {
    "Cache-Control",
    "Connection",
    "Date",
    "Pragma",
    "Trailer",
    "Transfer-Encoding",
    "Upgrade",
    "Via",
    "Warning",
    "Accept",
    "Accept-Charset",
    "Accept-Encoding",
    "Accept-Language",
    "Authorization",
    "Expect",
    "From",
    "Host",
    "If-Match",
    "If-Modified-Since",
    "If-None-Match",
    "If-Range",
    "If-Unmodified-Since",
    "Max-Forwards",
    "Proxy-Authorization",
    "Range",
    "Referer",
    "TE",
    "User-Agent",
    "Accept-Ranges",
    "Age",
    "ETag",
    "Location",
    "Proxy-Authenticate",
    "Retry-After",
    "Server",
    "Vary",
    "WWW-Authenticate",
    "Authentication-Info",
    "Allow",
    "Content-Encoding",
    "Content-Language",
    "Content-Length",
    "Content-Location",
    "Content-MD5",
    "Content-Range",
    "Content-Type",
    "Expires",
    "Last-Modified",
};

// Indexed by the TransferCoding and ContentTypeCode values, 0 standing for "other".
constexpr std::array<const char*, 6> kTransferCodings = {
    "", "chunked", "identity", "gzip", "compress", "deflate",
};
constexpr std::array<const char*, 6> kContentTypes = {
    "", "text/css", "text/plain", "text/html", "text/xml", "application/octet-stream",
};
// The JavaScript MIME type essences that browsers run as scripts.
constexpr std::array<const char*, 17> kJavaScriptTypes = {
    "",
    "text/javascript",
    "application/javascript",
    "application/x-javascript",
    "application/ecmascript",
    "application/x-ecmascript",
    "text/ecmascript",
    "text/x-ecmascript",
    "text/x-javascript",
    "text/jscript",
    "text/livescript",
    "text/javascript1.0",
    "text/javascript1.1",
    "text/javascript1.2",
    "text/javascript1.3",
    "text/javascript1.4",
    "text/javascript1.5",
};

int CheckedIndex(int index) {
    if (index < 0 || index >= kHeaderCount) {
        throw std::invalid_argument("header index out of range");
    }
    return index;
}

int FindHeader(std::string_view name) {
    for (int i = 0; i < kHeaderCount; ++i) {
        if (EqualsIgnoreCase(name, kHeaderNames[i])) {
            return i;
        }
    }
    return -1;
}

template <std::size_t N>
int FindToken(const std::array<const char*, N>& table, std::string_view value) {
    for (std::size_t i = 1; i < N; ++i) {
        if (EqualsIgnoreCase(value, table[i])) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

// The total of a content range: "*" or any text without digits stands for an
// unknown total (0); a number too large for 32 bits makes the range unusable.
bool ReadRangeTotal(std::string_view text, std::int32_t& total) {
    const std::string_view trimmed = TrimHeaderSpace(text);
    if (trimmed.empty() || trimmed.front() < '0' || trimmed.front() > '9') {
        total = 0;
        return true;
    }
    const auto value = ReadDecimal(trimmed);
    if (!value) {
        return false;
    }
    total = *value;
    return true;
}

// One member of a Content-Length list: digits alone, white space around
// them allowed. "12abc" or "1 2" could be read as another length elsewhere.
std::optional<std::int32_t> ReadLengthValue(std::string_view text) {
    const std::string_view digits = TrimHeaderSpace(text);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return ReadDecimal(digits);
}

bool IsJoinedList(int index) {
    return index == HEADER_CONTENT_LENGTH || index == HEADER_WWW_AUTHENTICATE ||
           index == HEADER_PROXY_AUTHENTICATE;
}

}  // namespace

const char* GetHeaderName(int index) {
    return kHeaderNames[CheckedIndex(index)];
}

int FindHeaderIndex(std::string_view name) {
    return FindHeader(name);
}

void CHttpHeaders::ClearAll() {
    for (std::string& value : m_values) {
        value.clear();
    }
    m_setCookies.clear();
    m_robotsTag.clear();
    m_extraLines.clear();
}

bool CHttpHeaders::HasAnyHeader() const {
    return std::any_of(m_values.begin(), m_values.end(),
                       [](const std::string& value) { return !value.empty(); });
}

void CHttpHeaders::ParseHeaderBlock(std::string_view text) {
    ClearAll();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        // The blank line ends the block; a last line without CR LF is incomplete.
        if (end == std::string_view::npos || end == start) {
            return;
        }
        StoreLine(text.substr(start, end - start));
        start = end + 2;
    }
}

void CHttpHeaders::StoreLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return;
    }
    const std::string_view name = line.substr(0, colon);
    std::string value(TrimHeaderSpace(line.substr(colon + 1)));
    const int index = FindHeader(name);
    if (index < 0) {
        StoreExtensionLine(name, std::move(value));
        return;
    }
    // Two lengths must not become one by the last of them winning, and a
    // server may offer its challenges on lines of their own: such lines are
    // kept as the list that RFC 9110 makes of repeated lines, for the reader
    // of the value to judge.
    if (IsJoinedList(index) && !m_values[index].empty()) {
        m_values[index] += "," + value;
    } else {
        m_values[index] = std::move(value);
    }
}

void CHttpHeaders::StoreExtensionLine(std::string_view name, std::string value) {
    if (EqualsIgnoreCase(name, "Set-Cookie")) {
        m_setCookies.push_back(std::move(value));
    } else if (EqualsIgnoreCase(name, "X-Robots-Tag")) {
        m_robotsTag += m_robotsTag.empty() ? value : "," + value;
    }
}

std::string CHttpHeaders::FormatHeaderBlock() const {
    std::string block;
    for (int i = 0; i < kHeaderCount; ++i) {
        if (!m_values[i].empty()) {
            block.append(kHeaderNames[i]).append(": ").append(m_values[i]).append("\r\n");
        }
    }
    return block + m_extraLines;
}

// Names and values come from the user and from cookies that servers set: a
// CR or LF in either would add lines of its own to the request.
void CHttpHeaders::AddLine(std::string_view name, std::string_view value) {
    const auto unsafe = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
    if (name.empty() || value.empty() || std::any_of(name.begin(), name.end(), unsafe) ||
        std::any_of(value.begin(), value.end(), unsafe)) {
        return;
    }
    m_extraLines.append(name).append(": ").append(value).append("\r\n");
}

const std::string& CHttpHeaders::GetValue(int index) const {
    return m_values[CheckedIndex(index)];
}

void CHttpHeaders::SetValue(int index, std::string value) {
    m_values[CheckedIndex(index)] = std::move(value);
}

void CHttpHeaders::SetHost(const std::string& host, int port) {
    if (host.empty()) {
        return;
    }
    // A decoded host comes from a link on some page; a CR or LF in it would
    // let that page add lines of its own to the request.
    std::string value;
    std::copy_if(host.begin(), host.end(), std::back_inserter(value),
                 [](char c) { return c != '\r' && c != '\n'; });
    if (port != 0) {
        value += ':' + std::to_string(port);
    }
    m_values[HEADER_HOST] = std::move(value);
}

void CHttpHeaders::SetRange(std::int32_t from, std::int32_t to, RangeKind kind) {
    std::string& value = m_values[HEADER_RANGE];
    switch (kind) {
        case RANGE_FROM_OFFSET:
            value = "bytes=" + std::to_string(from) + "-";
            break;
        case RANGE_LAST_BYTES:
            value = "bytes=-" + std::to_string(to);
            break;
        case RANGE_FROM_TO:
            value = "bytes=" + std::to_string(from) + "-" + std::to_string(to);
            break;
        default:
            break;
    }
}

void CHttpHeaders::SetConnectionClose(bool close) {
    m_values[HEADER_CONNECTION] = close ? "close" : "";
}

void CHttpHeaders::SetUserAgent(const std::string& text) {
    m_values[HEADER_USER_AGENT] = text;
}

void CHttpHeaders::SetAuthorization(const CAuthCredentials& credentials) {
    if (std::string value = FormatCredentials(credentials); !value.empty()) {
        m_values[HEADER_AUTHORIZATION] = std::move(value);
    }
}

void CHttpHeaders::SetProxyAuthorization(const CAuthCredentials& credentials) {
    if (std::string value = FormatCredentials(credentials); !value.empty()) {
        m_values[HEADER_PROXY_AUTHORIZATION] = std::move(value);
    }
}

bool CHttpHeaders::IsConnectionClose() const {
    return m_values[HEADER_CONNECTION] == "close";
}

bool CHttpHeaders::GetTransferCoding(TransferCoding& coding) const {
    const std::string& value = m_values[HEADER_TRANSFER_ENCODING];
    if (value.empty()) {
        return false;
    }
    coding = static_cast<TransferCoding>(FindToken(kTransferCodings, value));
    return true;
}

bool CHttpHeaders::GetContentLength(std::int32_t& length) const {
    std::optional<std::int32_t> agreed;
    std::string_view rest = m_values[HEADER_CONTENT_LENGTH];
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::optional<std::int32_t> value = ReadLengthValue(rest.substr(0, comma));
        if (!value || (agreed && *agreed != *value)) {
            return false;
        }
        agreed = value;
        if (comma == std::string_view::npos) {
            length = *agreed;
            return true;
        }
        rest.remove_prefix(comma + 1);
    }
}

const std::string& CHttpHeaders::GetLocation() const {
    return m_values[HEADER_LOCATION];
}

bool CHttpHeaders::GetContentRange(std::int32_t& first, std::int32_t& last,
                                   std::int32_t& total) const {
    const std::string_view value = m_values[HEADER_CONTENT_RANGE];
    const std::size_t unit = value.find("bytes");
    if (unit == std::string_view::npos) {
        return false;
    }
    const std::size_t numberStart = unit + 5;
    const std::size_t dash = value.find('-', numberStart);
    if (dash == std::string_view::npos || dash == numberStart) {
        return false;
    }
    const std::size_t slash = value.find('/', dash + 1);
    if (slash == std::string_view::npos || slash == dash + 1) {
        return false;
    }
    const auto from = ReadDecimal(value.substr(numberStart, dash - numberStart));
    const auto to = ReadDecimal(value.substr(dash + 1, slash - dash - 1));
    std::int32_t size = 0;
    if (!from || !to || *to < *from || !ReadRangeTotal(value.substr(slash + 1), size)) {
        return false;
    }
    first = *from;
    last = *to;
    total = size;
    return true;
}

bool CHttpHeaders::GetContentType(ContentTypeCode& code) const {
    const std::string_view value = m_values[HEADER_CONTENT_TYPE];
    if (value.empty()) {
        return false;
    }
    // The type itself is not trimmed: "text/html ;charset=x" is not text/html.
    const std::string_view type = value.substr(0, value.find(';'));
    code = static_cast<ContentTypeCode>(FindToken(kContentTypes, type));
    if (code == CONTENT_TYPE_OTHER && IsJavaScriptMimeType(type)) {
        code = CONTENT_TYPE_JAVASCRIPT;
    }
    return true;
}

// RFC 9110 section 8.3.1: parameters follow the type, each "; name=value"
// with a token or a quoted string as value, so a ";" inside quotes ends none.
std::string CHttpHeaders::GetCharset() const {
    std::string_view rest = m_values[HEADER_CONTENT_TYPE];
    for (std::size_t semicolon = rest.find(';'); semicolon != std::string_view::npos;
         semicolon = rest.find(';')) {
        rest = TrimHeaderSpace(rest.substr(semicolon + 1));
        const std::size_t equals = rest.find('=');
        if (equals == std::string_view::npos || equals > rest.find(';')) {
            continue;  // a parameter without a value
        }
        const std::string_view name = TrimHeaderSpace(rest.substr(0, equals));
        rest = TrimHeaderSpace(rest.substr(equals + 1));
        std::string value;
        if (rest.starts_with('"')) {
            std::size_t at = 1;
            for (; at < rest.size() && rest[at] != '"'; ++at) {
                if (rest[at] == '\\' && at + 1 < rest.size()) {
                    ++at;
                }
                value += rest[at];
            }
            rest = rest.substr(std::min(at + 1, rest.size()));
        } else {
            value = TrimHeaderSpace(rest.substr(0, rest.find(';')));
        }
        if (EqualsIgnoreCase(name, "charset")) {
            return value;
        }
    }
    return {};
}

bool CHttpHeaders::GetLastModified(std::int64_t& time) const {
    const std::string& value = m_values[HEADER_LAST_MODIFIED];
    return !value.empty() && ParseHttpDate(value, time);
}

bool CHttpHeaders::GetRetryAfter(std::int64_t now, std::int64_t& seconds) const {
    const std::string_view value = TrimHeaderSpace(m_values[HEADER_RETRY_AFTER]);
    if (value.empty()) {
        return false;
    }
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Any delay beyond a day is as good as a day to the caller.
        seconds = value.size() > 6 ? 86400 : std::stoll(std::string(value));
        return true;
    }
    std::int64_t when = 0;
    if (!ParseHttpDate(value, when)) {
        return false;
    }
    seconds = std::max<std::int64_t>(when - now, 0);
    return true;
}

bool CHttpHeaders::GetWwwChallenge(CAuthChallenge& challenge) const {
    return ParseChallenge(m_values[HEADER_WWW_AUTHENTICATE], challenge);
}

bool CHttpHeaders::GetProxyChallenge(CAuthChallenge& challenge) const {
    return ParseChallenge(m_values[HEADER_PROXY_AUTHENTICATE], challenge);
}

bool IsJavaScriptMimeType(std::string_view essence) {
    return FindToken(kJavaScriptTypes, essence) != 0;
}
