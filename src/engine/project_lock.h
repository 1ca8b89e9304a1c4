// An advisory lock that one front end holds on a project while it may change
// the project file, so that two never crawl or rewrite one project
// at once. The project file is replaced by rename on every save, so the lock
// lies on a file of its own beside it, "<project>.lock", which holds the
// holder's process id and is removed when the lock is released.
#pragma once

#include <sys/types.h>

#include <string>

class CProjectLock {
public:
    CProjectLock() = default;
    ~CProjectLock();
    CProjectLock(const CProjectLock&) = delete;
    CProjectLock& operator=(const CProjectLock&) = delete;

    // What holder tells when Acquire fails besides another holder's id (0
    // when that cannot be read).
    static constexpr pid_t kCannotOpen = -1;
    // A link or anything else but a file stands at the lock's name; it is
    // neither followed nor written.
    static constexpr pid_t kNotAFile = -2;

    // Takes the lock of the project at projectPath without waiting. False
    // when another process holds it (holder is its process id, 0 when it
    // cannot be read) or when the lock file cannot be used (kCannotOpen,
    // kNotAFile).
    bool Acquire(const std::string& projectPath, pid_t& holder);

    static std::string LockPathOf(const std::string& projectPath) { return projectPath + ".lock"; }
    // Why the project at projectPath cannot be taken, from the holder that
    // Acquire told: "<project> is in use by process N" and the like.
    static std::string DescribeRefusal(const std::string& projectPath, pid_t holder);

private:
    void Release();

    int m_fd = -1;
    std::string m_path;
};
