#include "cli/exit_status.h"

#include "engine/download_task.h"

namespace {

constexpr int kUnauthorized = 401;
constexpr int kProxyAuthenticationRequired = 407;
constexpr int kGatewayTimeout = 504;

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

// A gateway that timed out waiting for the server met a network failure on
// the client's behalf.
bool IsNetworkFailure(ResultCode code, int httpStatus) {
    return (code >= ERR_SOCKET_CREATE && code <= ERR_SOCKET_UNKNOWN &&
            code != ERR_SOCKET_LOCAL_CLOSED) ||
           (code >= ERR_SSL_CONNECT && code <= ERR_SSL_UNKNOWN) || code == ERR_HOST_NOT_FOUND ||
           (code == ERR_HTTP_SERVER_ERROR && httpStatus == kGatewayTimeout);
}

}  // namespace

ExitStatus ExitStatusOf(ResultCode code, int httpStatus) {
    // A filtered file or an unreadable page that was saved is no failure.
    if (code == ERR_SUCCESS || code == ERR_CLIENT_RULE || code == ERR_PAGE_NOT_PARSED) {
        return kExitSuccess;
    }
    if (code == ERR_SSL_VERIFY) {
        return kExitCertificate;
    }
    if (IsNetworkFailure(code, httpStatus)) {
        return kExitNetwork;
    }
    if (httpStatus == kUnauthorized || httpStatus == kProxyAuthenticationRequired) {
        return kExitAuthentication;
    }
    if (code == ERR_HTTP_CLIENT_ERROR || code == ERR_HTTP_SERVER_ERROR ||
        code == ERR_HTTP_REDIRECT_LOOP || code == ERR_REPLY_NEGATIVE) {
        return kExitServerError;
    }
    return kExitGeneric;
}

std::string DescribeHttpStatus(int httpStatus) {
    // A success or an interim answer is not what failed.
    if (httpStatus < 300) {
        return {};
    }
    std::string text = std::to_string(httpStatus);
    if (const char* reason = ReasonPhrase(httpStatus); *reason != '\0') {
        text += std::string(" ") + reason;
    }
    if (httpStatus == kUnauthorized) {
        text += ": give --user and --password";
    } else if (httpStatus == kProxyAuthenticationRequired) {
        text += ": set the proxy's user and password";
    }
    return text;
}

void CFailureTally::Add(ResultCode code, int httpStatus) {
    const ExitStatus status = ExitStatusOf(code, httpStatus);
    if (status == kExitSuccess) {
        return;
    }
    ++m_count;
    if (m_status == kExitSuccess || status < m_status) {
        m_status = status;
    }
}
