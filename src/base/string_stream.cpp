#include "base/string_stream.h"

#include <algorithm>
#include <cstring>

std::size_t CStringStream::Read(void* buffer, std::size_t count) {
    const std::size_t available = m_bytes.size() - std::min(m_position, m_bytes.size());
    const std::size_t n = std::min(count, available);
    if (n > 0) {
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
    }
    return n;
}

std::size_t CStringStream::Write(const void* buffer, std::size_t count) {
    if (m_position + count > m_bytes.size()) {
        m_bytes.resize(m_position + count);
    }
    std::memcpy(m_bytes.data() + m_position, buffer, count);
    m_position += count;
    return count;
}

bool CStringStream::Seek(std::int64_t offset, int origin) {
    const std::int64_t base = origin == kBegin     ? 0
                              : origin == kCurrent ? static_cast<std::int64_t>(m_position)
                                                   : static_cast<std::int64_t>(m_bytes.size());
    if (base + offset < 0) {
        return false;
    }
    m_position = static_cast<std::size_t>(base + offset);
    return true;
}

void CStringStream::SetLength(std::int64_t length) {
    m_bytes.resize(static_cast<std::size_t>(length));
}
