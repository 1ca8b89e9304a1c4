#include "base/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct MessageCase {
    ResultCode code;
    const char* message;
};

template <typename Exception>
std::string MessageOf(ResultCode code, unsigned capacity = 256) {
    char buffer[256] = "untouched";
    bool known = Exception(code).GetErrorMessage(buffer, capacity);
    return known ? std::string(buffer) : std::string("<false:") + buffer + ">";
}

TEST(ErrorsTest, EachCodeHasExactlyItsOwnMessage) {
    const MessageCase socketCases[] = {
        {ERR_SOCKET_DNS, "DNS failure!"},
        {ERR_SOCKET_LOCAL_CLOSED, "The local socket closed!"},
        {ERR_SSL_SEND, "Error occurred during SSL seding!"},
        {ERR_SSL_UNKNOWN, "Unknown SSL error!"},
        {ERR_SSL_VERIFY, "The server's certificate could not be verified!"},
        {ERR_HTTP_HEADER, "<false:untouched>"},
    };
    for (const auto& c : socketCases) {
        EXPECT_EQ(MessageOf<CSocketException>(c.code), c.message) << std::hex << c.code;
    }
    const MessageCase protocolCases[] = {
        {ERR_HTTP_REDIRECT_PROTOCOL,
         "The request is redirected to an URL that uses different protocol!"},
        {ERR_REPLY_NEGATIVE, "The server responds with a negative reply!"},
        {ERR_CLIENT_RULE, "Client rule violation!"},
        {ERR_REPLY_REST_REFUSED, "<false:untouched>"},
        {ERR_SOCKET_DNS, "<false:untouched>"},
    };
    for (const auto& c : protocolCases) {
        EXPECT_EQ(MessageOf<CProtocolException>(c.code), c.message) << std::hex << c.code;
    }
    const MessageCase streamCases[] = {
        {ERR_STREAM_DATA, "Data error in stream."},
        {ERR_FILE_STREAM_RESIZE, "Error resizing file stream."},
        {ERR_SOCKET_DNS, ""},
        {12345, ""},
    };
    for (const auto& c : streamCases) {
        EXPECT_EQ(MessageOf<CStreamException>(c.code), c.message) << std::hex << c.code;
    }
    const MessageCase htmlCases[] = {
        {ERR_HTML_SET_ATTRIBUTE, "Error setting HTML attribute."},
        {ERR_STREAM_DATA, "<false:untouched>"},
    };
    for (const auto& c : htmlCases) {
        EXPECT_EQ(MessageOf<CHtmlException>(c.code), c.message) << std::hex << c.code;
    }
}

TEST(ErrorsTest, MessageIsCutToCapacityMinusOne) {
    EXPECT_EQ(MessageOf<CSocketException>(ERR_SOCKET_DNS, 10), "DNS failu");
    EXPECT_EQ(MessageOf<CSocketException>(ERR_SOCKET_DNS, 12), "DNS failure");
    EXPECT_EQ(MessageOf<CSocketException>(ERR_SOCKET_DNS, 13), "DNS failure!");
    EXPECT_EQ(MessageOf<CSocketException>(ERR_SOCKET_DNS, 1), "");
}

TEST(ErrorsTest, ZeroCapacityWritesNothing) {
    char buffer[4] = "abc";
    EXPECT_TRUE(CSocketException(ERR_SOCKET_DNS).GetErrorMessage(buffer, 0));
    EXPECT_STREQ(buffer, "abc");
}

TEST(ErrorsTest, HelpContextIsLeftUntouched) {
    char buffer[64];
    unsigned context = 77;
    CHtmlException(ERR_HTML_ADD_NODE).GetErrorMessage(buffer, sizeof buffer, &context);
    EXPECT_EQ(context, 77u);
}

TEST(ErrorsTest, ThrowHelpersCarryTheirCodeInTheirClass) {
    EXPECT_THROW(ThrowSocketException(ERR_SOCKET_CONNECT), CSocketException);
    EXPECT_THROW(ThrowStreamException(ERR_STREAM_DATA), CStreamException);
    EXPECT_THROW(ThrowHtmlException(ERR_HTML_ADD_NODE), CHtmlException);
    try {
        ThrowProtocolException(ERR_HTTP_STATUS);
    } catch (const CException& e) {
        EXPECT_EQ(e.GetCode(), ERR_HTTP_STATUS);
        EXPECT_STREQ(e.what(), "HTTP Status code error!");
    }
}

TEST(ErrorsTest, ReplyExceptionSplitsNegativeFromUnexpected) {
    const struct {
        unsigned reply;
        ResultCode code;
    } cases[] = {{399, ERR_REPLY_UNEXPECTED}, {400, ERR_REPLY_NEGATIVE},
                 {550, ERR_REPLY_NEGATIVE},   {599, ERR_REPLY_NEGATIVE},
                 {600, ERR_REPLY_UNEXPECTED}, {226, ERR_REPLY_UNEXPECTED}};
    for (const auto& c : cases) {
        try {
            ThrowReplyException(c.reply);
        } catch (const CProtocolException& e) {
            EXPECT_EQ(e.GetCode(), c.code) << c.reply;
        }
    }
}

TEST(ErrorsTest, ResultMessageCoversEveryClassAndChm) {
    EXPECT_STREQ(GetResultMessage(ERR_CHM_LOAD_COMPILER), "Can't load the compiler!");
    EXPECT_STREQ(GetResultMessage(ERR_SOCKET_TIMEOUT), "Operation timeout!");
    EXPECT_STREQ(GetResultMessage(ERR_CHM_STOPPED), "");
    EXPECT_STREQ(GetResultMessage(2), "");
}

}  // namespace
