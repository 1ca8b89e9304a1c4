#include "protocol/header_text.h"

#include <limits>

bool IsHeaderSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view TrimHeaderSpace(std::string_view text) {
    while (!text.empty() && IsHeaderSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsHeaderSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

namespace {

int DigitValue(char c, int base) {
    int value = base;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
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
