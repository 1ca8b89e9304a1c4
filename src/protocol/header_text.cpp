#include "protocol/header_text.h"

#include <limits>

#include "base/ascii.h"

bool IsHeaderSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view TrimHeaderSpace(std::string_view text) {
    return TrimAscii(text, kAsciiSpace);
}

namespace {

int DigitValue(char c, int base) {
    const int value = HexDigitValue(c);
    return value < base ? value : -1;
}

std::optional<std::int32_t> ReadNumber(std::string_view text, int base) {
    std::size_t pos = 0;
    while (pos < text.size() && IsHeaderSpace(text[pos])) {
        ++pos;
    }
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    bool anyDigit = false;
    for (int digit = 0; pos < text.size() && (digit = DigitValue(text[pos], base)) >= 0; ++pos) {
        value = value * base + digit;
        if (value > kLimit) {
            return std::nullopt;
        }
        anyDigit = true;
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<std::int32_t> ReadDecimal(std::string_view text) {
    return ReadNumber(text, 10);
}

std::optional<std::int32_t> ReadHexadecimal(std::string_view text) {
    return ReadNumber(text, 16);
}
