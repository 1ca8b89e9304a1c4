#include "protocol/ftp_reply.h"

#include <algorithm>
#include <array>
#include <string>

#include "protocol/ftp_list_entry.h"

namespace {

constexpr std::size_t kCodeLength = 3;
// Where the text after "ddd " starts.
constexpr std::size_t kTextStart = 4;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the digits at the start of text into value, giving up once value
// passes limit; pos is left at the first character after them.
bool ReadBoundedNumber(std::string_view text, std::size_t& pos, std::uint64_t limit,
                       std::uint64_t& value) {
    value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (value > limit) {
            return false;
        }
    }
    return true;
}

// The number in the width digits at pos, when they are all digits.
std::optional<int> ReadFixedNumber(std::string_view text, std::size_t pos, std::size_t width) {
    if (text.size() < pos + width) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const std::string_view digits = text.substr(pos, width);
    std::size_t end = 0;
    if (!ReadBoundedNumber(digits, end, UINT32_MAX, value) || end != width) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace

std::optional<unsigned> ReadReplyCode(std::string_view line) {
    if (line.size() <= kCodeLength || (line[kCodeLength] != ' ' && line[kCodeLength] != '-')) {
        return std::nullopt;
    }
    unsigned code = 0;
    for (std::size_t i = 0; i < kCodeLength; ++i) {
        if (!IsDigit(line[i])) {
            return std::nullopt;
        }
        code = code * 10 + static_cast<unsigned>(line[i] - '0');
    }
    return code;
}

bool OpensMultiLineReply(std::string_view line) {
    return line.size() > kCodeLength && line[kCodeLength] == '-';
}

bool EndsMultiLineReply(std::string_view line, std::string_view firstLine) {
    return line.size() > kCodeLength && line[kCodeLength] == ' ' &&
           line.substr(0, kCodeLength) == firstLine.substr(0, kCodeLength);
}

std::optional<CSocketAddress> ParsePassiveReply(std::string_view reply) {
    if (reply.size() <= kTextStart) {
        return std::nullopt;
    }
    const std::string_view text = reply.substr(kTextStart);
    std::size_t pos = 0;
    while (pos < text.size() && !IsDigit(text[pos])) {
        ++pos;
    }
    if (pos == text.size()) {
        return std::nullopt;
    }
    std::uint64_t numbers[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (!ReadBoundedNumber(text, pos, 255, numbers[i])) {
            return std::nullopt;
        }
        if (i < 5) {
            if (pos == text.size() || text[pos] != ',') {
                return std::nullopt;
            }
            ++pos;
        }
    }
    const std::string host = std::to_string(numbers[0]) + '.' + std::to_string(numbers[1]) + '.' +
                             std::to_string(numbers[2]) + '.' + std::to_string(numbers[3]);
    return CSocketAddress(host, static_cast<std::int32_t>(numbers[4] * 256 + numbers[5]));
}

std::optional<std::uint32_t> ParseSizeReply(std::string_view reply) {
    std::size_t pos = std::min(reply.find_first_not_of(' ', kTextStart), reply.size());
    std::uint64_t size = 0;
    if (reply.size() <= pos || !IsDigit(reply[pos]) ||
        !ReadBoundedNumber(reply, pos, UINT32_MAX, size)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(size);
}

std::optional<std::int64_t> ParseModificationTimeReply(std::string_view reply) {
    // Year, month, day, hour, minute, second: their widths and largest values.
    constexpr std::array<std::size_t, 6> kWidths = {4, 2, 2, 2, 2, 2};
    constexpr std::array<int, 6> kLimits = {9999, 12, 31, 23, 59, 60};
    std::array<int, 6> fields{};
    std::size_t pos = kTextStart;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<int> field = ReadFixedNumber(reply, pos, kWidths[i]);
        if (!field || *field > kLimits[i] || ((i == 1 || i == 2) && *field == 0)) {
            return std::nullopt;
        }
        fields[i] = *field;
        pos += kWidths[i];
    }
    // Fractions of a second may follow; a further digit means another layout.
    if (pos < reply.size() && IsDigit(reply[pos])) {
        return std::nullopt;
    }
    return DaysSinceEpoch(fields[0], fields[1], fields[2]) * 86400 + fields[3] * 3600 +
           fields[4] * 60 + fields[5];
}
