// The stream abstraction through which all files are read and written, with
// the binary encoding of stored records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CStream {
public:
    // A stored string holds at most this many bytes before its terminator.
    static constexpr std::size_t kMaxStringLength = 1023;

    enum SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

    virtual ~CStream() = default;

    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual bool ReadByte(std::uint8_t& byte) = 0;
    virtual bool WriteByte(std::uint8_t byte) = 0;
    virtual bool Seek(std::int64_t offset, int origin) = 0;
    virtual std::int64_t GetPosition() = 0;
    virtual void Flush() = 0;
    virtual std::int64_t GetLength() = 0;
    virtual void SetLength(std::int64_t length) = 0;

    // 8-bit values: one byte.
    CStream& operator<<(std::uint8_t value);
    CStream& operator>>(std::uint8_t& value);
    CStream& operator<<(bool value) { return *this << static_cast<std::uint8_t>(value); }
    CStream& operator>>(bool& value);
    // 32-bit integers: four bytes, little-endian.
    CStream& operator<<(std::uint32_t value);
    CStream& operator>>(std::uint32_t& value);
    CStream& operator<<(std::int32_t value) { return *this << static_cast<std::uint32_t>(value); }
    CStream& operator>>(std::int32_t& value);
    // Strings: the bytes, then one zero byte. A string longer than
    // kMaxStringLength could never be read back, so it is refused with
    // ERR_STREAM_DATA before anything is written.
    CStream& operator<<(std::string_view value);
    CStream& operator<<(const std::string& value) { return *this << std::string_view(value); }
    CStream& operator<<(const char* value) { return *this << std::string_view(value); }
    CStream& operator>>(std::string& value);
};
