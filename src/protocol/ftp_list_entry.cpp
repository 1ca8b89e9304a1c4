#include "protocol/ftp_list_entry.h"

#include <array>
#include <ctime>
#include <limits>
#include <optional>
#include <vector>

#include "base/ascii.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// A UNIX listing shows the time of day instead of the year for recent files;
// such a date lies less than this long before the moment of listing.
constexpr std::int64_t kRecentSpan = 350 * kSecondsPerDay;

constexpr std::array<std::string_view, 12> kMonthNames = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec",
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A number of 1 to maxDigits digits and nothing else.
std::optional<int> ReadNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::int64_t> ReadSeconds(std::string_view text) {
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c) || value > kLimit) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// Sizes of 4 GiB and more do not fit the entry and are kept at the limit.
std::optional<std::uint32_t> ReadSize(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'),
                                        std::numeric_limits<std::uint32_t>::max());
    }
    return static_cast<std::uint32_t>(value);
}

// 1 to 12 for a month's three-letter name in any case; 0 for anything else.
int MonthNumber(std::string_view text) {
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        if (EqualsIgnoreCase(text, kMonthNames[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

struct Date {
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;

    std::int64_t ToSeconds() const {
        return DaysSinceEpoch(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60;
    }
};

bool IsValidDay(int day) {
    return day >= 1 && day <= 31;
}

// "hh:mm" or "h:mm" at the start of text; what follows is left in rest.
bool ReadClock(std::string_view text, Date& date, std::string_view& rest) {
    const std::size_t colon = text.find(':');
    if ((colon != 1 && colon != 2) || text.size() < colon + 3) {
        return false;
    }
    const auto hour = ReadNumber(text.substr(0, colon), 2);
    const auto minute = ReadNumber(text.substr(colon + 1, 2), 2);
    if (!hour || !minute || *hour > 23 || *minute > 59) {
        return false;
    }
    date.hour = *hour;
    date.minute = *minute;
    rest = text.substr(colon + 3);
    return true;
}

bool ReadExactClock(std::string_view text, Date& date) {
    std::string_view rest;
    return ReadClock(text, date, rest) && rest.empty();
}

std::int64_t YearOf(std::int64_t seconds) {
    // Shifted so that a year starts in March, as in DaysSinceEpoch.
    const std::int64_t days =
        (seconds >= 0 ? seconds : seconds - kSecondsPerDay + 1) / kSecondsPerDay + 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    return yearOfEra + era * 400 + (shiftedMonth >= 10 ? 1 : 0);
}

// The first year, counting up from the one before now's, in which the date
// lies less than kRecentSpan before now. Ends at the latest a year after
// now's, whose dates all lie after now.
void InferYear(Date& date, std::int64_t now) {
    date.year = YearOf(now) - 1;
    while (date.ToSeconds() <= now - kRecentSpan) {
        ++date.year;
    }
}

struct Field {
    std::string_view text;
    std::size_t start = 0;
    std::size_t End() const { return start + text.size(); }
};

// The runs of non-space characters of line, with their offsets.
std::vector<Field> SplitFields(std::string_view line) {
    std::vector<Field> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back({line.substr(start, end - start), start});
        pos = end;
    }
    return fields;
}

void SetListedTime(CFtpListEntry& entry, std::int64_t seconds, FtpTimePrecision precision) {
    entry.listedTime = seconds;
    entry.listedPrecision = precision;
}

// "+i8388621.48594,m825718503,r,s280,\tdjb.html": facts up to a TAB, then the name.
bool ParseEplf(std::string_view line, CFtpListEntry& entry) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab + 1 == line.size()) {
        return false;
    }
    entry.name = line.substr(tab + 1);
    std::string_view facts = line.substr(1, tab - 1);
    while (!facts.empty()) {
        const std::size_t comma = std::min(facts.find(','), facts.size());
        const std::string_view fact = facts.substr(0, comma);
        facts.remove_prefix(std::min(comma + 1, facts.size()));
        if (fact.empty()) {
            continue;
        }
        // "r" (retrievable) and "i" (identifier) add nothing that an entry keeps.
        const std::string_view value = fact.substr(1);
        if (fact[0] == '/') {
            entry.isDirectory = true;
        } else if (fact[0] == 's') {
            entry.size = ReadSize(value).value_or(entry.size);
        } else if (fact[0] == 'm') {
            if (const auto seconds = ReadSeconds(value)) {
                entry.modificationTime = *seconds;
                SetListedTime(entry, *seconds, FtpTimePrecision::Exact);
            }
        }
    }
    return true;
}

// The field after the day: a time of day (the year is then inferred) or a year.
bool ReadUnixTimeOrYear(std::string_view text, Date& date, FtpTimePrecision& precision,
                        std::int64_t now) {
    if (ReadExactClock(text, date)) {
        InferYear(date, now);
        precision = FtpTimePrecision::Minute;
        return true;
    }
    const auto year = ReadNumber(text, 4);
    if (!year || *year == 0) {
        return false;
    }
    date.year = *year;
    precision = FtpTimePrecision::Day;
    return true;
}

// The name as the listing writes it: a link's target is cut off, and the
// padding that NetWare and NetPresenz put before names is dropped.
std::string_view UnixName(std::string_view line, std::size_t start) {
    std::string_view name = start < line.size() ? line.substr(start) : std::string_view();
    if (line[0] == 'l') {
        name = name.substr(0, name.find(" -> "));
    }
    if (line.size() > 1 && (line[1] == ' ' || line[1] == '[') && name.size() > 3 &&
        name.starts_with("   ")) {
        name.remove_prefix(3);
    }
    return name;
}

// "-rw-r--r--   1 owner group  1234 Jan  5 12:34 name": the size is the field
// before the month, then come the day, a time or year, one space and the name.
// A month name among the owner fields is passed over when the fields around it
// are not a size and a date.
bool ParseUnix(std::string_view line, CFtpListEntry& entry, std::int64_t now) {
    const std::vector<Field> fields = SplitFields(line);
    for (std::size_t i = 1; i + 2 < fields.size(); ++i) {
        Date date;
        date.month = MonthNumber(fields[i].text);
        const auto size = ReadSize(fields[i - 1].text);
        const auto day = ReadNumber(fields[i + 1].text, 2);
        FtpTimePrecision precision = FtpTimePrecision::Unknown;
        if (date.month == 0 || !size || !day || !IsValidDay(*day)) {
            continue;
        }
        date.day = *day;
        if (!ReadUnixTimeOrYear(fields[i + 2].text, date, precision, now)) {
            continue;
        }
        entry.name = UnixName(line, fields[i + 2].End() + 1);
        entry.size = *size;
        entry.isDirectory = line[0] == 'd';
        SetListedTime(entry, date.ToSeconds(), precision);
        return !entry.name.empty();
    }
    return false;
}

// "8-SEP-1996"
bool ReadVmsDate(std::string_view text, Date& date) {
    const std::size_t first = text.find('-');
    const std::size_t second = first == std::string_view::npos ? first : text.find('-', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    const auto day = ReadNumber(text.substr(0, first), 2);
    const auto year = ReadNumber(text.substr(second + 1), 4);
    date.month = MonthNumber(text.substr(first + 1, second - first - 1));
    if (!day || !IsValidDay(*day) || !year || date.month == 0) {
        return false;
    }
    date.day = *day;
    date.year = *year;
    return true;
}

// "CORE.DIR;1   1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)": the name up to
// the version, then a block count, the date and the time (seconds may follow).
bool ParseMultiNet(std::string_view line, CFtpListEntry& entry) {
    const std::size_t semicolon = line.find(';');
    std::string_view name = line.substr(0, semicolon);
    if (name.size() >= 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".DIR")) {
        name.remove_suffix(4);
        entry.isDirectory = true;
    }
    entry.name = name;
    const std::vector<Field> fields = SplitFields(line.substr(semicolon));
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        Date date;
        std::string_view rest;
        if (ReadVmsDate(fields[i].text, date) && ReadClock(fields[i + 1].text, date, rest) &&
            (rest.empty() || rest[0] == ':')) {
            SetListedTime(entry, date.ToSeconds(), FtpTimePrecision::Minute);
            return !entry.name.empty();
        }
    }
    return false;
}

// "04-27-00" (month, day, year); a 2-digit year below 50 is 20yy, else 19yy.
bool ReadDosDate(std::string_view text, Date& date) {
    if ((text.size() != 8 && text.size() != 10) || text[2] != '-' || text[5] != '-') {
        return false;
    }
    const auto month = ReadNumber(text.substr(0, 2), 2);
    const auto day = ReadNumber(text.substr(3, 2), 2);
    const auto year = ReadNumber(text.substr(6), 4);
    if (!month || *month < 1 || *month > 12 || !day || !IsValidDay(*day) || !year) {
        return false;
    }
    date.month = *month;
    date.day = *day;
    date.year = text.size() == 8 ? (*year < 50 ? 2000 : 1900) + *year : *year;
    return true;
}

// "09:09PM"
bool ReadDosClock(std::string_view text, Date& date) {
    std::string_view rest;
    if (!ReadClock(text, date, rest) || date.hour > 12) {
        return false;
    }
    const bool pm = EqualsIgnoreCase(rest, "PM");
    if (!pm && !EqualsIgnoreCase(rest, "AM")) {
        return false;
    }
    date.hour = date.hour % 12 + (pm ? 12 : 0);
    return true;
}

// "04-27-00  09:09PM       <DIR>          licensed" or, for a file, its size in
// place of "<DIR>".
bool ParseDos(std::string_view line, CFtpListEntry& entry) {
    const std::vector<Field> fields = SplitFields(line);
    Date date;
    if (fields.size() < 4 || !ReadDosDate(fields[0].text, date) ||
        !ReadDosClock(fields[1].text, date)) {
        return false;
    }
    if (fields[2].text[0] == '<') {
        entry.isDirectory = true;
    } else if (const auto size = ReadSize(fields[2].text)) {
        entry.size = *size;
    } else {
        return false;
    }
    entry.name = line.substr(fields[3].start);
    SetListedTime(entry, date.ToSeconds(), FtpTimePrecision::Minute);
    return true;
}

// Leading white space and the line's end (CR, LF) are not part of any field.
std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && IsSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return line;
}

