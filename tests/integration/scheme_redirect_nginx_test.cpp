// Redirects between http and https against nginx: a crawl follows a switch of
// scheme, and a ping-pong between the two ends within the redirect bound.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "protocol/http_client.h"
#include "support/crawl_window.h"
#include "support/loopback_server_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/test_ca.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::FreePort;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;

class SchemeRedirectTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::IsInstalled() || !testing_support::TestCa::IsAvailable()) {
            TARNWICK_MISSING_SERVER("nginx or openssl is not installed");
        }
        m_options.SetRetries(1);
        // The requests that the test counts are the site's own, without robots.txt.
        m_options.SetRobots(false);
        const testing_support::TestCa ca(m_folder.Path(), "Tarnwick Test CA");
        const auto certificate = ca.Issue("server", {"127.0.0.1"});
        m_trust = std::make_unique<testing_support::ScopedEnv>("SSL_CERT_FILE",
                                                               ca.CertificateFile().c_str());
        const std::string root = m_folder.File("secure");
        std::filesystem::create_directories(root);
        testing_support::WriteFile(root + "/file.txt", "over TLS\n");
        std::filesystem::create_directories(root + "/private");
        testing_support::WriteFile(root + "/private/file.txt", "for alice\n");
        const std::string users = m_folder.File("users");
        testing_support::WriteFile(users, "alice:{PLAIN}s3cret\n");
        const std::string log = m_folder.File("requests.log");
        // Everything on the plain port moves to https; on https, /loop/ moves
        // back and /private/ asks for a password.
        m_nginx.SetHttpDirectives(
            "  log_format scheme '$scheme $request_method $request_uri $status';\n"
            "  server {\n    listen 127.0.0.1:" +
            std::to_string(m_plainPort) + ";\n    access_log " + log +
            " scheme;\n    return 301 https://127.0.0.1:" + std::to_string(m_securePort) +
            "$request_uri;\n  }\n"
            "  server {\n    listen 127.0.0.1:" +
            std::to_string(m_securePort) + " ssl;\n    ssl_certificate " +
            certificate.certificateFile + ";\n    ssl_certificate_key " + certificate.keyFile +
            ";\n    root " + root + ";\n    access_log " + log +
            " scheme;\n"
            "    location /loop/ { return 301 http://127.0.0.1:" +
            std::to_string(m_plainPort) +
            "$request_uri; }\n"
            "    location /private/ { auth_basic \"r\"; auth_basic_user_file " +
            users + "; }\n  }\n");
        m_nginx.Start();
    }

    void Crawl(const std::string& path) {
        CUrl start;
        ASSERT_TRUE(start.Parse("http://127.0.0.1:" + std::to_string(m_plainPort) + path));
        m_project.SetStartUrl(start);
        m_project.SetThreadCount(1);
        m_project.SetFolders(m_folder.File("site.files"), "site.files");
        m_controller = std::make_unique<CCrawlController>(m_project);
        m_controller->New(m_window.Target());
        ASSERT_TRUE(m_controller->Start(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished());
    }

    int Requests() const {
        std::istringstream lines(ReadFile(m_folder.File("requests.log")));
        int count = 0;
        for (std::string line; std::getline(lines, line);) {
            ++count;
        }
        return count;
    }

    TempFolder m_folder;
    int m_plainPort = FreePort();
    int m_securePort = FreePort();
    std::unique_ptr<testing_support::ScopedEnv> m_trust;
    NginxServer m_nginx{m_folder.Path() / "nginx"};
    CProgramOptions m_options;
    CProjectSettings m_project;
    CrawlWindow m_window;
    std::unique_ptr<CCrawlController> m_controller;
};

TEST_F(SchemeRedirectTest, ACrawlFollowsASwitchOfScheme) {
    Crawl("/file.txt");
    ASSERT_EQ(m_window.Urls(WM_DL_FILE_SAVED).size(), 1u);
    EXPECT_EQ(ReadFile(m_folder.File("site.files/127.0.0.1_" + std::to_string(m_securePort) +
                                     "/file.txt")),
              "over TLS\n");
}

TEST_F(SchemeRedirectTest, TheSiteKeepsItsPasswordWhenItMovesToHttps) {
    m_project.SetCredentials("alice", "s3cret");
    Crawl("/private/file.txt");
    ASSERT_EQ(m_window.Urls(WM_DL_FILE_SAVED).size(), 1u);
    EXPECT_EQ(ReadFile(m_folder.File("site.files/127.0.0.1_" + std::to_string(m_securePort) +
                                     "/private/file.txt")),
              "for alice\n");
}

TEST_F(SchemeRedirectTest, APingPongBetweenSchemesEndsWithinTheRedirectBound) {
    Crawl("/loop/x");
    ASSERT_EQ(m_window.Urls(WM_DL_URL_DONE).size(), 1u);
    EXPECT_EQ(m_window.Events().back().message, WM_DL_FINISHED);
    bool failed = false;
    for (const auto& event : m_window.Events()) {
        if (event.message == WM_DL_URL_DONE) {
            EXPECT_EQ(event.code, ERR_HTTP_REDIRECT_LOOP);
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    // Each redirect is one HEAD; the bound holds across both clients.
    EXPECT_LE(Requests(), CHttpClient::kMaxRedirects + 1);
    EXPECT_GE(Requests(), CHttpClient::kMaxRedirects);
}

}  // namespace
