// Small text helpers for header values. They work on ASCII only and never
// depend on the C locale, since header bytes come from servers, not users.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/ascii.h"

// The white space of the C locale: space, tab, LF, VT, FF and CR.
bool IsHeaderSpace(char c);

std::string_view TrimHeaderSpace(std::string_view text);

// Reads the decimal number at the start of text, after any white space, and
// stops at the first non-digit. Empty when no digit follows or the number does
// not fit in a signed 32-bit value, so that a hostile length never wraps.
std::optional<std::int32_t> ReadDecimal(std::string_view text);
// The same for a hexadecimal number (digits of either case).
std::optional<std::int32_t> ReadHexadecimal(std::string_view text);
