// Basic and Digest answers checked by a real apache2 (mod_auth_basic and
// mod_auth_digest) that the test starts on a loopback port, and a crawl of
// protected pages counted in its access log.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/program_options.h"
#include "protocol/http_client.h"
#include "support/apache_server.h"
#include "support/child_process.h"
#include "support/http_download.h"
#include "support/missing_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ApacheServer;
using testing_support::Download;
using testing_support::HttpDownload;
using testing_support::RequestFor;
using testing_support::TempFolder;

constexpr const char* kDigestRealm = "digest realm";
// The protected pages of each crawled site, all linked from the first one.
const std::vector<std::string> kProtectedPages = {"a.html", "b.html", "c.html", "d.html", "e.html"};

std::string Protect(const std::string& root, const std::string& folder, const std::string& type,
                    const std::string& realm, const std::string& passwordFile) {
    return "<Directory \"" + root + "/" + folder + "\">\n  AuthType " + type + "\n  AuthName \"" +
           realm + "\"\n  AuthUserFile \"" + passwordFile +
           "\"\n  Require valid-user\n</Directory>\n";
}

// An open index links to the first protected page, which links to the others,
// so that the others are fetched by several workers at once after one login.
void AddCrawledSite(const ApacheServer& server, const std::string& site) {
    server.AddFile(site + "/index.html", "<a href=\"private/a.html\">in</a>");
    std::string links;
    for (const std::string& page : kProtectedPages) {
        links += "<a href=\"" + page + "\">" + page + "</a>";
        server.AddFile(site + "/private/" + page, "<p>" + page + "</p>");
    }
    server.AddFile(site + "/private/a.html", links);
}

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
        AddCrawledSite(*s_server, "basic-site");
        AddCrawledSite(*s_server, "digest-site");
        s_server->AddBasicUser("alice", "open sesame");
        s_server->AddDigestUser("Mufasa", kDigestRealm, "Circle Of Life");
        const std::string root = s_server->DocumentRoot().string();
        const std::string basic = s_server->BasicPasswordFile();
        const std::string digest = s_server->DigestPasswordFile();
        // One process serves one connection at a time: a worker's idle
        // connection must not hold up the others.
        s_server->SetDirectives(
            "KeepAlive Off\n" + Protect(root, "basic", "Basic", "basic realm", basic) +
            Protect(root, "digest", "Digest", kDigestRealm, digest) +
            Protect(root, "basic-site/private", "Basic", "basic realm", basic) +
            Protect(root, "digest-site/private", "Digest", kDigestRealm, digest));
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
    }

    // "401" and "200" lines of the access log for paths below prefix, by path.
    static std::map<std::string, std::map<std::string, int>> LoggedAnswers(
        const std::string& prefix) {
        std::map<std::string, std::map<std::string, int>> answers;
        std::istringstream log(testing_support::ReadFile(s_server->AccessLog()));
        // The logged path is decoded, so it may hold spaces.
        for (std::string line; std::getline(log, line);) {
            const std::size_t pathStart = line.find(' ') + 1;
            const std::size_t statusStart = line.rfind(' ');
            const std::string path = line.substr(pathStart, statusStart - pathStart);
            if (path.starts_with(prefix)) {
                ++answers[line.substr(statusStart + 1)][path];
            }
        }
        return answers;
    }

    static std::string Url(const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(s_server->Port()) + path;
    }

    static std::unique_ptr<TempFolder> s_folder;
    static std::unique_ptr<ApacheServer> s_server;
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
        // A login that a case accepted must not vouch for the next case.
        CHttpClient client;
        client.SetTimeouts(10000, 10000, 10000);
        const HttpDownload download =
            Download(client, RequestFor(Url(c.path), c.user, c.password), c.method);
        EXPECT_EQ(download.request, c.result);
        EXPECT_EQ(download.body, ERR_SUCCESS);
        EXPECT_EQ(download.bytes, c.body);
        if (c.result == ERR_SUCCESS) {
            EXPECT_EQ(download.status, 200);
        }
    }
}

#ifdef TARNWICK_CLI
// After the first login the site's other protected pages go out with their
// credentials at once, from every worker: one challenge for the whole crawl,
// and one request of each kind per page.
TEST_F(HttpAuthApacheTest, ACrawlLogsInOnceForAllItsWorkers) {
    const struct {
        const char* site;
        const char* user;
        const char* password;
    } sites[] = {{"basic-site", "alice", "open sesame"},
                 {"digest-site", "Mufasa", "Circle Of Life"}};
    const TempFolder work;
    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", work.Path().c_str());
    GetProgramOptions().ResetToDefaults();
    GetProgramOptions().SetRetries(1);
    GetProgramOptions().SetHeadRequests(true);
    GetProgramOptions().Save();
    for (const auto& site : sites) {
        SCOPED_TRACE(site.site);
        const std::string prefix = std::string("/") + site.site + "/";
        const std::string output = (work.Path() / (std::string(site.site) + ".out")).string();
        const int status = testing_support::RunProgram(
            {TARNWICK_CLI, "mirror", Url(prefix + "index.html"), "--threads", "4", "--user",
             site.user, "--password", site.password, "--project",
             (work.Path() / site.site).string()},
            output);
        EXPECT_EQ(status, 0) << testing_support::ReadFile(output);
        auto answers = LoggedAnswers(prefix);
        EXPECT_EQ(answers["401"], (std::map<std::string, int>{{prefix + "private/a.html", 1}}));
        for (const std::string& page : kProtectedPages) {
            // The HEAD and the GET.
            EXPECT_EQ(answers["200"][prefix + "private/" + page], 2) << page;
        }
    }
}
#endif

}  // namespace
