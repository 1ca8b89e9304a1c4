#include "engine/result_text.h"

#include <cstdio>
#include <cstring>

#include "engine/download_task.h"

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

}  // namespace

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
