#include "base/ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(AsciiTest, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(ToLowerAscii("Content-TYPE: \xC4\xE4 [Z]"), "content-type: \xC4\xE4 [z]");
    EXPECT_TRUE(EqualsIgnoreCase("Keep-Alive", "keep-alive"));
    EXPECT_FALSE(EqualsIgnoreCase("keep-alive", "keep-aliv"));
    // 0xC4 and 0xE4 are one letter in Latin-1, but not in ASCII.
    EXPECT_FALSE(EqualsIgnoreCase("\xC4", "\xE4"));
    EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
    EXPECT_TRUE(StartsWithIgnoreCase("HEX:01", "hex:"));
    EXPECT_FALSE(StartsWithIgnoreCase("he", "hex:"));
}

TEST(AsciiTest, TrimsTheGivenSpacesAtBothEndsOnly) {
    EXPECT_EQ(TrimAscii(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimAscii(" \t "), "");
    EXPECT_EQ(TrimAscii(""), "");
    EXPECT_EQ(TrimAscii("\va\v", " \t"), "\va\v");
}

TEST(AsciiTest, ReadsHexDigitsOfEitherCase) {
    const std::string digits = "09afAF";
    const int values[] = {0, 9, 10, 15, 10, 15};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(HexDigitValue(digits[i]), values[i]) << digits[i];
    }
    for (char c : std::string("gG/:@`\xff ")) {
        EXPECT_EQ(HexDigitValue(c), -1) << c;
    }
}

TEST(AsciiTest, FindsTheFirstCharacterOfASetFromAPosition) {
    constexpr std::size_t npos = std::string_view::npos;
    const struct {
        std::string_view text, set;
        std::size_t from, found;
    } cases[] = {
        {"/a/b?q#f", "?#", 0, 4}, {"/a/b?q#f", "#?", 5, 6},
        {"/a/b", "?#", 0, npos},  {"a?", "?", 2, npos},
        {"a?", "?", 9, npos},     {"", "?", 0, npos},
        {"abc", "", 0, npos},     {std::string_view("a\0b", 3), std::string_view("\0", 1), 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindFirstOf(c.text, c.set, c.from), c.found) << c.text << " from " << c.from;
    }
}

}  // namespace
