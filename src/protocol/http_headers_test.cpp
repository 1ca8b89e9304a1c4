#include "protocol/http_headers.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace {

CHttpHeaders Parsed(const std::string& block) {
    CHttpHeaders headers;
    headers.ParseHeaderBlock(block);
    return headers;
}

TEST(HttpHeadersTest, ParsesLinesIntoTheirSlots) {
    struct Case {
        const char* block;
        int index;
        const char* value;
    };
    const Case cases[] = {
        {"CONTENT-length: 42\r\n\r\n", HEADER_CONTENT_LENGTH, "42"},
        {"Location: /a\r\nLocation: /b\r\n\r\n", HEADER_LOCATION, "/b"},
        // Lengths are kept as a list, so that two of them cannot pass for one.
        {"Content-Length: 10\r\ncontent-length:62 \r\n\r\n", HEADER_CONTENT_LENGTH, "10,62"},
        {"Content-Length: 10\r\nContent-Length:\r\n\r\n", HEADER_CONTENT_LENGTH, "10,"},
        {"Server:   nginx  \t\r\n\r\n", HEADER_SERVER, "nginx"},
        {"Host:\r\n\r\n", HEADER_HOST, ""},
        {"Via: a:b:c\r\n\r\n", HEADER_VIA, "a:b:c"},
        // A name with a space before the colon is not a table name.
        {"Server : nginx\r\n\r\n", HEADER_SERVER, ""},
        // A continuation line is a line of its own, not part of the previous value.
        {"Warning: one\r\n two\r\n\r\n", HEADER_WARNING, "one"},
        {"Warning: one\r\n Age: 5\r\n\r\n", HEADER_AGE, ""},
        {"Warning: one\r\n\tWarning: two\r\n\r\n", HEADER_WARNING, "one"},
        // Reading stops at the blank line and at a line without CR LF.
        {"Age: 1\r\n\r\nServer: late\r\n", HEADER_SERVER, ""},
        {"Age: 1\r\nServer: cut", HEADER_SERVER, ""},
        {"Age: 1\r\nServer: cut", HEADER_AGE, "1"},
        // A lone LF does not end a line.
        {"Server: a\nAge: 3\r\n\r\n", HEADER_SERVER, "a\nAge: 3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parsed(c.block).GetValue(c.index), c.value) << c.block;
    }
}

TEST(HttpHeadersTest, BlocksWithoutKnownHeadersHaveNone) {
    const char* blocks[] = {
        "",
        "\r\n",
        "Foo: bar\r\nno colon here\r\n: empty name\r\n\r\n",
        "X-Custom: 1\r\n",
        "Content-Length: 42",  // no CR LF, so not a line
    };
    for (const char* block : blocks) {
        EXPECT_FALSE(Parsed(block).HasAnyHeader()) << block;
    }
    EXPECT_TRUE(Parsed("Foo: bar\r\nAge: 0\r\n\r\n").HasAnyHeader());
}

TEST(HttpHeadersTest, ParsingClearsEarlierValues) {
    CHttpHeaders headers = Parsed("Age: 1\r\nServer: s\r\n\r\n");
    headers.ParseHeaderBlock("Age: 2\r\n\r\n");
    EXPECT_EQ(headers.GetValue(HEADER_AGE), "2");
    EXPECT_EQ(headers.GetValue(HEADER_SERVER), "");
    headers.ClearAll();
    EXPECT_FALSE(headers.HasAnyHeader());
}

TEST(HttpHeadersTest, RequestHeadsAreWrittenInTableOrder) {
    CHttpHeaders headers;
    headers.SetUserAgent("agent/1.0");
    headers.SetRange(5000, 0, RANGE_FROM_OFFSET);
    headers.SetHost("example.com", 8080);
    EXPECT_EQ(headers.FormatHeaderBlock(),
              "Host: example.com:8080\r\nRange: bytes=5000-\r\nUser-Agent: agent/1.0\r\n");

    headers.SetConnectionClose(true);
    headers.SetValue(HEADER_PROXY_AUTHORIZATION, "Basic eDp5");
    headers.SetValue(HEADER_AUTHORIZATION, "Basic YTpi");
    EXPECT_EQ(headers.FormatHeaderBlock(),
              "Connection: close\r\nAuthorization: Basic YTpi\r\nHost: example.com:8080\r\n"
              "Proxy-Authorization: Basic eDp5\r\nRange: bytes=5000-\r\n"
              "User-Agent: agent/1.0\r\n");

    // Empty values are not written, so an empty identity sends no User-Agent.
    headers.SetUserAgent("");
    headers.SetConnectionClose(false);
    EXPECT_EQ(headers.FormatHeaderBlock().find("User-Agent"), std::string::npos);
    EXPECT_EQ(headers.FormatHeaderBlock().find("Connection"), std::string::npos);
}

TEST(HttpHeadersTest, FormattedBlockParsesBackToTheSameValues) {
    CHttpHeaders written;
    for (int i = 0; i < kHeaderCount; ++i) {
        written.SetValue(i, "value " + std::to_string(i) + " a:b");
    }
    const CHttpHeaders read = Parsed(written.FormatHeaderBlock() + "\r\n");
    for (int i = 0; i < kHeaderCount; ++i) {
        EXPECT_EQ(read.GetValue(i), written.GetValue(i)) << GetHeaderName(i);
    }
}

TEST(HttpHeadersTest, HostAndRangeValues) {
    struct HostCase {
        const char* host;
        int port;
        const char* expected;
    };
    const HostCase hosts[] = {
        {"h", 0, "h"},
        {"h", 80, "h:80"},
        {"", 80, "previous"},
        {"evil\r\nX-Injected: 1", 0, "evilX-Injected: 1"},
    };
    for (const HostCase& c : hosts) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_HOST, "previous");
        headers.SetHost(c.host, c.port);
        EXPECT_EQ(headers.GetValue(HEADER_HOST), c.expected) << c.host;
    }

    struct RangeCase {
        int from, to;
        RangeKind kind;
        const char* expected;
    };
    const RangeCase ranges[] = {
        {5000, 0, RANGE_FROM_OFFSET, "bytes=5000-"},
        {0, 500, RANGE_LAST_BYTES, "bytes=-500"},
        {100, 199, RANGE_FROM_TO, "bytes=100-199"},
        {2147483647, 0, RANGE_FROM_OFFSET, "bytes=2147483647-"},
        {1, 2, RANGE_NONE, "previous"},
        {1, 2, static_cast<RangeKind>(4), "previous"},
    };
    for (const RangeCase& c : ranges) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_RANGE, "previous");
        headers.SetRange(c.from, c.to, c.kind);
        EXPECT_EQ(headers.GetValue(HEADER_RANGE), c.expected) << c.kind;
    }
}

