#include "base/ascii.h"

#include <algorithm>

char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = ToLowerAscii(c);
    }
    return lower;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoreCase(a, b);
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return ToLowerAscii(a) == ToLowerAscii(b); });
}

std::string_view TrimAscii(std::string_view text, std::string_view spaces) {
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

int HexDigitValue(char c) {
    const std::size_t pos = kLowerHexDigits.find(ToLowerAscii(c));
    return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}
