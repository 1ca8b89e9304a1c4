// Tests build and inspect stored bytes in memory, without touching the disk.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "base/string_stream.h"

namespace testing_support {

// The same stream the program builds journal records in.
using MemoryStream = CStringStream;

// Builds expected stored bytes: strings with their terminator, integers as
// four little-endian bytes, flags as one byte.
class ExpectedBytes {
public:
    ExpectedBytes& Str(const std::string& text) {
        m_bytes += text;
        m_bytes += '\0';
        return *this;
    }
    ExpectedBytes& Int(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            m_bytes += static_cast<char>((value >> shift) & 0xff);
        }
        return *this;
    }
    ExpectedBytes& Bool(bool value) {
        m_bytes += static_cast<char>(value ? 1 : 0);
        return *this;
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

}  // namespace testing_support
