// Text helpers for ASCII only. Bytes from servers, files and URLs are folded
// and compared without the C locale, whose rules may differ from user to user.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// The white space of the C locale: space, tab, LF, VT, FF and CR.
inline constexpr std::string_view kAsciiSpace = " \t\n\v\f\r";
inline constexpr std::string_view kLowerHexDigits = "0123456789abcdef";
inline constexpr std::string_view kUpperHexDigits = "0123456789ABCDEF";

char ToLowerAscii(char c);
std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
// Without the characters of spaces at either end.
std::string_view TrimAscii(std::string_view text, std::string_view spaces = kAsciiSpace);
// 0 to 15 for a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);
inline bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

// Whether every byte of text is ASCII.
inline bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where the first character of set is found in text from pos on; npos when
// none is. std::string_view::find_first_of calls memchr on the set for every
// character of the text, which costs more than the search itself when the
// set is a few characters.
inline std::size_t FindFirstOf(std::string_view text, std::string_view set, std::size_t pos = 0) {
    if (pos >= text.size()) {
        return std::string_view::npos;
    }
    const auto found = std::find_first_of(text.begin() + pos, text.end(), set.begin(), set.end());
    return found == text.end() ? std::string_view::npos
                               : static_cast<std::size_t>(found - text.begin());
}
