// Pages as real sites write them, mirrored by the command line from nginx:
// documentation chained by link relations, a page whose character set only
// the server names, and markup that keeps its own bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/url.h"
#include "engine/program_options.h"
#include "support/child_process.h"
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

// A page of the manual: its style sheet, icons and the relations a
// documentation generator writes into every page's head.
std::string ManualPage(const std::string& next, const std::string& prev) {
    return "<!DOCTYPE html><html><head><meta charset=utf-8>"
           "<link rel=\"stylesheet\" href=\"../_static/style.css\" type=\"text/css\">"
           "<link rel=\"Shortcut Icon\" href=\"../_static/favicon.ico\">"
           "<link rel=\"apple-touch-icon\" href=\"../_static/touch.png\">"
           "<link rel=\"index\" title=\"Index\" href=\"../genindex.html\">"
           "<link rel=\"search\" title=\"Search\" href=\"../search.html\">"
           "<link rel=\"next\" href=\"" +
           next + "\"><link rel=\"prev\" href=\"" + prev +
           "\"></head><body><p>text</p></body></html>";
}

// A page as people write it: upper-case tags, line ends of every kind (in
// attribute values too), a link inside an inline style, quotes and a
// trailing blank in a style attribute, text beyond ASCII. Its links go to
// the folders given.
std::string OwnMarkupPage(const std::string& images, const std::string& pages) {
    return "<!DOCTYPE html>\r\n<HTML><HEAD><TITLE>M\xC3\xA9\xC3\xA9r</TITLE>\r\n"
           "<STYLE>body { background: url(\"" +
           images + "bg.png\") }</STYLE></HEAD>\r\n<BODY><P>M\xC3\xA9\xC3\xA9r <A HREF=\"" + pages +
           "b.html\" TITLE=\"a\r\nb\rc\">b</A>\r\n"
           "<SPAN STYLE=\"font-family: 'x'; background: url('" +
           images + "bg.png') \">x</SPAN>\r\n<IMG SRC=\"" + images + "bg.png\" SRCSET=\"" + images +
           "bg.png 1x,\r\n " + images + "bg2.png 2x \">\r\n</BODY></HTML>\r\n";
}

// A page with a reference of every kind the element table knows beyond
// anchors and images, two of them climbing above the site's root, and the
// style sheet and script it loads under names of another type.
std::string ReferencesPage(const std::string& root, const std::string& sheet,
                           const std::string& script, const std::string& guard) {
    return "<!DOCTYPE html><html><head><meta charset=utf-8><link rel=stylesheet href=\"" + sheet +
           "\"" + guard + "><script src=\"" + script + "\"" + guard +
           "></script></head><body background=\"" + root +
           "img/body.png\"><img src=map.png usemap=\"#m\"><map name=m>"
           "<area shape=rect coords=\"0,0,9,9\" href=\"area.html\"></map>"
           "<a href=refresh.html>r</a><table background=\"" +
           root +
           "img/table.png\"><tr><td background=\"img/cell.png\">x</td></tr></table>"
           "<svg><image href=\"img/svg.png\"/><image xlink:href=\"img/xlink.png\"/>"
           "<use href=\"img/sprite.svg#dot\"/></svg></body></html>";
}

constexpr const char* kReferenceGuard = " integrity=\"sha384-x\" crossorigin=\"anonymous\"";
constexpr const char* kRefreshPage =
    "<html><head><meta http-equiv=\"refresh\" content=\"0; url=target.html\"></head></html>";

class CrawlWebPagesTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        s_site = std::make_unique<NginxServer>(s_folder->Path() / "site");
        const fs::path root = s_site->DocumentRoot();
        for (const char* folder :
             {"doc/_static", "doc/tutorial", "doc/intro", "doc/api", "latin"}) {
            fs::create_directories(root / folder);
        }
        // The chain runs from the introduction through the tutorial into the
        // reference; search.html is missing, as on a site built without it.
        WriteFile((root / "doc/intro/index.html").string(),
                  ManualPage("../tutorial/index.html", "../genindex.html"));
        WriteFile((root / "doc/tutorial/index.html").string(),
                  ManualPage("part2.html", "../intro/index.html") +
                      "<link rel=alternate href=\"feed.xml\"><link href=\"norel.html\">");
        WriteFile((root / "doc/tutorial/part2.html").string(),
                  ManualPage("part3.html", "index.html"));
        WriteFile((root / "doc/tutorial/part3.html").string(),
                  ManualPage("../api/index.html", "part2.html"));
        WriteFile((root / "doc/api/index.html").string(), ManualPage("../genindex.html", ""));
        WriteFile((root / "doc/genindex.html").string(), ManualPage("intro/index.html", ""));
        for (const char* file :
             {"doc/_static/style.css", "doc/_static/favicon.ico", "doc/_static/touch.png",
              "doc/tutorial/feed.xml", "doc/tutorial/norel.html"}) {
            WriteFile((root / file).string(), file);
        }
        // The euro sign is 0xA4 in ISO-8859-15 and a currency sign in
        // ISO-8859-1; the page's own declaration is wrong, as copied pages'
        // often are, and the server's header decides.
        WriteFile((root / "latin/index.html").string(), kLatinPage);
        WriteFile((root / "latin/\xE2\x82\xAC.html").string(), "euro");
        WriteFile((root / "latin/q.html").string(), "query");
        fs::create_directories(root / "p");
        fs::create_directories(root / "img");
        WriteFile((root / "p/page.html").string(), OwnMarkupPage("/img/", "/p/"));
        for (const char* file : {"p/b.html", "img/bg.png", "img/bg2.png"}) {
            WriteFile((root / file).string(), file);
        }
        for (const char* folder : {"refs/img", "refs/style", "refs/script"}) {
            fs::create_directories(root / folder);
        }
        WriteFile((root / "refs/index.html").string(),
                  ReferencesPage("../../", "style/theme.php?color=green", "script/loader",
                                 kReferenceGuard));
        WriteFile((root / "refs/refresh.html").string(), kRefreshPage);
        WriteFile((root / "refs/style/theme.php").string(),
                  "body{background:url(../../../../img/climb.png)}");
        WriteFile((root / "refs/script/loader").string(), "var loaded = 1;");
        for (const char* file :
             {"refs/area.html", "refs/target.html", "refs/map.png", "refs/img/cell.png",
              "refs/img/svg.png", "refs/img/xlink.png", "refs/img/sprite.svg", "img/body.png",
              "img/table.png", "img/climb.png"}) {
            WriteFile((root / file).string(), file);
        }
        s_site->SetServerDirectives(
            "    location / { types { text/html html; text/css css; } }\n"
            "    location /latin/ { charset iso-8859-15; }\n"
            "    location /refs/style/ { types { } default_type text/css; }\n"
            "    location /refs/script/ { types { } default_type application/javascript; }\n");
        s_site->Start();
    }
    static void TearDownTestSuite() {
        s_site.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_site) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_config = std::make_unique<testing_support::ScopedEnv>("TARNWICK_CONFIG_DIR",
                                                                m_work.Path().c_str());
        GetProgramOptions().ResetToDefaults();
        GetProgramOptions().SetRetries(1);
        // The requests that the test counts are the site's own, without robots.txt.
        GetProgramOptions().SetRobots(false);
        GetProgramOptions().Save();
        fs::resize_file(s_folder->Path() / "site/access.log", 0);
    }

    static std::string SiteUrl(const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(s_site->Port()) + path;
    }
    std::string SavedPath(const std::string& path) const {
        return (Folder() / ("127.0.0.1_" + std::to_string(s_site->Port()) + path)).string();
    }

    void Mirror(const std::string& start, const std::vector<std::string>& options) {
        std::vector<std::string> command{TARNWICK_CLI, "mirror",          start,
                                         "--into",     Folder().string(), "-q"};
        command.insert(command.end(), options.begin(), options.end());
        EXPECT_EQ(testing_support::RunProgram(command, m_work.File("cli.out")), 0)
            << ReadFile(m_work.File("cli.out"));
    }

    // The page with the value of each href replaced by "*"; the values go to links.
    static std::string WithoutLinks(std::string page, std::vector<std::string>& links) {
        for (std::size_t at = page.find("href=\""); at != std::string::npos;
             at = page.find("href=\"", at + 1)) {
            const std::size_t begin = at + 6;
            const std::size_t end = page.find('"', begin);
            links.push_back(page.substr(begin, end - begin));
            page.replace(begin, end - begin, "*");
        }
        return page;
    }

    // The paths fetched with a GET, as the request lines spelled them.
    static std::set<std::string> FetchedPaths() {
        std::set<std::string> paths;
        std::istringstream log(s_site->AccessLog());
        std::string method, path, rest;
        while (log >> method >> path && std::getline(log, rest)) {
            if (method == "GET") {
                paths.insert(path);
            }
        }
        return paths;
    }

    fs::path Folder() const { return m_work.Path() / "mirror"; }

    static constexpr const char* kLatinPage =
        "<html><head><meta charset=\"utf-8\"><title>Pr\xA4ise</title></head><body>"
        "<p>Co\xFBt \xA4 5</p><a href=\"\xA4.html\">euro</a> <a href=\"q.html?p=\xA4\">q</a>"
        "</body></html>";

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<NginxServer> s_site;

    TempFolder m_work;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
};

