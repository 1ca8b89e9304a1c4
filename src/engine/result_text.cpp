#include "engine/result_text.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/download_task.h"
#include "engine/filter_list.h"

namespace {

std::string FormatCode(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

const char* EngineMessage(std::uint32_t code) {
    switch (code) {
        case ERR_ATTEMPT_INTERRUPTED:
            return "The download was interrupted.";
        case ERR_PAGE_NOT_PARSED:
            return "The page was saved, but its links could not be read.";
        case ERR_NOT_MODIFIED:
            return "Not changed since the last download.";
        case ERR_UNSAFE_LOCAL_PATH:
            return "A symbolic link or special file stands where the file belongs in the "
                   "download folder; nothing was written.";
        case ERR_PAGE_KEPT_AS_SERVED:
            return "The page was kept as served: its links were not made local.";
        // The system's number, which strerror would read as EFAULT.
        case ERR_NOT_ENOUGH_MEMORY:
            return "Not enough memory.";
        default:
            return nullptr;
    }
}

const char* ReasonPhrase(int httpStatus) {
    switch (httpStatus) {
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 410:
            return "Gone";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "";
    }
}

// The causes of failures that the server's answer does not tell.
const char* CauseOf(std::uint32_t code) {
    switch (code) {
        case ERR_HOST_NOT_FOUND:
            return "the host name does not exist";
        case ERR_SOCKET_DNS:
            return "the host name could not be looked up";
        case ERR_SOCKET_CONNECT:
            return "the server refused the connection or cannot be reached";
        case ERR_CONNECT_TIMEOUT:
            return "no connection within the connect time-out";
        case ERR_SOCKET_TIMEOUT:
            return "no answer within the request time-out";
        case ERR_SOCKET_REMOTE_CLOSED:
        case ERR_SOCKET_RECEIVE:
        case ERR_SSL_RECEIVE:
            return "the server closed the connection";
        case ERR_SSL_CONNECT:
            return "the secure connection could not be set up";
        case ERR_SSL_VERIFY:
            return "the server's certificate is not trusted";
        case ERR_HTTP_HEADER:
        case ERR_HTTP_STATUS:
            return "the server's answer is malformed";
        case ERR_HTTP_REDIRECT_LOOP:
            return "the server redirects in a loop";
        case ERR_HTTP_REDIRECT_PROTOCOL:
            return "redirected to a scheme that is not downloaded";
        case ERR_CLIENT_RULE:
            return "left out by the filters";
        case ERR_FILE_STREAM_OPEN:
        case ERR_FILE_STREAM_WRITE:
        case ERR_FILE_STREAM_RESIZE:
            return "the local file could not be written";
        default:
            return nullptr;
    }
}

}  // namespace

std::string DescribeCause(std::uint32_t code, int httpStatus, const std::string& reason) {
    const bool serverAnswered = (code == ERR_HTTP_CLIENT_ERROR || code == ERR_HTTP_SERVER_ERROR ||
                                 code == ERR_REPLY_NEGATIVE) &&
                                httpStatus >= 300;
    if (serverAnswered) {
        return DescribeStatusLine(httpStatus);
    }
    if (code == ERR_SSL_VERIFY && !reason.empty()) {
        return "certificate not trusted: " + reason;
    }
    if (const char* cause = CauseOf(code)) {
        return cause;
    }
    if (code != ERR_SUCCESS && code < 0x20000000 && code != ERR_NOT_ENOUGH_MEMORY) {
        return std::strerror(static_cast<int>(code));
    }
    // What the code's own message says, without the code.
    const std::string described = DescribeResult(code);
    const std::size_t colon = described.find(": ");
    return colon == std::string::npos ? described : described.substr(colon + 2);
}

std::string DescribeFilterGroups(const CFilterList& filters) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < filters.GetCount(); ++i) {
        if (filters.GetAt(i).IsEnabled()) {
            names.push_back(filters.GetAt(i).GetName());
        }
    }
    if (names.empty()) {
        return {};
    }
    std::string text = names.front();
    for (std::size_t i = 1; i < names.size(); ++i) {
        text += (i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text + " only";
}

std::string DescribeResult(std::uint32_t code) {
    const char* message = EngineMessage(code);
    if (message == nullptr) {
        message = GetResultMessage(code);
    }
    if (*message == '\0' && code < 0x20000000) {
        message = std::strerror(static_cast<int>(code));
    }
    return FormatCode(code) + (*message != '\0' ? std::string(": ") + message : std::string());
}

std::string DescribeStatusLine(int httpStatus) {
    if (httpStatus < 300) {
        return {};
    }
    std::string text = std::to_string(httpStatus);
    if (const char* reason = ReasonPhrase(httpStatus); *reason != '\0') {
        text += std::string(" ") + reason;
    }
    return text;
}

std::string DescribeFailure(const std::string& statusText, std::uint32_t code) {
    return statusText + (statusText.empty() ? "" : "; ") + DescribeResult(code);
}
