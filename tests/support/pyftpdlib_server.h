// A pyftpdlib FTP server of the test's own on a loopback port, serving one
// folder to anonymous users read-only; stopped when the object goes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/loopback_server_process.h"
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

    void Start() {
        const bool started = m_process.Start(
            [this](int port) {
                return std::vector<std::string>{m_python,       "-m", "pyftpdlib",          "-i",
                                                "127.0.0.1",    "-p", std::to_string(port), "-d",
                                                Root().string()};
            },
            Output());
        if (!started) {
            throw std::runtime_error("pyftpdlib did not start: " + ReadFile(Output()));
        }
    }

    int Port() const { return m_process.Port(); }
    std::filesystem::path Root() const { return m_folder / "root"; }

private:
    std::string Output() const { return (m_folder / "pyftpdlib.out").string(); }

    std::string m_python;
    std::filesystem::path m_folder;
    LoopbackServerProcess m_process;
};

}  // namespace testing_support
