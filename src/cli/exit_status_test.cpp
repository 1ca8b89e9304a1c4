#include "cli/exit_status.h"

#include <gtest/gtest.h>

#include "engine/download_task.h"

namespace {

TEST(ExitStatusTest, EachFailureHasTheStatusOfItsKind) {
    const struct {
        ResultCode code;
        int httpStatus;
        ExitStatus status;
    } cases[] = {
        {ERR_SUCCESS, 0, kExitSuccess},
        {ERR_CLIENT_RULE, 0, kExitSuccess},
        {ERR_ROBOTS_DISALLOWED, 0, kExitSuccess},
        {ERR_PAGE_NOT_PARSED, 200, kExitSuccess},
        {ERR_SOCKET_DNS, 0, kExitNetwork},
        {ERR_HOST_NOT_FOUND, 0, kExitNetwork},
        {ERR_SOCKET_CONNECT, 0, kExitNetwork},
        {ERR_SOCKET_TIMEOUT, 0, kExitNetwork},
        {ERR_CONNECT_TIMEOUT, 0, kExitNetwork},
        {ERR_SSL_CONNECT, 0, kExitNetwork},
        {ERR_SSL_VERIFY, 0, kExitCertificate},
        {ERR_HTTP_CLIENT_ERROR, 401, kExitAuthentication},
        {ERR_HTTP_CLIENT_ERROR, 407, kExitAuthentication},
        {ERR_HTTP_CLIENT_ERROR, 404, kExitServerError},
        {ERR_HTTP_SERVER_ERROR, 503, kExitServerError},
        {ERR_HTTP_SERVER_ERROR, 504, kExitNetwork},
        {ERR_HTTP_REDIRECT_LOOP, 302, kExitServerError},
        {ERR_REPLY_NEGATIVE, 0, kExitServerError},
        {ERR_HTTP_HEADER, 0, kExitGeneric},
        {ERR_FILE_STREAM_WRITE, 200, kExitGeneric},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExitStatusOf(c.code, c.httpStatus), c.status)
            << std::hex << c.code << std::dec << " " << c.httpStatus;
    }
}

TEST(ExitStatusTest, TheLowestStatusOfACrawlWinsAndSkippedUrlsDoNotCount) {
    CFailureTally tally;
    EXPECT_EQ(tally.GetStatus(), kExitSuccess);
    tally.Add(ERR_CLIENT_RULE, 0);
    EXPECT_EQ(tally.GetStatus(), kExitSuccess);
    tally.Add(ERR_HTTP_CLIENT_ERROR, 404);
    EXPECT_EQ(tally.GetStatus(), kExitServerError);
    tally.Add(ERR_HTTP_CLIENT_ERROR, 401);
    tally.Add(ERR_SOCKET_CONNECT, 0);
    tally.Add(ERR_SSL_VERIFY, 0);
    EXPECT_EQ(tally.GetStatus(), kExitNetwork);
    EXPECT_EQ(tally.GetCount(), 4);
}

}  // namespace
