#include "protocol/http_date.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "protocol/header_text.h"

namespace {

constexpr std::array<std::string_view, 12> kMonths = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
};
constexpr std::array<std::string_view, 7> kShortWeekdays = {
    "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
};
constexpr std::array<std::string_view, 7> kLongWeekdays = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
};

struct DateFields {
    std::string_view weekday, day, month, year, hour, minute, second;
};

// Clamped like a substring of the date text: positions past the end give less.
std::string_view Piece(std::string_view text, std::size_t pos, std::size_t count) {
    return pos < text.size() ? text.substr(pos, count) : std::string_view();
}

// "Sun, 06 Nov 1994 08:49:37 GMT" and "Sunday, 06-Nov-94 08:49:37 GMT".
std::optional<DateFields> SplitAfterComma(std::string_view text, std::size_t k) {
    const std::size_t m = k + 9 < text.size() ? text.find(' ', k + 9) : std::string_view::npos;
    if (m == std::string_view::npos) {
        return std::nullopt;
    }
    return DateFields{.weekday = text.substr(0, k),
                      .day = Piece(text, k + 2, 2),
                      .month = Piece(text, k + 5, 3),
                      .year = text.substr(k + 9, m - k - 9),
                      .hour = Piece(text, m + 1, 2),
                      .minute = Piece(text, m + 4, 2),
                      .second = Piece(text, m + 7, 2)};
}

// "Sun Nov  6 08:49:37 1994".
std::optional<DateFields> SplitAsctime(std::string_view text) {
    const std::size_t k = text.find(' ');
    if (k == std::string_view::npos) {
        return std::nullopt;
    }
    return DateFields{.weekday = text.substr(0, k),
                      .day = Piece(text, k + 5, 2),
                      .month = Piece(text, k + 1, 3),
                      .year = Piece(text, k + 17, std::string_view::npos),
                      .hour = Piece(text, k + 8, 2),
                      .minute = Piece(text, k + 11, 2),
                      .second = Piece(text, k + 14, 2)};
}

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int WeekdayIndex(std::string_view name) {
    const int index = IndexOf(kShortWeekdays, name);
    return index >= 0 ? index : IndexOf(kLongWeekdays, name);
}

std::optional<std::tm> BrokenDownTime(const DateFields& fields) {
    const int weekday = WeekdayIndex(fields.weekday);
    const int month = IndexOf(kMonths, fields.month);
    std::string yearText(fields.year);
    if (yearText.size() == 2) {
        yearText.insert(0, "19");
    }
    if (weekday < 0 || month < 0 || yearText.size() != 4) {
        return std::nullopt;
    }
    const auto year = ReadDecimal(yearText);
    const auto day = ReadDecimal(fields.day);
    const auto hour = ReadDecimal(fields.hour);
    const auto minute = ReadDecimal(fields.minute);
    const auto second = ReadDecimal(fields.second);
    if (!year || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = *year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = *day;
    tm.tm_hour = *hour;
    tm.tm_min = *minute;
    tm.tm_sec = *second;
    tm.tm_wday = weekday;
    return tm;
}

}  // namespace

bool ParseHttpDate(std::string_view text, std::int64_t& time) {
    const std::size_t comma = text.find(',');
    const auto fields =
        comma != std::string_view::npos ? SplitAfterComma(text, comma) : SplitAsctime(text);
    if (!fields) {
        return false;
    }
    auto tm = BrokenDownTime(*fields);
    if (!tm) {
        return false;
    }
    // timegm normalises out-of-range fields (day 0, hour 25) as mktime would.
    errno = 0;
    const std::time_t seconds = ::timegm(&*tm);
    if (seconds == static_cast<std::time_t>(-1) && errno == EOVERFLOW) {
        return false;
    }
    time = tm->tm_year < 0 ? 0 : static_cast<std::int64_t>(seconds);
    return true;
}

std::string FormatHttpDate(std::int64_t time) {
    std::tm fields{};
    const auto seconds = static_cast<std::time_t>(time);
    if (::gmtime_r(&seconds, &fields) == nullptr || fields.tm_year < -1900 ||
        fields.tm_year > 9999 - 1900) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kShortWeekdays[static_cast<std::size_t>(fields.tm_wday)].data(), fields.tm_mday,
                  kMonths[static_cast<std::size_t>(fields.tm_mon)].data(), fields.tm_year + 1900,
                  fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}
