// A pyftpdlib FTP server of the test's own on a free loopback port, serving
// one folder to anonymous users read-only. It is stopped when the object goes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace testing_support {

class PyftpdlibServer {
public:
    // A Python that can import pyftpdlib (the Debian package installs it for
    // the system's Python, which need not be the first python3 in PATH);
    // empty when there is none.
    static std::string FindPython(const std::filesystem::path& scratch) {
        for (const std::string& python :
             {std::string("/usr/bin/python3"), FindProgram("python3")}) {
            if (!python.empty() && ::access(python.c_str(), X_OK) == 0 &&
                RunProgram({python, "-c", "import pyftpdlib"}, (scratch / "probe.out").string()) ==
                    0) {
                return python;
            }
        }
        return {};
    }

    PyftpdlibServer(std::string python, std::filesystem::path folder)
        : m_python(std::move(python)), m_folder(std::move(folder)) {
        std::filesystem::create_directories(Root());
    }
    PyftpdlibServer(const PyftpdlibServer&) = delete;
    PyftpdlibServer& operator=(const PyftpdlibServer&) = delete;

    // Starts the server and waits until it accepts connections. Throws with
    // its output when it does not come up.
    void Start() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FreeLoopbackPort();
            m_process = std::make_unique<ChildProcess>(
                std::vector<std::string>{m_python, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                         std::to_string(m_port), "-d", Root().string()},
                Output());
            if (WaitUntilListening()) {
                return;
            }
        }
        throw std::runtime_error("pyftpdlib did not start: " + ReadFile(Output()));
    }

    int Port() const { return m_port; }
    std::filesystem::path Root() const { return m_folder / "root"; }

private:
    std::string Output() const { return (m_folder / "pyftpdlib.out").string(); }

    static int FreeLoopbackPort() {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(probe);
        return ntohs(address.sin_port);
    }

    bool CanConnect() const {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(m_port));
        const bool connected =
            ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        return connected;
    }

    bool WaitUntilListening() {
        // Python needs a moment to start; 10 seconds leave room on a busy machine.
        for (int i = 0; i < 400 && m_process->IsRunning(); ++i) {
            if (CanConnect()) {
                // Someone else may own the port if the server lost the race for it.
                return m_process->IsRunning();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        m_process.reset();
        return false;
    }

    std::string m_python;
    std::filesystem::path m_folder;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

}  // namespace testing_support
