// Basic and Digest answers checked by a real apache2 (mod_auth_basic and
// mod_auth_digest) that the test starts on a loopback port.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/http_client.h"
#include "support/apache_server.h"
#include "support/http_download.h"
#include "support/missing_server.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ApacheServer;
using testing_support::Download;
using testing_support::HttpDownload;
using testing_support::RequestFor;
using testing_support::TempFolder;

constexpr const char* kDigestRealm = "digest realm";

class HttpAuthApacheTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!ApacheServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        s_server = std::make_unique<ApacheServer>(s_folder->Path() / "apache");
        s_server->AddFile("basic/page.html", "<p>basic</p>");
        s_server->AddFile("digest/page.html", "<p>digest</p>");
        s_server->AddFile("digest/sub dir/a.txt", "spaced");
        s_server->AddBasicUser("alice", "open sesame");
        s_server->AddDigestUser("Mufasa", kDigestRealm, "Circle Of Life");
        const std::string root = s_server->DocumentRoot().string();
        s_server->SetDirectives("<Directory \"" + root +
                                "/basic\">\n  AuthType Basic\n  AuthName \"basic realm\"\n"
                                "  AuthUserFile \"" +
                                s_server->BasicPasswordFile() +
                                "\"\n  Require valid-user\n</Directory>\n"
                                "<Directory \"" +
                                root + "/digest\">\n  AuthType Digest\n  AuthName \"" +
                                kDigestRealm + "\"\n  AuthUserFile \"" +
                                s_server->DigestPasswordFile() +
                                "\"\n  Require valid-user\n</Directory>\n");
        s_server->Start();
    }

    static void TearDownTestSuite() {
        s_server.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_server) {
            TARNWICK_MISSING_SERVER("apache2 with mod_auth_digest is not installed");
        }
        m_client.SetTimeouts(10000, 10000, 10000);
    }

    static std::string Url(const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(s_server->Port()) + path;
    }

    static std::unique_ptr<TempFolder> s_folder;
    static std::unique_ptr<ApacheServer> s_server;

    CHttpClient m_client;
};

std::unique_ptr<TempFolder> HttpAuthApacheTest::s_folder;
std::unique_ptr<ApacheServer> HttpAuthApacheTest::s_server;

TEST_F(HttpAuthApacheTest, ServerAcceptsOnlyTheRightAnswers) {
    struct Case {
        const char* path;
        const char* user;
        const char* password;
        HttpMethod method;
        ResultCode result;
        const char* body;
    };
    const Case cases[] = {
        {"/basic/page.html", "alice", "open sesame", METHOD_GET, ERR_SUCCESS, "<p>basic</p>"},
        {"/basic/page.html", "alice", "open sesame", METHOD_HEAD, ERR_SUCCESS, ""},
        {"/basic/page.html", "alice", "wrong", METHOD_GET, ERR_HTTP_CLIENT_ERROR, ""},
        {"/basic/page.html", "", "", METHOD_GET, ERR_HTTP_CLIENT_ERROR, ""},
        {"/digest/page.html", "Mufasa", "Circle Of Life", METHOD_GET, ERR_SUCCESS, "<p>digest</p>"},
        // The method enters the digest.
        {"/digest/page.html", "Mufasa", "Circle Of Life", METHOD_HEAD, ERR_SUCCESS, ""},
        // The uri field must be the request target, query and escapes included.
        {"/digest/page.html?a=1&b=%7E", "Mufasa", "Circle Of Life", METHOD_GET, ERR_SUCCESS,
         "<p>digest</p>"},
        // Apache refuses a target with a fragment, so none is sent.
        {"/digest/page.html#part", "Mufasa", "Circle Of Life", METHOD_GET, ERR_SUCCESS,
         "<p>digest</p>"},
        {"/digest/sub%20dir/a.txt", "Mufasa", "Circle Of Life", METHOD_GET, ERR_SUCCESS, "spaced"},
        {"/digest/page.html", "Mufasa", "circle of life", METHOD_GET, ERR_HTTP_CLIENT_ERROR, ""},
        {"/digest/page.html", "Simba", "Circle Of Life", METHOD_GET, ERR_HTTP_CLIENT_ERROR, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.user + ":" + c.password);
        const HttpDownload download =
            Download(m_client, RequestFor(Url(c.path), c.user, c.password), c.method);
        EXPECT_EQ(download.request, c.result);
        EXPECT_EQ(download.body, ERR_SUCCESS);
        EXPECT_EQ(download.bytes, c.body);
        if (c.result == ERR_SUCCESS) {
            EXPECT_EQ(download.status, 200);
        }
    }
}

}  // namespace
