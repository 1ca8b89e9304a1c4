// Dates of HTTP/1.1 headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reads an RFC 1123, RFC 850 or asctime date as UTC into seconds since
// 1970-01-01 00:00 UTC. The zone text is not read. Weekday and month names
// are case-sensitive; a 2-digit year means 19xx; a date before 1900 gives 0.
// The instant is computed without the local time zone, so the machine's
// daylight-saving rules never shift it.
bool ParseHttpDate(std::string_view text, std::int64_t& time);

// The RFC 9110 IMF-fixdate of time, "Sun, 06 Nov 1994 08:49:37 GMT"; a time
// outside the years 0 to 9999 gives an empty string.
std::string FormatHttpDate(std::int64_t time);
