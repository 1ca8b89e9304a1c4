#include "engine/result_text.h"

#include <gtest/gtest.h>

#include "engine/download_task.h"

namespace {

TEST(ResultTextTest, DescribesEveryKindOfResult) {
    EXPECT_EQ(DescribeResult(ERR_CLIENT_RULE),
              "0x20010F00: Client rule violation!");
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

}  // namespace
