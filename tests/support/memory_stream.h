// A CStream over a string, so that tests can build and inspect stored bytes
// without touching the disk.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "base/stream.h"

namespace testing_support {

class MemoryStream : public CStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : m_bytes(std::move(bytes)) {}

    const std::string& Bytes() const { return m_bytes; }

    std::size_t Read(void* buffer, std::size_t count) override {
        const std::size_t available = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
        const std::size_t n = std::min(count, available);
        if (n == 0) {
            return 0;
        }
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        if (m_position + count > m_bytes.size()) {
            m_bytes.resize(m_position + count);
        }
        std::memcpy(m_bytes.data() + m_position, buffer, count);
        m_position += count;
        return count;
    }
    bool ReadByte(std::uint8_t& byte) override { return Read(&byte, 1) == 1; }
    bool WriteByte(std::uint8_t byte) override { return Write(&byte, 1) == 1; }
    bool Seek(std::int64_t offset, int origin) override {
        const std::int64_t base = origin == kBegin     ? 0
                                  : origin == kCurrent ? static_cast<std::int64_t>(m_position)
                                                       : static_cast<std::int64_t>(m_bytes.size());
        if (base + offset < 0) {
            return false;
        }
        m_position = static_cast<std::size_t>(base + offset);
        return true;
    }
    std::int64_t GetPosition() override { return static_cast<std::int64_t>(m_position); }
    void Flush() override {}
    std::int64_t GetLength() override { return static_cast<std::int64_t>(m_bytes.size()); }
    void SetLength(std::int64_t length) override {
        m_bytes.resize(static_cast<std::size_t>(length));
    }

private:
    std::string m_bytes;
    std::size_t m_position = 0;
};

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
