#include "html/html_charset.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

struct Utf8Case {
    std::string_view text;
    std::size_t length;
};

TEST(Utf8CharLength, AcceptsOnlyWellFormedCharacters) {
    using namespace std::string_view_literals;
    const Utf8Case cases[] = {
        {""sv, 0},
        {"a"sv, 1},
        {"\x7F"sv, 1},
        {"\xC2\x80"sv, 2},
        {"\xDF\xBF"sv, 2},
        {"\xE0\xA0\x80"sv, 3},
        {"\xED\x9F\xBF"sv, 3},
        {"\xEF\xBF\xBF"sv, 3},
        {"\xF0\x90\x80\x80"sv, 4},
        {"\xF4\x8F\xBF\xBF"sv, 4},
        {"\xC3\xA9tail"sv, 2},
        // A continuation byte is no lead byte, even when another follows.
        {"\x80\x80"sv, 0},
        {"\xBF\xBF"sv, 0},
        // Overlong forms.
        {"\xC0\x80"sv, 0},
        {"\xC1\xBF"sv, 0},
        {"\xE0\x9F\xBF"sv, 0},
        {"\xF0\x8F\xBF\xBF"sv, 0},
        // Surrogates and code points past U+10FFFF.
        {"\xED\xA0\x80"sv, 0},
        {"\xF4\x90\x80\x80"sv, 0},
        {"\xF5\x80\x80\x80"sv, 0},
        {"\xFF"sv, 0},
        // Cut short or broken by a byte that is no continuation.
        {"\xC3"sv, 0},
        {"\xE2\x82"sv, 0},
        {"\xE2\x82/"sv, 0},
        {"\xF0\x9F\x98"sv, 0},
        {"\xC3\x00"sv, 0},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(html_charset::Utf8CharLength(c.text), c.length)
            << testing::PrintToString(std::string(c.text));
    }
}

}  // namespace
