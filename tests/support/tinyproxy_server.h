// A tinyproxy of the test's own on a loopback port, in the foreground, with
// its config and log in one folder.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/child_process.h"
#include "support/loopback_server_process.h"
#include "support/temp_folder.h"

namespace testing_support {

class TinyproxyServer {
public:
    static bool IsInstalled() { return !FindProgram("tinyproxy").empty(); }

    explicit TinyproxyServer(std::filesystem::path folder) : m_folder(std::move(folder)) {
        std::filesystem::create_directories(m_folder);
    }

    // Clients must answer the proxy's Basic challenge with these.
    void SetBasicAuth(std::string user, std::string password) {
        m_user = std::move(user);
        m_password = std::move(password);
    }

    void Start() {
        // Run as root, tinyproxy drops to nobody, which must still write its log.
        WriteFile(LogFile(), "");
        std::filesystem::permissions(LogFile(), std::filesystem::perms::all,
                                     std::filesystem::perm_options::add);
        OpenToOthers(m_folder);
        const bool started = m_process.Start(
            [this](int port) {
                WriteFile(ConfigFile(), Config(port));
                return std::vector<std::string>{FindProgram("tinyproxy"), "-d", "-c", ConfigFile()};
            },
            (m_folder / "tinyproxy.out").string());
        if (!started) {
            throw std::runtime_error("tinyproxy did not start: " +
                                     ReadFile((m_folder / "tinyproxy.out").string()));
        }
    }

    int Port() const { return m_process.Port(); }
    // One line per event; each request the proxy takes is logged with its request line.
    std::string Log() const { return ReadFile(LogFile()); }

private:
    std::string ConfigFile() const { return (m_folder / "tinyproxy.conf").string(); }
    std::string LogFile() const { return (m_folder / "tinyproxy.log").string(); }

    std::string Config(int port) const {
        std::string config = "Port " + std::to_string(port) +
                             "\nListen 127.0.0.1\nTimeout 30\nLogFile \"" + LogFile() +
                             "\"\nLogLevel Info\nMaxClients 8\nAllow 127.0.0.1\n";
        if (::geteuid() == 0) {
            config += "User nobody\nGroup nogroup\n";
        }
        if (!m_user.empty()) {
            config += "BasicAuth " + m_user + " " + m_password + "\n";
        }
        return config;
    }

    std::filesystem::path m_folder;
    std::string m_user;
    std::string m_password;
    LoopbackServerProcess m_process;
};

}  // namespace testing_support
