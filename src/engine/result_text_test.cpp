#include "engine/result_text.h"

#include <gtest/gtest.h>

#include "engine/download_task.h"
#include "engine/file_filter.h"
#include "engine/filter_list.h"

namespace {

TEST(ResultTextTest, DescribesEveryKindOfResult) {
    EXPECT_EQ(DescribeResult(ERR_CLIENT_RULE), "0x20010F00: Client rule violation!");
    EXPECT_EQ(DescribeResult(ERR_PAGE_NOT_PARSED),
              "0x30010002: The page was saved, but its links could not be read.");
    EXPECT_EQ(DescribeResult(ERR_UNSAFE_LOCAL_PATH),
              "0x30010004: A symbolic link or special file stands where the file belongs in the "
              "download folder; nothing was written.");
    EXPECT_EQ(DescribeResult(ERR_PAGE_KEPT_AS_SERVED),
              "0x30010005: The page was kept as served: its links were not made local.");
    EXPECT_EQ(DescribeResult(2), "0x00000002: No such file or directory");
    EXPECT_EQ(DescribeResult(0x20019999), "0x20019999");
}

TEST(ResultTextTest, FailureGivesTheStatusLineBeforeTheCode) {
    EXPECT_EQ(DescribeFailure(DescribeStatusLine(404), ERR_HTTP_CLIENT_ERROR),
              "404 Not Found; 0x20010302: The HTTP request contains bad syntax or cannot be "
              "fulfilled!");
    // No answer, or a success that is not what failed: the code alone.
    for (int status : {0, 200}) {
        EXPECT_EQ(DescribeFailure(DescribeStatusLine(status), ERR_HOST_NOT_FOUND),
                  "0x2001030A: The host name does not exist!");
    }
}

TEST(ResultTextTest, CauseSaysInWordsWhatWentWrong) {
    const struct {
        std::uint32_t code;
        int status;
        const char* reason;
        const char* cause;
    } cases[] = {
        {ERR_HTTP_CLIENT_ERROR, 404, "", "404 Not Found"},
        {ERR_HTTP_CLIENT_ERROR, 418, "", "418"},
        {ERR_HTTP_SERVER_ERROR, 500, "", "500 Internal Server Error"},
        {ERR_SSL_VERIFY, 0, "certificate has expired",
         "certificate not trusted: certificate has expired"},
        {ERR_SSL_VERIFY, 0, "", "the server's certificate is not trusted"},
        {ERR_CONNECT_TIMEOUT, 0, "", "no connection within the connect time-out"},
        {ERR_SOCKET_TIMEOUT, 0, "", "no answer within the request time-out"},
        {ERR_CLIENT_RULE, 0, "", "left out by the filters"},
        {28, 0, "", "No space left on device"},
        {ERR_NOT_ENOUGH_MEMORY, 0, "", "Not enough memory."},
        {ERR_REPLY_NEGATIVE, 0, "", "The server responds with a negative reply!"},
        {0x20019999, 0, "", "0x20019999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeCause(c.code, c.status, c.reason), c.cause) << c.code;
    }
}

TEST(ResultTextTest, FilterGroupsAreNamedAsTheFiltersNameThem) {
    CFilterList filters = CFilterList::DefaultGroups();
    EXPECT_EQ(DescribeFilterGroups(filters), "");
    filters.GetAt(0).SetEnabled(true);
    EXPECT_EQ(DescribeFilterGroups(filters), "Image only");
    filters.GetAt(1).SetEnabled(true);
    filters.GetAt(4).SetEnabled(true);
    EXPECT_EQ(DescribeFilterGroups(filters), "Image, Archive and Video only");
}

}  // namespace
