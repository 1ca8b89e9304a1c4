#include "cli/failure_text.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/download_task.h"

namespace {

CUrl Url(const char* text) {
    CUrl url;
    url.Parse(text);
    return url;
}

TEST(FailureTextTest, SaysTheCauseInWordsAndWhatToDo) {
    FailureContext context;
    context.connectTimeout = 5;
    context.requestTimeout = 7;
    FailureContext signedIn = context;
    signedIn.siteCredentials = true;
    FailureContext limited = context;
    limited.transferLimit = 60;
    const struct {
        const char* url;
        // Where the request ended up after redirects; "" for nowhere else.
        const char* reached;
        ResultCode code;
        int status;
        const char* reason;
        const FailureContext& context;
        const char* text;
    } cases[] = {
        {"http://h/a", "", ERR_HTTP_CLIENT_ERROR, 404, "", context, "http://h/a (404 Not Found)"},
        {"http://h/a", "", ERR_HTTP_SERVER_ERROR, 503, "", context,
         "http://h/a (503 Service Unavailable)"},
        {"http://h/a", "", ERR_HTTP_CLIENT_ERROR, 401, "", context,
         "http://h/a (401 Unauthorized; give --user and --password)"},
        {"http://h/a", "", ERR_HTTP_CLIENT_ERROR, 401, "", signedIn,
         "http://h/a (401 Unauthorized; the server refused the user name and password; change "
         "them with tarnwick-cli set PROJECT.tkp --user U --ask-password)"},
        // The https URL that a redirect led to is the one that failed.
        {"http://h/", "https://h/", ERR_SSL_VERIFY, 0, "self-signed certificate", context,
         "https://h/ (certificate not trusted: self-signed certificate; for one run give "
         "--no-check-certificate, or turn the check off with tarnwick-cli settings "
         "\"Verify Certificates=0\")"},
        {"http://h/a", "", ERR_CONNECT_TIMEOUT, 0, "", context,
         "http://h/a (no connection within the connect time-out of 5 s; raise it with --timeout "
         "SECONDS for one run, or with tarnwick-cli settings Connection=SECONDS (1 to 99))"},
        {"http://h/a", "", ERR_SOCKET_TIMEOUT, 0, "", context,
         "http://h/a (no answer within the request time-out of 7 s; raise it with --timeout "
         "SECONDS for one run, or with tarnwick-cli settings Request=SECONDS (1 to 99))"},
        {"https://h/a", "", ERR_SOCKET_TIMEOUT, 0, "", limited,
         "https://h/a (no answer within the connect time-out of 5 s, which secure connections "
         "wait with, or the transfer limit of 60 s ran out; raise it with --timeout SECONDS for "
         "one run, or with tarnwick-cli settings Connection=SECONDS (1 to 99); the limit with "
         "--max-time or Transfer Limit)"},
        {"http://nowhere.h/", "", ERR_HOST_NOT_FOUND, 0, "", context,
         "http://nowhere.h/ (the host name does not exist)"},
        {"http://u:pw@h/a", "", ERR_HTTP_REDIRECT_LOOP, 302, "", context,
         "http://u:***@h/a (the server redirects in a loop)"},
    };
    for (const auto& c : cases) {
        CDownloadTask task;
        task.item = CLinkItem(Url(c.url), 0, true);
        task.response.url = Url(c.reached);
        task.response.status = c.status;
        task.response.failureReason = c.reason;
        task.resultCode = c.code;
        EXPECT_EQ(DescribeFailedUrl(task, c.context, false), c.text) << c.url;
    }
}

TEST(FailureTextTest, ALocalFileNamesItsPathAndTheSystemsReason) {
    CDownloadTask task;
    task.item = CLinkItem(Url("http://h/big.iso"), 0, true);
    task.localPath = "/mirror/h/big.iso";
    task.resultCode = ENOSPC;
    EXPECT_EQ(DescribeFailedUrl(task, {}, false),
              "http://h/big.iso (cannot write /mirror/h/big.iso: No space left on device)");
    task.resultCode = ERR_FILE_STREAM_WRITE;
    EXPECT_EQ(DescribeFailedUrl(task, {}, true),
              "http://h/big.iso (cannot write /mirror/h/big.iso) "
              "[0x20010002: Error writing data to file stream.]");
}

TEST(FailureTextTest, ASkippedFileNamesTheFilter) {
    CDownloadTask task;
    task.item = CLinkItem(Url("http://h/a.zip"), 0, true);
    task.resultCode = ERR_CLIENT_RULE;
    FailureContext context;
    context.filterGroups = "Image only";
    EXPECT_EQ(DescribeSkippedUrl(task, context), "http://h/a.zip (filter: Image only)");
}

}  // namespace
