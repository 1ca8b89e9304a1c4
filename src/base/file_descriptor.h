// An operating-system file descriptor that closes itself.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

class CFileDescriptor {
public:
    CFileDescriptor() = default;
    // Takes fd over; a negative fd stands for none.
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { Reset(); }

    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Hands the descriptor to the caller, who closes it.
    int Release() { return std::exchange(m_fd, -1); }
    // Keeps errno, so that a failure can still be read after the descriptor
    // of an earlier step is closed.
    void Reset(int fd = -1) {
        if (m_fd >= 0) {
            const int error = errno;
            ::close(m_fd);
            errno = error;
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};
