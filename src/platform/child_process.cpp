#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace {

// A child that writes without line ends still yields lines of this length,
// so that its output never piles up in memory.
constexpr std::size_t kMaxLineLength = 65536;

// The child starts with no blocked signal and every handler at its default,
// whatever the parent set, in a process group of its own: a Ctrl+C at the
// terminal reaches the parent alone, which decides what becomes of the child.
class CSpawnAttributes {
public:
    CSpawnAttributes() {
        ::posix_spawnattr_init(&m_attributes);
        sigset_t signals;
        ::sigemptyset(&signals);
        ::posix_spawnattr_setsigmask(&m_attributes, &signals);
        ::sigfillset(&signals);
        ::posix_spawnattr_setsigdefault(&m_attributes, &signals);
        ::posix_spawnattr_setpgroup(&m_attributes, 0);
        ::posix_spawnattr_setflags(
            &m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    ~CSpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    CSpawnAttributes(const CSpawnAttributes&) = delete;
    CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;

    const posix_spawnattr_t* Get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

class CSpawnActions {
public:
    CSpawnActions(int outputFd, const std::string& workingFolder) {
        ::posix_spawn_file_actions_init(&m_actions);
        ::posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_adddup2(&m_actions, outputFd, STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&m_actions, outputFd, STDERR_FILENO);
        if (!workingFolder.empty()) {
            ::posix_spawn_file_actions_addchdir_np(&m_actions, workingFolder.c_str());
        }
    }
    ~CSpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;

    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// Through the system call: glibc 2.36 declares its wrapper without C linkage.
int OpenPidFd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

CChildProcess::~CChildProcess() {
    if (m_pid > 0 && !m_status) {
        Kill();
        Reap();
    }
    CloseOutput();
    CloseFd(m_pidFd);
}

int CChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingFolder) {
    if (m_pid > 0) {
        return EBUSY;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return errno;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    const CSpawnActions actions(pipeFds[1], workingFolder);
    const CSpawnAttributes attributes;
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, program.c_str(), actions.Get(), attributes.Get(),
                                     argv.data(), environ);
    ::close(pipeFds[1]);
    if (error != 0) {
        ::close(pipeFds[0]);
        return error;
    }
    m_pid = pid;
    m_outputFd = pipeFds[0];
    m_pidFd = OpenPidFd(pid);
    if (m_pidFd < 0) {
        const int openError = errno;
        Kill();
        Reap();
        return openError;
    }
    return 0;
}

CChildProcess::ReadResult CChildProcess::ReadLine(std::string& line, int ms) {
    while (!TakeLine(line)) {
        if (m_outputFd < 0) {
            if (m_pending.empty()) {
                return ReadResult::kEnd;
            }
            line = std::exchange(m_pending, {});
            return ReadResult::kLine;
        }
        if (!ReadMore(ms)) {
            return ReadResult::kTimeout;
        }
    }
    return ReadResult::kLine;
}

bool CChildProcess::ReadMore(int ms) {
    pollfd entry{m_outputFd, POLLIN, 0};
    if (::poll(&entry, 1, ms) <= 0) {
        return false;
    }
    char buffer[4096];
    const ssize_t count = ::read(m_outputFd, buffer, sizeof buffer);
    if (count > 0) {
        m_pending.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
        CloseOutput();
    }
    return true;
}

bool CChildProcess::TakeLine(std::string& line) {
    const std::size_t end = m_pending.find('\n');
    if (end == std::string::npos) {
        if (m_pending.size() < kMaxLineLength) {
            return false;
        }
        line = m_pending.substr(0, kMaxLineLength);
        m_pending.erase(0, kMaxLineLength);
        return true;
    }
    line.assign(m_pending, 0, end);
    m_pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

void CChildProcess::CloseOutput() {
    CloseFd(m_outputFd);
}

void CChildProcess::Kill() {
    // Until the child is reaped its id, which also names its group, cannot
    // be reused, so the signal reaches the right processes.
    if (m_pid > 0 && !m_status) {
        ::kill(-m_pid, SIGKILL);
    }
}

std::optional<int> CChildProcess::Wait(int ms) {
    if (m_pid <= 0) {
        return -1;
    }
    if (!m_status) {
        pollfd entry{m_pidFd, POLLIN, 0};
        if (::poll(&entry, 1, ms) <= 0) {
            return std::nullopt;
        }
        Reap();
    }
    return m_status;
}

void CChildProcess::Reap() {
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(m_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    m_status = (result == m_pid && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}
