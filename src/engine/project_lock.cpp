#include "engine/project_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace {

constexpr mode_t kLockFileMode = 0644;

pid_t ReadHolder(int fd) {
    char text[32] = {};
    const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
    pid_t holder = 0;
    if (length > 0) {
        std::from_chars(text, text + length, holder);
    }
    return holder;
}

bool WriteHolder(int fd) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    return ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
}

// A releasing holder removes the file after this process opened it: the
// lock then lies on a file that no one else will ever open.
bool IsStillTheFileAt(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool IsPlainFile(int fd) {
    struct stat opened {};
    return ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
}

}  // namespace

CProjectLock::~CProjectLock() {
    Release();
}

bool CProjectLock::Acquire(const std::string& projectPath, pid_t& holder) {
    Release();
    const std::string path = LockPathOf(projectPath);
    for (;;) {
        // Whatever a link names would be truncated and written; a pipe would
        // hold the open, so it is not waited for.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                              kLockFileMode);
        if (fd < 0) {
            holder = errno == ELOOP || errno == EISDIR ? kNotAFile : kCannotOpen;
            return false;
        }
        if (!IsPlainFile(fd)) {
            ::close(fd);
            holder = kNotAFile;
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            holder = ReadHolder(fd);
            ::close(fd);
            return false;
        }
        if (!IsStillTheFileAt(fd, path)) {
            ::close(fd);
            continue;
        }
        // The lock holds even when the name of its holder cannot be written.
        static_cast<void>(WriteHolder(fd));
        m_fd = fd;
        m_path = path;
        return true;
    }
}

std::string CProjectLock::DescribeRefusal(const std::string& projectPath, pid_t holder) {
    if (holder > 0) {
        return projectPath + " is in use by process " + std::to_string(holder);
    }
    if (holder == 0) {
        return projectPath + " is in use by another process";
    }
    if (holder == kNotAFile) {
        return projectPath + ": its lock file " + LockPathOf(projectPath) +
               " is not a regular file (a symbolic link is never followed); remove it to go on";
    }
    return projectPath + ": cannot create its lock file " + LockPathOf(projectPath);
}

void CProjectLock::Release() {
    if (m_fd < 0) {
        return;
    }
    // Removed while still locked, so that no one locks the old file after it.
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
}
