#include "cli/failure_text.h"

#include "cli/mirror_options.h"
#include "cli/printable_text.h"
#include "engine/download_task.h"
#include "engine/result_text.h"

namespace {

constexpr int kUnauthorized = 401;
constexpr int kProxyAuthenticationRequired = 407;

std::string Seconds(int seconds) {
    return std::to_string(seconds) + " s";
}

std::string ShownUrl(const CUrl& url) {
    return PrintableText(HideUrlPassword(url.GetSourceText()));
}

// The URL that failed: the task's, or where a redirect took it.
std::string FailedUrl(const CDownloadTask& task) {
    const CUrl& reached = task.response.url;
    return reached.HasUrl() ? ShownUrl(reached) : ShownUrl(task.item.GetUrl());
}

bool IsSecure(const CDownloadTask& task) {
    const CUrl& reached = task.response.url;
    return (reached.HasUrl() ? reached : task.item.GetUrl()).GetScheme() == SchemeHttps;
}

bool IsLocalFileFailure(ResultCode code) {
    return (code != ERR_SUCCESS && code < 0x20000000 && code != ERR_NOT_ENOUGH_MEMORY) ||
           code == ERR_FILE_STREAM_OPEN || code == ERR_FILE_STREAM_WRITE ||
           code == ERR_FILE_STREAM_RESIZE;
}

std::string RaiseHint(const char* setting) {
    return std::string(
               "raise it with --timeout SECONDS for one run, or with tarnwick-cli "
               "settings ") +
           setting + "=SECONDS (1 to 99)";
}

// Which time-out ran out and how long it was. A secure connection waits for
// everything with the connect time-out; the transfer limit, when there is
// one, may have run out instead.
std::string TimeoutCause(const CDownloadTask& task, const FailureContext& context) {
    if (task.resultCode == ERR_CONNECT_TIMEOUT) {
        return "no connection within the connect time-out of " + Seconds(context.connectTimeout);
    }
    std::string cause =
        IsSecure(task)
            ? "no answer within the connect time-out of " + Seconds(context.connectTimeout) +
                  ", which secure connections wait with"
            : "no answer within the request time-out of " + Seconds(context.requestTimeout);
    if (context.transferLimit > 0) {
        cause += ", or the transfer limit of " + Seconds(context.transferLimit) + " ran out";
    }
    return cause;
}

std::string TimeoutHint(const CDownloadTask& task, const FailureContext& context) {
    const bool connect = task.resultCode == ERR_CONNECT_TIMEOUT || IsSecure(task);
    std::string hint = RaiseHint(connect ? "Connection" : "Request");
    if (task.resultCode == ERR_SOCKET_TIMEOUT && context.transferLimit > 0) {
        hint += "; the limit with --max-time or Transfer Limit";
    }
    return hint;
}

// What the user can do, after the cause; empty when nothing.
std::string HintFor(const CDownloadTask& task, const FailureContext& context) {
    const ResultCode code = task.resultCode;
    const int status = task.response.status;
    if (status == kUnauthorized && code == ERR_HTTP_CLIENT_ERROR) {
        return context.siteCredentials
                   ? "the server refused the user name and password; change them with "
                     "tarnwick-cli set PROJECT.tkp --user U --ask-password"
                   : "give --user and --password";
    }
    if (status == kProxyAuthenticationRequired && code == ERR_HTTP_CLIENT_ERROR) {
        return "set the proxy's user and password";
    }
    switch (code) {
        case ERR_SSL_VERIFY:
            return "for one run give --no-check-certificate, or turn the check off with "
                   "tarnwick-cli settings \"Verify Certificates=0\"";
        case ERR_CONNECT_TIMEOUT:
        case ERR_SOCKET_TIMEOUT:
            return TimeoutHint(task, context);
        default:
            return {};
    }
}

}  // namespace

std::string DescribeFailedUrl(const CDownloadTask& task, const FailureContext& context,
                              bool withCode) {
    const ResultCode code = task.resultCode;
    std::string cause =
        code == ERR_CONNECT_TIMEOUT || code == ERR_SOCKET_TIMEOUT
            ? TimeoutCause(task, context)
            : DescribeCause(code, task.response.status, task.response.failureReason);
    if (IsLocalFileFailure(code) && !task.localPath.empty()) {
        // The system's reason when it gave one, else the stream's words.
        cause = "cannot write " + PrintableText(task.localPath) +
                (code < 0x20000000 ? ": " + cause : std::string());
    }
    const std::string hint = HintFor(task, context);
    std::string text = FailedUrl(task) + " (" + cause + (hint.empty() ? "" : "; " + hint) + ")";
    if (withCode) {
        text += " [" + DescribeResult(code) + "]";
    }
    return text;
}

std::string DescribeSkippedUrl(const CDownloadTask& task, const FailureContext& context) {
    if (task.resultCode == ERR_ROBOTS_DISALLOWED) {
        return FailedUrl(task) + " (robots.txt)";
    }
    return FailedUrl(task) + " (filter: " +
           (context.filterGroups.empty() ? std::string("size") : context.filterGroups) + ")";
}
