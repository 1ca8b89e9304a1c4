#include "html/web_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(WebEncodingTest, LabelsNameTheEncodingsBrowsersReadPagesIn) {
    const std::pair<const char*, const char*> cases[] = {
        {"latin1", "windows-1252"},
        {" ISO-8859-1\t", "windows-1252"},
        {"US-ASCII", "windows-1252"},
        {"iso-8859-15", "ISO-8859-15"},
        {"L9", "ISO-8859-15"},
        {"utf8", "UTF-8"},
        {"Shift_JIS", "Shift_JIS"},
        {"x-sjis", "Shift_JIS"},
        {"gb2312", "GBK"},
        {"euc-jp", "EUC-JP"},
        {"koi8-r", "KOI8-R"},
        {"utf-16", "UTF-16LE"},
        {"iso-2022-kr", "replacement"},
        {"tis-620", "windows-874"},
    };
    for (const auto& [label, name] : cases) {
        const std::optional<WebEncoding> encoding = FindWebEncoding(label);
        ASSERT_TRUE(encoding) << label;
        EXPECT_EQ(encoding->name, name) << label;
    }
    for (const char* unknown : {"", "latin-1", "iso-8859-1x", "utf", "l", "x-mac-roman2"}) {
        EXPECT_FALSE(FindWebEncoding(unknown)) << unknown;
    }
    EXPECT_FALSE(FindWebEncoding("utf-16")->HasAsciiMarkup());
    EXPECT_FALSE(FindWebEncoding("replacement")->HasAsciiMarkup());
    EXPECT_TRUE(FindWebEncoding("sjis")->HasAsciiMarkup());
}

// Every encoding the table names is one iconv converts.
TEST(WebEncodingTest, TextIsConvertedBothWays) {
    const struct {
        const char* label;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {"iso-8859-15", "\xA4", "\xE2\x82\xAC"},
        {"latin1", "\x80\xE9", "\xE2\x82\xAC\xC3\xA9"},
        {"shift_jis", "\x93\xFA", "\xE6\x97\xA5"},
        {"gbk", "\xD6\xD0", "\xE4\xB8\xAD"},
        {"koi8-r", "\xC1", "\xD0\xB0"},
        {"x-mac-cyrillic", "\x80", "\xD0\x90"},
        {"euc-kr", "\xB0\xA1", "\xEA\xB0\x80"},
        {"big5", "\xA4\xA4", "\xE4\xB8\xAD"},
        {"windows-874", "\xA1", "\xE0\xB8\x81"},
    };
    for (const auto& c : cases) {
        const WebEncoding encoding = *FindWebEncoding(c.label);
        EXPECT_EQ(DecodeText(c.bytes, encoding), c.utf8) << c.label;
        EXPECT_EQ(EncodeText(c.utf8, encoding), c.bytes) << c.label;
    }
    const WebEncoding latin9 = *FindWebEncoding("l9");
    EXPECT_EQ(EncodeText("\xE4\xB8\xAD", latin9), std::nullopt);
    EXPECT_EQ(DecodeText("\x82", *FindWebEncoding("sjis")), std::nullopt);
    EXPECT_EQ(DecodeText("x", *FindWebEncoding("replacement")), std::nullopt);
    EXPECT_EQ(DecodeText(std::string(100000, '\xE9'), latin9)->size(), 200000u);
}

}  // namespace
