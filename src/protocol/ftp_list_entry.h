// One line of an FTP directory listing. Servers answer LIST in whatever
// layout their platform prints, so the line is read as EPLF, a UNIX long
// listing, MultiNet (VMS) or MS-DOS (IIS), chosen by how it begins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How precisely a listing states when a file changed.
enum class FtpTimePrecision { Unknown, Day, Minute, Exact };

struct CFtpListEntry {
    std::string name;
    // Saturates at the 32-bit limit.
    std::uint32_t size = 0;
    // Seconds since 1970 UTC, only when the listing states it exactly (EPLF);
    // -1 otherwise. A time known to the minute or the day would make an
    // unchanged file look changed, so it is never offered here.
    std::int64_t modificationTime = -1;
    // The time as the listing shows it, read as UTC (-1 when it shows none),
    // and how precisely; a year that the listing leaves out is inferred.
    std::int64_t listedTime = -1;
    FtpTimePrecision listedPrecision = FtpTimePrecision::Unknown;
    bool isDirectory = false;
};

// Fills entry from one listing line (its CR LF may still be attached).
// False when the line is in none of the layouts or names no file; entry is
// then left in an unspecified state. now (seconds since 1970) is the moment
// against which a UNIX listing's missing year is inferred.
bool ParseListLine(std::string_view line, CFtpListEntry& entry, std::int64_t now);
// The same, against the current time.
bool ParseListLine(std::string_view line, CFtpListEntry& entry);

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar
// (negative before 1970). Out-of-range days roll over into the next month.
std::int64_t DaysSinceEpoch(std::int64_t year, int month, int day);
