#include "cli/exit_status.h"

#include "engine/download_task.h"

namespace {

constexpr int kUnauthorized = 401;
constexpr int kProxyAuthenticationRequired = 407;
constexpr int kGatewayTimeout = 504;

// A gateway that timed out waiting for the server met a network failure on
// the client's behalf.
bool IsNetworkFailure(ResultCode code, int httpStatus) {
    return (code >= ERR_SOCKET_CREATE && code <= ERR_SOCKET_UNKNOWN &&
            code != ERR_SOCKET_LOCAL_CLOSED) ||
           (code >= ERR_SSL_CONNECT && code <= ERR_SSL_UNKNOWN) || code == ERR_HOST_NOT_FOUND ||
           code == ERR_CONNECT_TIMEOUT ||
           (code == ERR_HTTP_SERVER_ERROR && httpStatus == kGatewayTimeout);
}

}  // namespace

ExitStatus ExitStatusOf(ResultCode code, int httpStatus) {
    // A file the filters or robots.txt left out, or an unreadable page that
    // was saved, is no failure.
    if (code == ERR_SUCCESS || IsSkipResult(code) || code == ERR_PAGE_NOT_PARSED) {
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