bool IsUnixTypeLetter(char c) {
    return c == 'b' || c == 'c' || c == 'd' || c == 'l' || c == 'p' || c == 's' || c == '-';
}

}  // namespace

std::int64_t DaysSinceEpoch(std::int64_t year, int month, int day) {
    // Counted from March, so that the leap day ends the year: months of
    // 306 days per ten, years of 365 days with a leap day every fourth,
    // centuries of 36524 days and 400-year cycles of 146097.
    const std::int64_t shiftedYear = month <= 2 ? year - 1 : year;
    const std::int64_t era = (shiftedYear >= 0 ? shiftedYear : shiftedYear - 399) / 400;
    const std::int64_t yearOfEra = shiftedYear - era * 400;
    const std::int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ParseListLine(std::string_view line, CFtpListEntry& entry, std::int64_t now) {
    entry = CFtpListEntry();
    line = TrimLine(line);
    if (line.empty()) {
        return false;
    }
    if (line[0] == '+') {
        return ParseEplf(line, entry);
    }
    if (IsUnixTypeLetter(line[0])) {
        return ParseUnix(line, entry, now);
    }
    if (line.find(';') != std::string_view::npos) {
        return ParseMultiNet(line, entry);
    }
    if (IsDigit(line[0])) {
        return ParseDos(line, entry);
    }
    return false;
}

bool ParseListLine(std::string_view line, CFtpListEntry& entry) {
    return ParseListLine(line, entry, static_cast<std::int64_t>(std::time(nullptr)));
}
