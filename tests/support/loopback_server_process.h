// A server program of a test's own on a free loopback port: the test writes
// its config for the port that is offered and names the command; the process
// is started, retried on another port if it loses the race for one, and
// stopped when the object goes. System services are never used.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace testing_support {

// Servers started as root switch to an unprivileged user, which must still
// reach their files: opens path and every folder above it up to the system
// temp folder for reading by others.
inline void OpenToOthers(const std::filesystem::path& path) {
    using std::filesystem::perms;
    const auto add = [](const std::filesystem::path& entry) {
        const bool folder = std::filesystem::is_directory(entry);
        std::filesystem::permissions(
            entry,
            perms::group_read | perms::others_read |
                (folder ? perms::group_exec | perms::others_exec : perms::none),
            std::filesystem::perm_options::add);
    };
    add(path);
    const std::filesystem::path top = std::filesystem::temp_directory_path();
    const std::filesystem::path relative = path.lexically_relative(top);
    if (relative.empty() || *relative.begin() == "..") {
        return;
    }
    for (auto folder = path.parent_path(); folder.has_relative_path() && folder != top;
         folder = folder.parent_path()) {
        add(folder);
    }
}

// A TCP port that nobody listens on at host (an address of the loopback
// network) at the time of the call.
inline int FreePort(const char* host = "127.0.0.1") {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, host, &address.sin_addr);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

class LoopbackServerProcess {
public:
    // Returns the command line of a server that will listen on 127.0.0.1:port.
    using Launcher = std::function<std::vector<std::string>(int port)>;

    // False when the server never accepted a connection.
    bool Start(const Launcher& launch, const std::string& outputFile) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FreePort();
            m_process = std::make_unique<ChildProcess>(launch(m_port), outputFile);
            if (WaitUntilListening()) {
                return true;
            }
        }
        return false;
    }

    void Stop() { m_process.reset(); }
    int Port() const { return m_port; }

private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }

    bool CanConnect() const {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(m_port);
        const bool connected =
            ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        return connected;
    }

    bool WaitUntilListening() {
        for (int i = 0; i < 200 && m_process->IsRunning(); ++i) {
            if (CanConnect()) {
                // Someone else may own the port if the server lost the race for it.
                return m_process->IsRunning();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        m_process.reset();
        return false;
    }

    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

}  // namespace testing_support
