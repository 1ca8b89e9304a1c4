// An apache2 of the test's own on a loopback port: one process in the
// foreground (-X) with its config, password files, logs and document root in
// one folder, and only the modules that authentication needs.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "support/child_process.h"
#include "support/loopback_server_process.h"
#include "support/temp_folder.h"

namespace testing_support {

class ApacheServer {
public:
    static constexpr const char* kModuleFolder = "/usr/lib/apache2/modules";

    static bool IsInstalled() {
        return !FindProgram("apache2").empty() && !FindProgram("htpasswd").empty() &&
               !FindProgram("openssl").empty() &&
               std::filesystem::exists(std::string(kModuleFolder) + "/mod_auth_digest.so");
    }

    // Run as root, apache serves as www-data, so the folder is opened to others.
    explicit ApacheServer(std::filesystem::path folder) : m_folder(std::move(folder)) {
        std::filesystem::create_directories(DocumentRoot());
        OpenToOthers(DocumentRoot());
    }

    std::filesystem::path DocumentRoot() const { return m_folder / "html"; }
    std::string BasicPasswordFile() const { return (m_folder / "basic.passwd").string(); }
    std::string DigestPasswordFile() const { return (m_folder / "digest.passwd").string(); }

    // Writes a file below the document root, its folders readable by the server.
    void AddFile(const std::string& path, const std::string& content) const {
        const std::filesystem::path file = DocumentRoot() / path;
        std::filesystem::create_directories(file.parent_path());
        WriteFile(file.string(), content);
        OpenToOthers(file);
    }

    // htpasswd makes the Basic entry.
    void AddBasicUser(const std::string& user, const std::string& password) const {
        const bool create = !std::filesystem::exists(BasicPasswordFile());
        Run({FindProgram("htpasswd"), create ? "-bc" : "-b", BasicPasswordFile(), user, password});
        OpenToOthers(BasicPasswordFile());
    }

    // The Digest entry is user:realm:MD5(user:realm:password), hashed by the
    // openssl tool so that the test does not trust the code under test.
    void AddDigestUser(const std::string& user, const std::string& realm,
                       const std::string& password) const {
        const std::string input = (m_folder / "ha1.in").string();
        const std::string output = (m_folder / "ha1.out").string();
        WriteFile(input, user + ":" + realm + ":" + password);
        std::filesystem::remove(output);
        Run({FindProgram("openssl"), "dgst", "-md5", "-r", "-out", output, input});
        const std::string hash = ReadFile(output).substr(0, 32);
        std::ofstream(DigestPasswordFile(), std::ios::app)
            << user << ':' << realm << ':' << hash << '\n';
        OpenToOthers(DigestPasswordFile());
    }

    // Directives after the base config: directories, locations, auth.
    void SetDirectives(std::string directives) { m_directives = std::move(directives); }

    void Start() {
        const bool started = m_process.Start(
            [this](int port) {
                WriteFile(ConfigFile(), Config(port));
                return std::vector<std::string>{FindProgram("apache2"), "-X", "-f", ConfigFile()};
            },
            (m_folder / "apache.out").string());
        if (!started) {
            throw std::runtime_error("apache2 did not start: " + ReadFile(ErrorLog()) +
                                     ReadFile((m_folder / "apache.out").string()));
        }
    }

    int Port() const { return m_process.Port(); }
    std::string ErrorLog() const { return (m_folder / "error.log").string(); }
    // One line per request: method, path as sent, status.
    std::string AccessLog() const { return (m_folder / "access.log").string(); }

private:
    void Run(const std::vector<std::string>& arguments) const {
        const std::string log = (m_folder / "tools.log").string();
        if (RunProgram(arguments, log) != 0) {
            throw std::runtime_error(arguments.front() + " failed: " + ReadFile(log));
        }
    }

    std::string ConfigFile() const { return (m_folder / "apache.conf").string(); }

    std::string Config(int port) const {
        const std::string folder = m_folder.string();
        std::string config = "ServerRoot \"" + folder +
                             "\"\nServerName localhost\nListen 127.0.0.1:" + std::to_string(port) +
                             "\nPidFile \"" + folder + "/apache.pid\"\nErrorLog \"" + ErrorLog() +
                             "\"\nLogLevel info\nCustomLog \"" + AccessLog() +
                             "\" \"%m %U%q %>s\"\n";
        if (::geteuid() == 0) {
            config += "User www-data\nGroup www-data\n";
        }
        for (const char* module : {"mpm_prefork", "authz_core", "authz_user", "authn_core",
                                   "authn_file", "auth_basic", "auth_digest"}) {
            config += std::string("LoadModule ") + module + "_module " + kModuleFolder + "/mod_" +
                      module + ".so\n";
        }
        return config + "DocumentRoot \"" + DocumentRoot().string() + "\"\n" + m_directives;
    }

    std::filesystem::path m_folder;
    std::string m_directives;
    LoopbackServerProcess m_process;
};

}  // namespace testing_support
