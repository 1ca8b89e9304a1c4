// A polite crawl against nginx: robots.txt obeyed before any other request
// (with meta robots and X-Robots-Tag), waits between requests to one host
// that do not hold back the other host, the user's own identity on the wire,
// and URL patterns that keep files out. Every server logs when it answered
// each request, from where, to whom.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "support/child_process.h"
#include "support/crawl_window.h"
#include "support/loopback_server_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CrawlWindow;
using testing_support::FreePort;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr const char* kOtherHost = "127.0.0.2";
constexpr const char* kAgent = "MyBot/1.0 (+https://example.org/bot)";

struct Request {
    double time;  // seconds, as nginx's $msec
    int port;
    std::string method;
    std::string path;
    int status;
    std::string agent;
};

// The site's host serves a robots.txt for our token and a "*" group that
// must not apply to us; the other host answers 503 for its robots.txt.
class PoliteCrawlTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        s_otherPort = FreePort(kOtherHost);
        s_nginx = std::make_unique<NginxServer>(s_folder->Path() / "nginx");
        WriteSite(s_nginx->DocumentRoot());
        const std::string log = s_folder->File("requests.log");
        s_nginx->SetHttpDirectives(
            "  log_format timed '$msec $server_port $request_method $uri $status "
            "\"$http_user_agent\"';\n"
            "  access_log " +
            log +
            " timed;\n"
            "  server {\n    listen " +
            std::string(kOtherHost) + ":" + std::to_string(s_otherPort) + ";\n    root " +
            s_nginx->DocumentRoot().string() +
            "/other;\n    location = /robots.txt { return 503; }\n  }\n");
        s_nginx->SetServerDirectives("    access_log " + log +
                                     " timed;\n"
                                     "    location = /tagged.html { add_header X-Robots-Tag "
                                     "\"noindex, nofollow\"; }\n");
        s_nginx->Start();
    }
    static void TearDownTestSuite() { s_nginx.reset(); }

    static void WriteSite(const fs::path& root) {
        for (const char* folder : {"private", "secret", "img", "data", "ads", "other"}) {
            fs::create_directories(root / folder);
        }
        WriteFile((root / "robots.txt").string(),
                  "User-agent: *\nDisallow: /\n\n"
                  "User-agent: Tarnwick\nDisallow: /secret/\nAllow: /secret/open.html\n"
                  "Disallow: /*.bin$\n");
        const std::string other =
            "http://" + std::string(kOtherHost) + ":" + std::to_string(s_otherPort);
        WriteFile((root / "index.html").string(),
                  "<a href=\"/private/p.html\">p</a><a href=\"/secret/s.html\">s</a>"
                  "<a href=\"/secret/open.html\">o</a><a href=\"/nofollow.html\">n</a>"
                  "<a href=\"/tagged.html\">t</a><a href=\"/ads/ad.html\">ad</a>"
                  "<img src=\"/img/a.png\"><img src=\"/data/x.bin\"><img src=\"/data/y.bin?v=1\">"
                  "<img src=\"" +
                      other + "/b1.png\"><img src=\"" + other +
                      "/b2.png\">"
                      "<img src=\"" +
                      other + "/b3.png\">");
        WriteFile((root / "nofollow.html").string(),
                  "<head><meta name=\"ROBOTS\" content=\"noindex, nofollow\"></head>"
                  "<a href=\"/from-meta.html\">x</a>");
        WriteFile((root / "tagged.html").string(), "<a href=\"/from-tag.html\">x</a>");
        for (const char* page : {"private/p.html", "secret/s.html", "secret/open.html",
                                 "from-meta.html", "from-tag.html", "ads/ad.html"}) {
            WriteFile((root / page).string(), "<p>page</p>");
        }
        for (const char* file : {"img/a.png", "data/x.bin", "data/y.bin", "other/b1.png",
                                 "other/b2.png", "other/b3.png"}) {
            WriteFile((root / file).string(), "bytes");
        }
    }

    void SetUp() override {
        if (!s_nginx) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_options.SetRetries(2);
        m_logStart = ReadFile(s_folder->File("requests.log")).size();
    }

    static std::string SiteBase() { return "http://127.0.0.1:" + std::to_string(s_nginx->Port()); }

    void Crawl(const std::string& startUrl, int threads, std::int32_t internalLevels = -1) {
        CUrl start;
        ASSERT_TRUE(start.Parse(startUrl));
        m_project.SetStartUrl(start);
        m_project.SetThreadCount(threads);
        m_project.SetFolders(m_download.File("site.files"), "site.files");
        m_project.GetRules().SetLevels(internalLevels, 0);
        m_project.GetRules().SetScope(start.GetHost());
        m_controller = std::make_unique<CCrawlController>(m_project);
        m_controller->New(m_window.Target());
        ASSERT_TRUE(m_controller->Start(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished(std::chrono::seconds(120)));
        EXPECT_TRUE(m_controller->OnCrawlFinished());
    }

    std::vector<Request> Requests() const {
        std::vector<Request> requests;
        std::istringstream text(ReadFile(s_folder->File("requests.log")).substr(m_logStart));
        std::string line;
        while (std::getline(text, line)) {
            std::istringstream fields(line);
            Request request;
            fields >> request.time >> request.port >> request.method >> request.path >>
                request.status;
            const std::size_t quote = line.find('"');
            request.agent = line.substr(quote + 1, line.size() - quote - 2);
            requests.push_back(request);
        }
        return requests;
    }

    std::multiset<std::string> PathsRequested(int port) const {
        std::multiset<std::string> paths;
        for (const Request& request : Requests()) {
            if (request.port == port) {
                paths.insert(request.path);
            }
        }
        return paths;
    }

    std::map<std::string, ResultCode> Skipped() const {
        std::map<std::string, ResultCode> skipped;
        for (const auto& event : m_window.Events()) {
            if (event.message == WM_DL_URL_DONE) {
                skipped[event.url.substr(event.url.find('/', 8))] = event.code;
            }
        }
        return skipped;
    }

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<NginxServer> s_nginx;
    static inline int s_otherPort = 0;

    TempFolder m_download;
    CProgramOptions m_options;
    CProjectSettings m_project;
    CrawlWindow m_window;
    std::unique_ptr<CCrawlController> m_controller;
    std::size_t m_logStart = 0;
};

