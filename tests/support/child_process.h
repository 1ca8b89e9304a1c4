// Starting the outside programs that tests talk to (servers, openssl).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testing_support {

// The full path of a program, looked up in PATH and the sbin folders that a
// non-root PATH often lacks; empty when it is not installed.
inline std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(std::string(path != nullptr ? path : "") +
                              ":/usr/local/sbin:/usr/sbin:/sbin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

// A child process with stdin from /dev/null and stdout and stderr appended to
// outputFile, or stdout to stdoutFd when one is given. It starts with
// SIGPIPE at its default, as from a shell. Stopped (SIGTERM, then SIGKILL)
// when the object goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                 int stdoutFd = -1) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, stdoutFd >= 0 ? stdoutFd : 2, 1);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        if (::posix_spawnp(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool IsRunning() {
        if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            m_pid = -1;
        }
        return m_pid > 0;
    }

    // Waits for the end; the exit code, or -1 when it did not exit normally.
    int Wait() {
        if (m_pid > 0 && ::waitpid(m_pid, &m_status, 0) == m_pid) {
            m_pid = -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

    // Sends the signal to a running child.
    void Signal(int signal) {
        if (IsRunning()) {
            ::kill(m_pid, signal);
        }
    }

    void Stop() {
        if (!IsRunning()) {
            return;
        }
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 100 && IsRunning(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (IsRunning()) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs a program to its end; its exit code (-1 when it could not run).
inline int RunProgram(const std::vector<std::string>& arguments, const std::string& outputFile) {
    return ChildProcess(arguments, outputFile).Wait();
}

// Runs a program to its end with its stdout into a pipe whose reader has
// gone, its stderr to errorFile; its exit code (-1 when it did not exit).
inline int RunProgramIntoClosedPipe(const std::vector<std::string>& arguments,
                                    const std::string& errorFile) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return -1;
    }
    ::close(ends[0]);
    ChildProcess child(arguments, errorFile, ends[1]);
    ::close(ends[1]);
    return child.Wait();
}

}  // namespace testing_support
