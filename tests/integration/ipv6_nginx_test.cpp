// A site on nginx's [::1] only, mirrored by the command line: the URL with
// an IPv6 literal parses, connects, sends its bracketed Host header, and its
// files and project take names after the literal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "engine/program_options.h"
#include "support/child_process.h"
#include "support/ipv6_loopback.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#ifdef TARNWICK_CLI
namespace {

namespace fs = std::filesystem;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

int FreeIpv6Port() {
    const CFileDescriptor probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin6_port);
}

class Ipv6NginxTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::IsInstalled()) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        if (!testing_support::KernelHasIpv6()) {
            GTEST_SKIP() << testing_support::kNoIpv6;
        }
        m_port = FreeIpv6Port();
        m_nginx = std::make_unique<NginxServer>(m_server.Path() / "nginx");
        const fs::path html = m_nginx->DocumentRoot();
        // The absolute link names the site as a page author would.
        WriteFile((html / "index.html").string(),
                  "<a href=\"a.html\">a</a><a href=\"" + Site() + "/b.txt\">b</a>");
        WriteFile((html / "a.html").string(), "<a href=\"index.html\">home</a>");
        WriteFile((html / "b.txt").string(), "b");
        m_nginx->SetHttpDirectives(
            "  log_format hosts '$request $status host=$http_host';\n"
            "  server {\n    listen [::1]:" +
            std::to_string(m_port) + ";\n    root " + html.string() + ";\n    access_log " + Log() +
            " hosts;\n  }\n");
        m_nginx->Start();
        m_config = std::make_unique<testing_support::ScopedEnv>("TARNWICK_CONFIG_DIR",
                                                                m_work.Path().c_str());
        GetProgramOptions().ResetToDefaults();
        GetProgramOptions().SetRetries(1);
        GetProgramOptions().Save();
        fs::current_path(m_work.Path());
    }
    void TearDown() override { fs::current_path(m_previous); }

    std::string Site() const { return "http://[::1]:" + std::to_string(m_port); }
    std::string Log() const { return (m_server.Path() / "ipv6.log").string(); }

    TempFolder m_server;
    TempFolder m_work;
    int m_port = 0;
    std::unique_ptr<NginxServer> m_nginx;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
    fs::path m_previous = fs::current_path();
};

TEST_F(Ipv6NginxTest, ASiteOnAnIpv6LiteralIsMirroredUnderTheLiteralsName) {
    const std::string output = m_work.File("cli.out");
    ASSERT_EQ(testing_support::RunProgram({TARNWICK_CLI, "mirror", Site() + "/index.html"}, output),
              0)
        << ReadFile(output);
    const std::string host = "[::1]_" + std::to_string(m_port);
    const fs::path saved = m_work.Path() / (host + ".files") / host;
    EXPECT_EQ(ReadFile((saved / "b.txt").string()), "b");
    EXPECT_TRUE(fs::exists(saved / "a.html"));
    // The link pass made the absolute link a local one.
    EXPECT_NE(ReadFile((saved / "index.html").string()).find("href=\"b.txt\""), std::string::npos)
        << ReadFile((saved / "index.html").string());
    EXPECT_TRUE(fs::exists(m_work.Path() / (host + ".tkp")));
    const std::string log = ReadFile(Log());
    const std::string hostHeader = " host=[::1]:" + std::to_string(m_port) + "\n";
    for (const char* request : {"GET /index.html ", "GET /a.html ", "GET /b.txt "}) {
        EXPECT_NE(log.find(request), std::string::npos) << request << "\n" << log;
    }
    EXPECT_NE(log.find("200" + hostHeader), std::string::npos) << log;
    EXPECT_EQ(log.find("host=[::1]\n"), std::string::npos) << log;
}

}  // namespace
#endif