#ifdef TARNWICK_CLI
// The command line sets the same values: its output, exit status and the
// requests nginx logged.
TEST_F(PoliteCrawlTest, TheCommandLinesOptionsReachTheWire) {
    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", m_download.Path().c_str());
    const std::string log = m_download.File("cli.out");
    const std::string folder = m_download.File("cli");
    ASSERT_EQ(testing_support::RunProgram(
                  {TARNWICK_CLI, "mirror", SiteBase() + "/", "--into", folder, "--no-robots",
                   "--user-agent", kAgent, "--exclude", "*/ads/*", "--exclude", "re:[.]bin$"},
                  log),
              0)
        << ReadFile(log);
    std::multiset<std::string> paths;
    for (const Request& request : Requests()) {
        EXPECT_EQ(request.agent, kAgent) << request.path;
        paths.insert(request.path);
    }
    for (const char* never : {"/robots.txt", "/ads/ad.html", "/data/x.bin"}) {
        EXPECT_EQ(paths.count(never), 0u) << never;
    }
    EXPECT_GT(paths.count("/secret/s.html"), 0u);
    EXPECT_GT(paths.count("/data/y.bin"), 0u);

    // With robots.txt obeyed the refusals are skips, worded as such, and the
    // run still succeeds.
    ASSERT_EQ(testing_support::RunProgram({TARNWICK_CLI, "mirror", SiteBase() + "/", "--into",
                                           m_download.File("obeyed"), "--levels", "1"},
                                          log),
              0)
        << ReadFile(log);
    const std::string output = ReadFile(log);
    EXPECT_NE(output.find("skipped " + SiteBase() + "/secret/s.html (robots.txt)"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("failed "), std::string::npos) << output;
}
#endif

TEST_F(PoliteCrawlTest, RobotsTxtKeepsTheCrawlerOffItsPathsBeforeAnyOtherRequest) {
    Crawl(SiteBase() + "/", 3);
    const int port = s_nginx->Port();
    const std::vector<Request> requests = Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().path, "/robots.txt");
    const std::multiset<std::string> paths = PathsRequested(port);
    EXPECT_EQ(paths.count("/robots.txt"), 1u);
    for (const char* refused :
         {"/secret/s.html", "/data/x.bin", "/from-meta.html", "/from-tag.html"}) {
        EXPECT_EQ(paths.count(refused), 0u) << refused;
    }
    for (const char* allowed : {"/private/p.html", "/secret/open.html", "/img/a.png", "/data/y.bin",
                                "/nofollow.html", "/tagged.html"}) {
        EXPECT_GT(paths.count(allowed), 0u) << allowed;
    }
    const std::map<std::string, ResultCode> expected = {
        {"/secret/s.html", ERR_ROBOTS_DISALLOWED},
        {"/data/x.bin", ERR_ROBOTS_DISALLOWED},
        // The other host's robots.txt answered 503 twice: out of bounds.
        {"/b1.png", ERR_ROBOTS_DISALLOWED},
        {"/b2.png", ERR_ROBOTS_DISALLOWED},
        {"/b3.png", ERR_ROBOTS_DISALLOWED},
    };
    EXPECT_EQ(Skipped(), expected);
    EXPECT_EQ(PathsRequested(s_otherPort),
              (std::multiset<std::string>{"/robots.txt", "/robots.txt"}));
    EXPECT_TRUE(IsSkipResult(ERR_ROBOTS_DISALLOWED));
    // robots.txt was read, not saved.
    EXPECT_FALSE(fs::exists(m_download.Path() / "site.files" /
                            ("127.0.0.1_" + std::to_string(port)) / "robots.txt"));
}

