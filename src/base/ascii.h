// Text helpers for ASCII only. Bytes from servers, files and URLs are folded
// and compared without the C locale, whose rules may differ from user to user.
#pragma once

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