// Only the page's resources pass the limits; a chain of next and previous
// pages is held to the level and the directory like any other link.
TEST_F(CrawlWebPagesTest, LinkRelationsToOtherPagesKeepTheLevelAndScopeLimits) {
    Mirror(SiteUrl("/doc/tutorial/"), {"--levels", "1", "--scope", "directory"});
    EXPECT_EQ(FetchedPaths(),
              (std::set<std::string>{"/doc/tutorial/", "/doc/tutorial/part2.html",
                                     "/doc/tutorial/feed.xml", "/doc/tutorial/norel.html",
                                     "/doc/_static/style.css", "/doc/_static/favicon.ico",
                                     "/doc/_static/touch.png"}));
    // The pass after the crawl makes a saved page's relations local as it
    // does any link; those it did not fetch keep their addresses.
    const std::string part2 = ReadFile(SavedPath("/doc/tutorial/part2.html"));
    EXPECT_NE(part2.find("<link rel=\"stylesheet\" href=\"../_static/style.css\""),
              std::string::npos)
        << part2;
    EXPECT_NE(part2.find("<link rel=\"next\" href=\"" + SiteUrl("/doc/tutorial/part3.html")),
              std::string::npos)
        << part2;
    for (const auto& entry : fs::directory_iterator(SavedPath("/doc/tutorial/"))) {
        const std::string page = ReadFile(entry.path().string());
        if (entry.path().filename().string().starts_with("index")) {
            EXPECT_NE(page.find("<link rel=\"next\" href=\"part2.html\">"), std::string::npos)
                << page;
        }
    }
}

// The header's character set comes before the page's own declaration: the
// path is requested in UTF-8, the query in the page's character set, and the
// saved page differs from the served one only in its links.
TEST_F(CrawlWebPagesTest, TheHeadersCharacterSetReadsThePagesLinks) {
    Mirror(SiteUrl("/latin/index.html"), {});
    EXPECT_EQ(FetchedPaths(), (std::set<std::string>{"/latin/index.html", "/latin/%E2%82%AC.html",
                                                     "/latin/q.html?p=%A4"}));
    // The saved page differs from the served one only in its two links,
    // which name the saved files, in ASCII whatever the page's bytes are.
    const std::string saved = ReadFile(SavedPath("/latin/index.html"));
    std::vector<std::string> links;
    std::vector<std::string> servedLinks;
    EXPECT_EQ(WithoutLinks(saved, links), WithoutLinks(kLatinPage, servedLinks)) << saved;
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(ReadFile(SavedPath("/latin/") + CUrl::UnescapeComponent(links[0])), "euro");
    EXPECT_EQ(ReadFile(SavedPath("/latin/") + CUrl::UnescapeComponent(links[1])), "query");
}

// A page that nothing in it can make a browser and this program read two
// ways is saved as it was served, but for its links.
TEST_F(CrawlWebPagesTest, PagesThatNeedNoParserKeepEveryByteButTheirLinks) {
    Mirror(SiteUrl("/p/page.html"), {});
    EXPECT_EQ(ReadFile(SavedPath("/p/page.html")), OwnMarkupPage("../img/", ""));
}

// Every kind of reference is followed by the rule of its kind and made
// local: references above the root stay at it, a style sheet and a script
// get the extension a browser reading them from the disk needs, and lose
// the digest and the cross-origin request that no local file passes.
TEST_F(CrawlWebPagesTest, EveryKindOfReferenceIsFetchedAndMadeLocal) {
    Mirror(SiteUrl("/refs/index.html"), {});
    EXPECT_EQ(FetchedPaths(),
              (std::set<std::string>{
                  "/refs/index.html", "/refs/style/theme.php?color=green", "/refs/script/loader",
                  "/img/body.png", "/refs/map.png", "/refs/area.html", "/refs/refresh.html",
                  "/refs/target.html", "/img/table.png", "/refs/img/cell.png", "/refs/img/svg.png",
                  "/refs/img/xlink.png", "/refs/img/sprite.svg", "/img/climb.png"}));
    EXPECT_EQ(ReadFile(SavedPath("/refs/index.html")),
              ReferencesPage("../", "style/theme089285cc34.php.css", "script/loader.js", ""));
    EXPECT_EQ(ReadFile(SavedPath("/refs/style/theme089285cc34.php.css")),
              "body{background:url(../../img/climb.png)}");
    EXPECT_EQ(ReadFile(SavedPath("/refs/script/loader.js")), "var loaded = 1;");
    EXPECT_EQ(ReadFile(SavedPath("/refs/refresh.html")), kRefreshPage);
}

}  // namespace
#endif