TEST(HttpHeadersTest, ConnectionCloseIsCaseSensitive) {
    EXPECT_TRUE(Parsed("Connection: close\r\n\r\n").IsConnectionClose());
    EXPECT_FALSE(Parsed("Connection: Close\r\n\r\n").IsConnectionClose());
    EXPECT_FALSE(Parsed("Connection: keep-alive\r\n\r\n").IsConnectionClose());
    EXPECT_FALSE(Parsed("Connection: close, TE\r\n\r\n").IsConnectionClose());
    EXPECT_FALSE(Parsed("").IsConnectionClose());
}

TEST(HttpHeadersTest, TransferCodingAndContentType) {
    struct CodingCase {
        const char* value;
        bool present;
        TransferCoding coding;
    };
    const CodingCase codings[] = {
        {"Chunked", true, TRANSFER_CODING_CHUNKED}, {"identity", true, TRANSFER_CODING_IDENTITY},
        {"GZIP", true, TRANSFER_CODING_GZIP},       {"compress", true, TRANSFER_CODING_COMPRESS},
        {"deflate", true, TRANSFER_CODING_DEFLATE}, {"gzip, chunked", true, TRANSFER_CODING_OTHER},
        {"br", true, TRANSFER_CODING_OTHER},        {"", false, TRANSFER_CODING_OTHER},
    };
    for (const CodingCase& c : codings) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_TRANSFER_ENCODING, c.value);
        TransferCoding coding = TRANSFER_CODING_DEFLATE;
        ASSERT_EQ(headers.GetTransferCoding(coding), c.present) << c.value;
        if (c.present) {
            EXPECT_EQ(coding, c.coding) << c.value;
        }
    }

    struct TypeCase {
        const char* value;
        bool present;
        ContentTypeCode code;
    };
    const TypeCase types[] = {
        {"text/HTML; charset=ISO-8859-1", true, CONTENT_TYPE_TEXT_HTML},
        {"text/html ; charset=utf-8", true, CONTENT_TYPE_OTHER},
        {"text/css", true, CONTENT_TYPE_TEXT_CSS},
        {"text/plain;", true, CONTENT_TYPE_TEXT_PLAIN},
        {"TEXT/XML;a=b;c=d", true, CONTENT_TYPE_TEXT_XML},
        {"application/octet-stream", true, CONTENT_TYPE_OCTET_STREAM},
        {"text/javascript;charset=utf-8", true, CONTENT_TYPE_JAVASCRIPT},
        {"Application/X-JavaScript", true, CONTENT_TYPE_JAVASCRIPT},
        {"application/json", true, CONTENT_TYPE_OTHER},
        {"image/png", true, CONTENT_TYPE_OTHER},
        {";text/html", true, CONTENT_TYPE_OTHER},
        {"", false, CONTENT_TYPE_OTHER},
    };
    for (const TypeCase& c : types) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_CONTENT_TYPE, c.value);
        ContentTypeCode code = CONTENT_TYPE_OCTET_STREAM;
        ASSERT_EQ(headers.GetContentType(code), c.present) << c.value;
        if (c.present) {
            EXPECT_EQ(code, c.code) << c.value;
        }
    }
}