TEST_F(PoliteCrawlTest, WithoutRobotsEveryLinkIsFollowed) {
    m_options.SetRobots(false);
    Crawl(SiteBase() + "/", 2);
    const std::multiset<std::string> paths = PathsRequested(s_nginx->Port());
    EXPECT_EQ(paths.count("/robots.txt"), 0u);
    for (const char* path :
         {"/secret/s.html", "/data/x.bin", "/from-meta.html", "/from-tag.html"}) {
        EXPECT_GT(paths.count(path), 0u) << path;
    }
    EXPECT_TRUE(Skipped().empty());
}

// The wait is a lower bound that the crawl keeps by construction: each
// request to a host starts the wait after the previous answer ended, and
// nginx logs an answer when it has sent it.
TEST_F(PoliteCrawlTest, WaitsBetweenRequestsToOneHostWithoutHoldingBackTheOther) {
    constexpr double kWait = 0.3;
    m_options.SetRobots(false);
    m_options.SetWaitMs(300);
    m_options.SetUserAgentText(kAgent);
    Crawl(SiteBase() + "/", 2, 0);
    std::map<int, std::vector<double>> times;
    for (const Request& request : Requests()) {
        times[request.port].push_back(request.time);
        EXPECT_EQ(request.agent, kAgent) << request.path;
    }
    ASSERT_GE(times[s_nginx->Port()].size(), 3u);
    ASSERT_EQ(times[s_otherPort].size(), 6u);  // HEAD and GET of each image
    for (auto& [port, list] : times) {
        std::sort(list.begin(), list.end());
        for (std::size_t i = 1; i < list.size(); ++i) {
            // $msec has millisecond steps.
            EXPECT_GE(list[i] - list[i - 1], kWait - 0.002) << port << " request " << i;
        }
    }
    // The other host was served while the site's host was waiting.
    const std::vector<double>& site = times[s_nginx->Port()];
    EXPECT_TRUE(std::any_of(times[s_otherPort].begin(), times[s_otherPort].end(),
                            [&](double t) { return t > site.front() && t < site.back(); }));
}

TEST_F(PoliteCrawlTest, ExcludedUrlsAreNeverRequestedAndIncludedOnesPassTheFileGroups) {
    m_options.SetRobots(false);
    std::string error;
    ASSERT_TRUE(m_project.GetUrlPatterns().AddLine("-*/ads/*", error));
    ASSERT_TRUE(m_project.GetUrlPatterns().AddLine("-re:\\.bin(\\?|$)", error));
    ASSERT_TRUE(m_project.GetUrlPatterns().AddLine("+*/img/*", error));
    // Only documents are wanted, yet the included image is saved.
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(2).SetEnabled(true);
    m_project.GetRules().SetFilters(filters);
    Crawl(SiteBase() + "/", 2);
    const std::multiset<std::string> paths = PathsRequested(s_nginx->Port());
    for (const char* excluded : {"/ads/ad.html", "/data/x.bin", "/data/y.bin"}) {
        EXPECT_EQ(paths.count(excluded), 0u) << excluded;
    }
    const fs::path saved =
        m_download.Path() / "site.files" / ("127.0.0.1_" + std::to_string(s_nginx->Port()));
    EXPECT_TRUE(fs::exists(saved / "img/a.png"));
    EXPECT_FALSE(fs::exists(saved / "secret/s.html"));
}

}  // namespace
