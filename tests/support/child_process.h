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
// outputFile. Stopped (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& outputFile) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
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

}  // namespace testing_support
