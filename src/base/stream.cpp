#include "base/stream.h"

#include "base/errors.h"

CStream& CStream::operator<<(std::uint8_t value) {
    Write(&value, 1);
    return *this;
}

CStream& CStream::operator>>(std::uint8_t& value) {
    if (Read(&value, 1) < 1) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    return *this;
}

CStream& CStream::operator>>(bool& value) {
    std::uint8_t byte = 0;
    *this >> byte;
    value = byte != 0;
    return *this;
}

CStream& CStream::operator<<(std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    Write(bytes, sizeof bytes);
    return *this;
}

CStream& CStream::operator>>(std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (Read(bytes, sizeof bytes) < sizeof bytes) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return *this;
}

CStream& CStream::operator>>(std::int32_t& value) {
    std::uint32_t raw = 0;
    *this >> raw;
    value = static_cast<std::int32_t>(raw);
    return *this;
}

CStream& CStream::operator<<(std::string_view value) {
    if (value.size() > kMaxStringLength) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    if (Write(value.data(), value.size()) == value.size()) {
        WriteByte(0);
    }
    return *this;
}

CStream& CStream::operator>>(std::string& value) {
    value.clear();
    std::uint8_t byte = 0;
    while (true) {
        if (!ReadByte(byte)) {
            value.clear();
            ThrowStreamException(ERR_STREAM_DATA);
        }
        if (byte == 0) {
            return *this;
        }
        if (value.size() == kMaxStringLength) {
            value.clear();
            ThrowStreamException(ERR_STREAM_DATA);
        }
        value.push_back(static_cast<char>(byte));
    }
}