TEST(HttpHeadersTest, CharsetIsTheContentTypesParameter) {
    const std::pair<const char*, const char*> cases[] = {
        {"text/html; charset=ISO-8859-15", "ISO-8859-15"},
        {"text/html;CHARSET = \"utf-8\" ;q=1", "utf-8"},
        {"text/html; name=\"a;charset=x\"; charset=koi8-r", "koi8-r"},
        {"text/html; charset=\"shift\\_jis", "shift_jis"},
        {"text/html; xcharset=utf-8", ""},
        {"text/html; flag; charset=euc-jp", "euc-jp"},
        {"text/html; flag", ""},
        {"text/html", ""},
        {"", ""},
    };
    for (const auto& [value, charset] : cases) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_CONTENT_TYPE, value);
        EXPECT_EQ(headers.GetCharset(), charset) << value;
    }
}

TEST(HttpHeadersTest, ContentLength) {
    struct Case {
        const char* value;
        bool valid;
        std::int32_t length;
    };
    const Case cases[] = {
        {"42", true, 42},
        {"0", true, 0},
        {" \t17", true, 17},
        {" 7 ", true, 7},
        {"10, 10", true, 10},
        {"5,5 ,  5", true, 5},
        // Another reader could take any of these for another length.
        {"10, 62", false, 0},
        {"10,", false, 0},
        {",10", false, 0},
        {"12abc", false, 0},
        {"1 2", false, 0},
        {"2147483647", true, 2147483647},
        {"0002147483647", true, 2147483647},
        // A length the 32-bit count cannot hold must never wrap to a small one.
        {"2147483648", false, 0},
        {"4294967338", false, 0},
        {"99999999999999999999999", false, 0},
        {"-1", false, 0},
        {"+5", false, 0},
        {"abc", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_CONTENT_LENGTH, c.value);
        std::int32_t length = -7;
        ASSERT_EQ(headers.GetContentLength(length), c.valid) << c.value;
        EXPECT_EQ(length, c.valid ? c.length : -7) << c.value;
    }
}

TEST(HttpHeadersTest, ContentRange) {
    struct Case {
        const char* value;
        bool valid;
        std::int32_t first, last, total;
    };
    const Case cases[] = {
        {"bytes 100-199/1000", true, 100, 199, 1000},
        {"bytes 0-99/*", true, 0, 99, 0},
        {"bytes 5-5/6", true, 5, 5, 6},
        {"bytes 0-2147483646/2147483647", true, 0, 2147483646, 2147483647},
        {"bytes 200-100/1000", false, 0, 0, 0},
        {"bytes */1000", false, 0, 0, 0},
        {"Bytes 0-99/100", false, 0, 0, 0},
        {"bytes-5/10", false, 0, 0, 0},
        {"bytes 0-/100", false, 0, 0, 0},
        {"bytes 0-99", false, 0, 0, 0},
        {"bytes x-99/100", false, 0, 0, 0},
        {"bytes=0-0/1", false, 0, 0, 0},
        {"bytes 0-4294967295/100", false, 0, 0, 0},
        {"bytes 0-99/99999999999", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CHttpHeaders headers;
        headers.SetValue(HEADER_CONTENT_RANGE, c.value);
        std::int32_t first = -1, last = -1, total = -1;
        ASSERT_EQ(headers.GetContentRange(first, last, total), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(first, c.first) << c.value;
            EXPECT_EQ(last, c.last) << c.value;
            EXPECT_EQ(total, c.total) << c.value;
        }
    }
}

TEST(HttpHeadersTest, LastModifiedAndLocation) {
    const CHttpHeaders headers =
        Parsed("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nLocation: http://h/b\r\n\r\n");
    std::int64_t time = 0;
    ASSERT_TRUE(headers.GetLastModified(time));
    EXPECT_EQ(time, 784111777);
    EXPECT_EQ(headers.GetLocation(), "http://h/b");

    EXPECT_FALSE(Parsed("Last-Modified: yesterday\r\n\r\n").GetLastModified(time));
    EXPECT_FALSE(Parsed("").GetLastModified(time));
}

TEST(HttpHeadersTest, IndexOutsideTheTableIsAnInvalidArgument) {
    CHttpHeaders headers;
    EXPECT_THROW(headers.GetValue(-1), std::invalid_argument);
    EXPECT_THROW(headers.GetValue(kHeaderCount), std::invalid_argument);
    EXPECT_THROW(headers.SetValue(48, "x"), std::invalid_argument);
    EXPECT_THROW(GetHeaderName(99), std::invalid_argument);
    EXPECT_STREQ(GetHeaderName(HEADER_WWW_AUTHENTICATE), "WWW-Authenticate");
    EXPECT_STREQ(GetHeaderName(HEADER_LAST_MODIFIED), "Last-Modified");
}

}  // namespace
