#pragma once

#include <string>

#include "base/stream.h"

// A stream over bytes in memory: journal records are built and read in it, in
// the project file's encoding, and tests build and inspect stored bytes in it.
class CStringStream : public CStream {
public:
    CStringStream() = default;
    explicit CStringStream(std::string bytes) : m_bytes(std::move(bytes)) {}

    std::string& Bytes() { return m_bytes; }
    const std::string& Bytes() const { return m_bytes; }
    bool AtEnd() const { return m_position == m_bytes.size(); }

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    bool ReadByte(std::uint8_t& byte) override { return Read(&byte, 1) == 1; }
    bool WriteByte(std::uint8_t byte) override { return Write(&byte, 1) == 1; }
    bool Seek(std::int64_t offset, int origin) override;
    std::int64_t GetPosition() override { return static_cast<std::int64_t>(m_position); }
    void Flush() override {}
    std::int64_t GetLength() override { return static_cast<std::int64_t>(m_bytes.size()); }
    void SetLength(std::int64_t length) override;

private:
    std::string m_bytes;
    std::size_t m_position = 0;
};
