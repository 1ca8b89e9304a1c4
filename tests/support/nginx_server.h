// An nginx of the test's own on a free loopback port, with its config, logs,
// pid file, temporary folders and document root inside one folder. It runs
// in the foreground as a single process (no master, so no switch to another
// user) and is killed when the object goes; system services are never used.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/loopback_server_process.h"
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
        const bool started = m_process.Start(
            [this](int port) {
                WriteFile(ConfigFile(), Config(port));
                return std::vector<std::string>{
                    FindProgram("nginx"), "-p", m_folder.string() + "/", "-e", ErrorLog(), "-c",
                    ConfigFile()};
            },
            (m_folder / "nginx.out").string());
        if (!started) {
            throw std::runtime_error("nginx did not start: " + ReadFile(ErrorLog()) +
                                     ReadFile((m_folder / "nginx.out").string()));
        }
    }

    void Stop() { m_process.Stop(); }

    int Port() const { return m_process.Port(); }
    std::filesystem::path DocumentRoot() const { return m_folder / "html"; }
    // One line per request: "<request line> <status> sni=<server name>".
    std::string AccessLog() const { return ReadFile((m_folder / "access.log").string()); }
    std::string ErrorLog() const { return (m_folder / "error.log").string(); }

private:
    std::string ConfigFile() const { return (m_folder / "nginx.conf").string(); }

    std::string Config(int port) const {
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
            std::to_string(port) + (tls ? " ssl" : "") +
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

    std::filesystem::path m_folder;
    std::string m_directives;
    std::string m_httpDirectives;
    std::string m_certificateFile;
    std::string m_keyFile;
    LoopbackServerProcess m_process;
};

}  // namespace testing_support
