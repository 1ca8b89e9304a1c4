// Cookies and the user's own headers on the wire, byte for byte: a scripted
// site sets a session cookie on its start page and takes no other page
// without it, while a second server, which a page's image leads to, must
// see neither the site's cookies nor its headers.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "support/crawl_window.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::ReadFile;
using testing_support::ScriptedPeer;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr const char* kAgent = "MyBot/1.0";

std::string Get(const std::string& target, const std::string& authority,
                const std::string& siteLines = {}, const std::string& afterAgent = {}) {
    return "GET " + target + " HTTP/1.1\r\nAccept-Encoding: gzip, deflate\r\n" + siteLines +
           "Host: " + authority + "\r\nUser-Agent: " + kAgent + "\r\n" + afterAgent + "\r\n";
}

std::string Ok(const std::string& body, const std::string& type,
               const std::string& extraLines = {}) {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n" + extraLines +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(CrawlCookiesHeadersTest, TheSessionCookieAndHeadersGoToTheStartingServerOnly) {
    TempFolder folder;
    ScriptedPeer site;
    ScriptedPeer other("127.0.0.3");
    const std::string siteAuthority = site.Authority();
    const std::string image = "http://" + other.Authority() + "/i.png";
    const std::string siteHeaders = "Accept-Language: de\r\n";
    site.Accept()
        .Expect(Get("/", siteAuthority, siteHeaders, "X-Token: t1\r\nCookie: pre=1\r\n"))
        .Reply(Ok("<a href=\"/a.html\">a</a><img src=\"" + image + "\">", "text/html",
                  "Set-Cookie: session=abc; Path=/; HttpOnly\r\n"
                  "Set-Cookie: evil=1; Domain=127.0.0.3\r\n"))
        .Expect(Get("/a.html", siteAuthority, siteHeaders,
                    "X-Token: t1\r\nCookie: pre=1; session=abc\r\n"))
        .Reply(Ok("<p>a</p>", "text/html"))
        .ExpectClose();
    other.Accept().Expect(Get("/i.png", other.Authority())).Reply(Ok("png", "image/png"));
    other.ExpectClose();
    site.Start();
    other.Start();

    const std::string cookies = folder.File("cookies.txt");
    WriteFile(cookies, "127.0.0.1\tFALSE\t/\tFALSE\t0\tpre\t1\n");
    CProjectSettings project;
    CUrl start;
    ASSERT_TRUE(start.Parse("http://" + siteAuthority + "/"));
    project.SetStartUrl(start);
    project.SetThreadCount(1);
    project.SetFolders(folder.File("site.files"), "site.files");
    project.GetRules().SetLevels(-1, 0);
    project.GetRules().SetScope(start.GetHost());
    project.SetCookiesFile(cookies);
    ASSERT_TRUE(project.SetHeaders({{"Accept-Language", "de"}, {"X-Token", "t1"}}));
    CProgramOptions options;
    options.SetRetries(1);
    options.SetHeadRequests(false);
    options.SetRobots(false);
    options.SetUserAgentText(kAgent);
    options.SetSaveCookiesFile(folder.File("saved.txt"));

    CrawlWindow window;
    CCrawlController controller(project);
    controller.New(window.Target());
    ASSERT_TRUE(controller.Start(options));
    ASSERT_TRUE(window.PumpUntilFinished(std::chrono::seconds(60)));
    EXPECT_TRUE(controller.OnCrawlFinished());

    EXPECT_EQ(site.Finish(), "");
    EXPECT_EQ(other.Finish(), "");
    EXPECT_EQ(window.Count(WM_DL_FILE_SAVED), 3);
    EXPECT_EQ(ReadFile(folder.File("saved.txt")),
              "# Netscape HTTP Cookie File\n"
              "127.0.0.1\tFALSE\t/\tFALSE\t0\tpre\t1\n"
              "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc\n");
}

}  // namespace
