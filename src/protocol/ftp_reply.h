// The parts of reading FTP control-connection replies that need no
// connection: the syntax of a reply line, where a multi-line reply ends, and
// the values that PASV, SIZE and MDTM replies carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/socket_address.h"

// A reply line is three digits, then a space, or "-" when further lines
// follow; the code is those digits. Empty for any other line.
std::optional<unsigned> ReadReplyCode(std::string_view line);

bool OpensMultiLineReply(std::string_view line);

// A multi-line reply ends with a line that starts with its first line's
// three digits followed by a space.
bool EndsMultiLineReply(std::string_view line, std::string_view firstLine);

// "227 Entering Passive Mode (192,0,2,10,19,137)": the numbers start at the
// first digit after the code, five of them each ended by ",", an empty one
// counting as 0. Empty when a "," is missing or a number exceeds 255.
std::optional<CSocketAddress> ParsePassiveReply(std::string_view reply);

// "213 1000": the decimal size after the code. Empty when no digits follow or
// the size does not fit in 32 bits.
std::optional<std::uint32_t> ParseSizeReply(std::string_view reply);

// "213 20260105093000" or with a fraction ("213 20260105093000.123"): the
// UTC time of an MDTM reply in seconds since 1970, the fraction dropped.
// Empty when the fourteen digits are missing or name no date.
std::optional<std::int64_t> ParseModificationTimeReply(std::string_view reply);
