// An nginx of the test's own on a free loopback port, with its config, logs,
// pid file, temporary folders and document root inside one folder. It runs
// in the foreground as a single process (no master, so no switch to another
// user) and is killed when the object goes; system services are never used.
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

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace testing_support {

class NginxServer {
public:
    static bool IsInstalled() { return !FindProgram("nginx").empty(); }

    explicit NginxServer(std::filesystem::path folder) : m_folder(std::move(folder)) {
        std::filesystem::create_directories(m_folder / "html");
    }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Directives inside the server block, locations included.
    void SetServerDirectives(std::string directives) { m_directives = std::move(directives); }
    // Directives inside the http block, beside the server.
    void SetHttpDirectives(std::string directives) { m_httpDirectives = std::move(directives); }
    // Serves TLS with this certificate and key.
    void SetTls(std::string certificateFile, std::string keyFile) {
        m_certificateFile = std::move(certificateFile);
        m_keyFile = std::move(keyFile);
    }

    // Starts nginx and waits until it accepts connections. Throws with the
    // error log when it does not come up.
    void Start() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FreeLoopbackPort();
            WriteFile(ConfigFile(), Config());
            m_process = std::make_unique<ChildProcess>(
                std::vector<std::string>{FindProgram("nginx"), "-p", m_folder.string() + "/", "-e",
                                         ErrorLog(), "-c", ConfigFile()},
                (m_folder / "nginx.out").string());
            if (WaitUntilListening()) {
                return;
            }
        }
        throw std::runtime_error("nginx did not start: " + ReadFile(ErrorLog()) +
                                 ReadFile((m_folder / "nginx.out").string()));
    }

    void Stop() { m_process.reset(); }

    int Port() const { return m_port; }
    std::filesystem::path DocumentRoot() const { return m_folder / "html"; }
    // One line per request: "<request line> <status> sni=<server name>".
    std::string AccessLog() const { return ReadFile((m_folder / "access.log").string()); }
    std::string ErrorLog() const { return (m_folder / "error.log").string(); }

private:
    std::string ConfigFile() const { return (m_folder / "nginx.conf").string(); }

    std::string Config() const {
        const std::string folder = m_folder.string();
        const bool tls = !m_certificateFile.empty();
        std::string config =
            "daemon off;\n"
            "master_process off;\n"
            "pid " +
            folder +
            "/nginx.pid;\n"
            "error_log " +
            ErrorLog() +
            " info;\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "  log_format tarnwick '$request $status sni=$ssl_server_name';\n"
            "  access_log " +
            folder +
            "/access.log tarnwick;\n"
            "  client_body_temp_path " +
            folder +
            "/client_body;\n"
            "  proxy_temp_path " +
            folder +
            "/proxy;\n"
            "  fastcgi_temp_path " +
            folder +
            "/fastcgi;\n"
            "  uwsgi_temp_path " +
            folder +
            "/uwsgi;\n"
            "  scgi_temp_path " +
            folder +
            "/scgi;\n"
            "  types { text/html html htm; text/plain txt; }\n"
            "  default_type application/octet-stream;\n" +
            m_httpDirectives +
            "  server {\n"
            "    listen 127.0.0.1:" +
            std::to_string(m_port) + (tls ? " ssl" : "") +
            ";\n"
            "    server_name localhost;\n"
            "    root " +
            DocumentRoot().string() + ";\n";
        if (tls) {
            config += "    ssl_certificate " + m_certificateFile +
                      ";\n"
                      "    ssl_certificate_key " +
                      m_keyFile + ";\n";
        }
        return config + m_directives + "  }\n}\n";
    }

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
        for (int i = 0; i < 200 && m_process->IsRunning(); ++i) {
            if (CanConnect()) {
                // Someone else may own the port if nginx lost the race for it.
                return m_process->IsRunning();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        m_process.reset();
        return false;
    }

    std::filesystem::path m_folder;
    std::string m_directives;
    std::string m_httpDirectives;
    std::string m_certificateFile;
    std::string m_keyFile;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

}  // namespace testing_support
