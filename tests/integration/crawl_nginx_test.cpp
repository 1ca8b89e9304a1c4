// Whole crawls against nginx: a generated site of a few hundred pages on one
// host and a few files on a second one, mirrored by the engine as the main
// window drives it, and once by the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "engine/quillmoor_doc.h"
#include "support/child_process.h"
#include "support/crawl_window.h"
#include "support/generated_site.h"
#include "support/loopback_server_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::FreePort;
using testing_support::GeneratedSite;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;

constexpr int kPages = 300;
constexpr int kImages = 200;
constexpr const char* kExternalHost = "127.0.0.2";
// Slow enough that a pause lands in the middle of the large file.
constexpr const char* kSlowRate = "64k";
constexpr std::size_t kLargeFileSize = 1 << 18;

struct LogLine {
    std::string method;
    std::string path;
    int status;
    std::string range;
    // How much nginx compressed the body; "-" when it sent it as it is.
    std::string gzipRatio;
};

// One nginx with two servers: the site's host on 127.0.0.1, which compresses
// its pages as most servers do, and the other host on 127.0.0.2, each logging
// method, path, status, Range header and compression ratio.
class CrawlSiteTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = new TempFolder();
        s_externalPort = FreePort(kExternalHost);
        s_site = new GeneratedSite(s_folder->Path() / "nginx" / "html", s_folder->Path() / "ext",
                                   ExternalBase(), kPages, kImages);
        std::filesystem::create_directories(std::filesystem::path(Large()).parent_path());
        testing_support::WriteFile(Large(), LargeBytes());
        std::filesystem::create_directories(s_folder->Path() / "nginx/html/plain");
        testing_support::WriteFile((s_folder->Path() / "nginx/html/plain/large.bin").string(),
                                   LargeBytes());
        std::filesystem::create_directories(s_folder->Path() / "nginx/html/gz");
        testing_support::WriteFile((s_folder->Path() / "nginx/html/gz/large.txt").string(),
                                   LargeText());
        s_nginx = new NginxServer(s_folder->Path() / "nginx");
        const std::string logs = s_folder->Path().string();
        s_nginx->SetHttpDirectives(
            "  log_format crawl '$request_method $request_uri $status \"$http_range\" "
            "$gzip_ratio';\n"
            "  server {\n    listen " +
            std::string(kExternalHost) + ":" + std::to_string(s_externalPort) + ";\n    root " +
            logs + "/ext;\n    access_log " + logs + "/external.log crawl;\n  }\n");
        const std::string slow = std::string("limit_rate ") + kSlowRate + ";";
        s_nginx->SetServerDirectives("    access_log " + logs + "/site.log crawl;\n    gzip on;\n" +
                                     "    location /big/ { " + slow + " }\n" +
                                     "    location /plain/ { " + slow + " max_ranges 0; }\n" +
                                     "    location /gz/ { " + slow + " gzip_types text/plain; }\n");
        s_nginx->Start();
    }
    static void TearDownTestSuite() {
        delete s_nginx;
        delete s_site;
        delete s_folder;
        s_nginx = nullptr;
    }

    void SetUp() override {
        if (s_nginx == nullptr) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_options.SetRetries(1);
        // The requests that the test counts are the site's own, without robots.txt.
        m_options.SetRobots(false);
        m_siteLogStart = ReadFile(SiteLog()).size();
        m_externalLogStart = ReadFile(ExternalLog()).size();
    }

    static std::string ExternalBase() {
        return "http://" + std::string(kExternalHost) + ":" + std::to_string(s_externalPort);
    }
    static std::string SiteBase() { return "http://127.0.0.1:" + std::to_string(s_nginx->Port()); }
    static std::string SiteLog() { return s_folder->File("site.log"); }
    static std::string ExternalLog() { return s_folder->File("external.log"); }
    static std::string Large() { return (s_folder->Path() / "nginx/html/big/large.bin").string(); }
    static std::string LargeBytes() {
        std::string bytes(kLargeFileSize, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        }
        return bytes;
    }

    // Text that compresses to about a ninth, so that its gzip'd body still
    // takes seconds at the slow rate.
    static std::string LargeText() {
        std::string text;
        for (std::size_t line = 0; text.size() < 8 * kLargeFileSize; ++line) {
            text += "line " + std::to_string(line * 7919 % 100003) + " of the large text\n";
        }
        return text;
    }

    // A URL for a target of the model.
    static std::string UrlOf(const std::string& target) {
        return s_site->IsExternal(target) ? target : SiteBase() + target;
    }
    // The name under which the mapping saves a target, below the download folder.
    static std::string SavedName(const std::string& target) {
        if (s_site->IsExternal(target)) {
            return std::string(kExternalHost) + "_" + std::to_string(s_externalPort) +
                   target.substr(ExternalBase().size());
        }
        const std::string host = "127.0.0.1_" + std::to_string(s_nginx->Port());
        return host + (target == "/" ? "/index.htm" : target);
    }

    void NewProject(const std::string& startPath, int threads) {
        CUrl start;
        ASSERT_TRUE(start.Parse(SiteBase() + startPath));
        m_project.SetStartUrl(start);
        m_project.SetThreadCount(threads);
        m_project.SetFolders(m_download.File("site.files"), "site.files");
        m_project.GetRules().SetLevels(-1, 0);
        m_project.GetRules().SetScope("127.0.0.1");
        m_controller = std::make_unique<CCrawlController>(m_project);
        m_controller->New(m_window.Target());
    }

    void CrawlToEnd() {
        ASSERT_TRUE(m_controller->Start(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished(std::chrono::seconds(240)));
        EXPECT_TRUE(m_controller->OnCrawlFinished());
    }

    // Every file below the download folder, relative to it.
    std::set<std::string> FilesOnDisk() const {
        std::set<std::string> files;
        const std::filesystem::path root = m_download.Path() / "site.files";
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                files.insert(entry.path().lexically_relative(root).string());
            }
        }
        return files;
    }

    static std::vector<LogLine> NewLogLines(const std::string& log, std::size_t start) {
        std::vector<LogLine> lines;
        std::istringstream text(ReadFile(log).substr(start));
        std::string method, path, status, range, ratio;
        while (text >> method >> path >> status >> range >> ratio) {
            lines.push_back({method, path, std::stoi(status), range, ratio});
        }
        return lines;
    }
    std::vector<LogLine> SiteRequests() const { return NewLogLines(SiteLog(), m_siteLogStart); }
    std::vector<LogLine> ExternalRequests() const {
        return NewLogLines(ExternalLog(), m_externalLogStart);
    }

    // Checks a finished crawl against the model: each expected file saved
    // once under its mapped name with the served bytes (pages are rewritten,
    // so only their presence counts), every broken link failed with its code,
    // nothing else on disk.
    void ExpectMirrored(const std::map<std::string, int>& expected) {
        std::set<std::string> names;
        std::set<std::string> broken;
        for (const auto& [target, level] : expected) {
            if (s_site->Exists(target)) {
                names.insert(SavedName(target));
            } else {
                broken.insert(UrlOf(target));
            }
        }
        EXPECT_EQ(FilesOnDisk(), names);
        for (const auto& [target, level] : expected) {
            const bool page = target.ends_with(".html") || target == "/";
            if (s_site->Exists(target) && !page) {
                EXPECT_EQ(ReadFile((m_download.Path() / "site.files" / SavedName(target)).string()),
                          s_site->Content(target))
                    << target;
            }
        }
        std::multiset<std::string> saved;
        for (const std::string& url : m_window.Urls(WM_DL_FILE_SAVED)) {
            saved.insert(url);
        }
        EXPECT_EQ(saved.size(), names.size());
        EXPECT_EQ(std::set<std::string>(saved.begin(), saved.end()).size(), saved.size())
            << "a file was saved twice";
        std::set<std::string> failed;
        for (const auto& event : m_window.Events()) {
            if (event.message == WM_DL_URL_DONE) {
                failed.insert(event.url);
                EXPECT_EQ(event.code, ERR_HTTP_CLIENT_ERROR) << event.url;
            }
        }
        EXPECT_EQ(failed, broken);
        // Each saved file came with exactly one GET.
        std::map<std::string, int> gets;
        for (const LogLine& line : SiteRequests()) {
            if (line.method == "GET" && line.status == 200) {
                ++gets[line.path];
            }
        }
        for (const auto& [path, count] : gets) {
            EXPECT_EQ(count, 1) << path;
        }
    }

    static inline TempFolder* s_folder = nullptr;
    static inline GeneratedSite* s_site = nullptr;
    static inline NginxServer* s_nginx = nullptr;
    static inline int s_externalPort = 0;

    TempFolder m_download;
    CProgramOptions m_options;
    CProjectSettings m_project;
    CrawlWindow m_window;
    std::unique_ptr<CCrawlController> m_controller;
    std::size_t m_siteLogStart = 0;
    std::size_t m_externalLogStart = 0;
};

class CrawlThreadsTest : public CrawlSiteTest, public testing::WithParamInterface<int> {};

TEST_P(CrawlThreadsTest, EveryReachableFileIsSavedOnceUnderItsMappedName) {
    NewProject("/", GetParam());
    CrawlToEnd();
    const std::map<std::string, int> expected = s_site->Crawl("/");
    ASSERT_GT(expected.size(), static_cast<std::size_t>(kPages));
    ExpectMirrored(expected);
    // Links to pages of the other host are outside the domain; its images
    // are resources of the pages and are fetched.
    for (const LogLine& line : ExternalRequests()) {
        EXPECT_TRUE(line.path.ends_with(".png")) << line.path;
    }
    EXPECT_FALSE(ExternalRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(Threads, CrawlThreadsTest, testing::Values(1, 3, 8));

TEST_F(CrawlSiteTest, PagesComeCompressedAndAreSavedDecoded) {
    NewProject("/", 3);
    CrawlToEnd();
    // Every page was followed, so each was read as the markup it decodes to.
    ExpectMirrored(s_site->Crawl("/"));
    int compressed = 0;
    for (const LogLine& line : SiteRequests()) {
        if (line.method == "GET" && line.path.ends_with(".html") && line.status == 200) {
            EXPECT_NE(line.gzipRatio, "-") << line.path;
            ++compressed;
        }
    }
    EXPECT_GT(compressed, kPages / 2);
    const std::string index =
        ReadFile((m_download.Path() / "site.files" / SavedName("/")).string());
    EXPECT_NE(index.find("<a "), std::string::npos) << index.substr(0, 64);
}

TEST_F(CrawlSiteTest, ASecondRunWithoutHeadRequestsAsksOnlyOnConditionAndFetchesNothing) {
    // Without HEAD requests the first run has nothing to ask a HEAD for; the
    // second knows every file's time, and one conditional GET per file spares
    // the unchanged bodies.
    m_options.SetHeadRequests(false);
    NewProject("/", 3);
    CrawlToEnd();
    for (const LogLine& line : SiteRequests()) {
        EXPECT_EQ(line.method, "GET") << line.path;
    }
    const std::set<std::string> before = FilesOnDisk();
    m_siteLogStart = ReadFile(SiteLog()).size();
    m_window.ClearEvents();
    CrawlToEnd();
    EXPECT_EQ(m_window.Count(WM_DL_FILE_SAVED), 0);
    EXPECT_EQ(FilesOnDisk(), before);
    int unchanged = 0;
    for (const LogLine& line : SiteRequests()) {
        EXPECT_EQ(line.method, "GET") << line.path;
        if (line.status == 304) {
            ++unchanged;
        } else {
            EXPECT_EQ(line.status, 404) << line.path;  // broken links are tried again
        }
    }
    // The links of the kept pages still lead to every file.
    EXPECT_GT(unchanged, kPages);
}

TEST_F(CrawlSiteTest, LevelsLimitTheAnchorsThatAreFollowed) {
    NewProject("/", 3);
    m_project.GetRules().SetLevels(2, 0);
    CrawlToEnd();
    const std::map<std::string, int> expected = s_site->Crawl("/", 2);
    ExpectMirrored(expected);
    // Pages of level 3 are linked but not fetched.
    EXPECT_FALSE(expected.count(GeneratedSite::PagePath(20)));
    EXPECT_TRUE(expected.count(GeneratedSite::PagePath(4)));
}

TEST_F(CrawlSiteTest, DirectoryScopeKeepsTheCrawlBelowTheStartingFolder) {
    const std::string start = GeneratedSite::PagePath(1);  // /sec1/p1.html
    NewProject(start, 3);
    m_project.GetRules().SetScope("127.0.0.1", start);
    CrawlToEnd();
    const std::map<std::string, int> expected = s_site->Crawl(start, -1, "/sec1/");
    ExpectMirrored(expected);
    for (const LogLine& line : SiteRequests()) {
        if (line.path.ends_with(".html")) {
            EXPECT_TRUE(line.path.starts_with("/sec1/")) << line.path;
        }
    }
}

TEST_F(CrawlSiteTest, FiltersRefuseFilesWithNoBodyWrittenAndPagesAfterReadingThem) {
    NewProject("/", 3);
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(0).SetEnabled(true);  // Image, up to 1 KB
    filters.GetAt(0).SetSizes(0, 1);
    m_project.GetRules().SetFilters(filters);
    CrawlToEnd();
    std::set<std::string> refused;
    for (const auto& event : m_window.Events()) {
        if (event.message == WM_DL_URL_DONE && event.code == ERR_CLIENT_RULE) {
            refused.insert(event.url.substr(SiteBase().size()));
        }
    }
    // The pages below "/" and the style sheet have no place in the group;
    // images over 1 KB are too big.
    EXPECT_TRUE(refused.count("/style.css"));
    EXPECT_TRUE(refused.count(GeneratedSite::PagePath(0)));
    const std::string image = "/img/0/pic0.png";
    EXPECT_EQ(refused.count(image), s_site->Content(image).size() > 1024 ? 1u : 0u);
    // A refused page is read once for its links; no other refused body is asked for.
    std::map<std::string, int> gets;
    for (const LogLine& line : SiteRequests()) {
        gets[line.path] += line.method == "GET" ? 1 : 0;
    }
    for (const std::string& path : refused) {
        EXPECT_EQ(gets[path], path.ends_with(".html") ? 1 : 0) << path;
    }
    const std::set<std::string> files = FilesOnDisk();
    for (const std::string& file : files) {
        EXPECT_FALSE(refused.count(file.substr(file.find('/'))));
    }
    EXPECT_EQ(files.count(SavedName("/")), 1u);
    // So every image that the pages lead to is judged, and kept when small.
    for (const auto& [target, level] : s_site->Crawl("/")) {
        if (target.ends_with(".png") && s_site->Exists(target)) {
            EXPECT_EQ(files.count(SavedName(target)),
                      s_site->Content(target).size() <= 1024 ? 1u : 0u)
                << target;
        }
    }
}

// Pauses a one-file crawl once part of the file is on disk, then resumes it.
class ResumeTest : public CrawlSiteTest {
protected:
    void PauseInTheMiddle(const std::string& path) {
        NewProject(path, 1);
        ASSERT_TRUE(m_controller->Start(m_options));
        const std::string saved = (m_download.Path() / "site.files" / SavedName(path)).string();
        ASSERT_TRUE(m_window.PumpUntil([&] {
            std::error_code error;
            return std::filesystem::file_size(saved, error) >= kLargeFileSize / 8 && !error;
        }));
        ASSERT_TRUE(m_controller->Pause());
        ASSERT_EQ(m_controller->GetManager()->GetRetryCount(), 1u);
        ASSERT_LT(std::filesystem::file_size(saved), kLargeFileSize);
        ASSERT_TRUE(m_controller->Resume(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished(std::chrono::seconds(120)));
        EXPECT_EQ(ReadFile(saved), LargeBytes());
        EXPECT_EQ(m_window.Urls(WM_DL_FILE_SAVED), std::vector<std::string>{UrlOf(path)});
    }

    // nginx logs the paused request only when it notices the closed
    // connection, which a rate-limited response may do after the resumed one
    // has been logged; wait a while for the expected number of lines.
    std::vector<LogLine> Gets(std::size_t expected) const {
        std::vector<LogLine> gets;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            gets.clear();
            for (const LogLine& line : SiteRequests()) {
                if (line.method == "GET") {
                    gets.push_back(line);
                }
            }
            if (gets.size() >= expected) {
                // Logged in the order they ended: the first request is the
                // one without a range.
                std::stable_partition(gets.begin(), gets.end(),
                                      [](const LogLine& line) { return line.range == "\"-\""; });
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (std::chrono::steady_clock::now() < deadline);
        return gets;
    }
};

TEST_F(ResumeTest, PauseAndResumeContinueALargeFileWithARange) {
    PauseInTheMiddle("/big/large.bin");
    const std::vector<LogLine> gets = Gets(2);
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[0].range, "\"-\"");
    EXPECT_EQ(gets[1].status, 206);
    EXPECT_TRUE(std::regex_match(gets[1].range, std::regex("\"bytes=[1-9][0-9]*-\"")))
        << gets[1].range;
}

TEST_F(ResumeTest, AServerThatIgnoresTheRangeRestartsTheFile) {
    PauseInTheMiddle("/plain/large.bin");
    const std::vector<LogLine> gets = Gets(2);
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_NE(gets[1].range, "\"-\"");
    EXPECT_EQ(gets[1].status, 200);
}

// A range would count compressed bytes into a file of decompressed ones, so
// the pause drops the part and the resumed crawl asks for the whole body.
TEST_F(ResumeTest, APausedCompressedBodyStartsAfresh) {
    const std::string path = "/gz/large.txt";
    NewProject(path, 1);
    ASSERT_TRUE(m_controller->Start(m_options));
    const std::string saved = (m_download.Path() / "site.files" / SavedName(path)).string();
    ASSERT_TRUE(m_window.PumpUntil([&] {
        std::error_code error;
        return std::filesystem::file_size(saved, error) >= 2 * kLargeFileSize && !error;
    }));
    ASSERT_TRUE(m_controller->Pause());
    ASSERT_EQ(m_controller->GetManager()->GetRetryCount(), 1u);
    EXPECT_FALSE(std::filesystem::exists(saved));
    ASSERT_TRUE(m_controller->Resume(m_options));
    ASSERT_TRUE(m_window.PumpUntilFinished(std::chrono::seconds(120)));
    EXPECT_TRUE(ReadFile(saved) == LargeText());
    const std::vector<LogLine> gets = Gets(2);
    ASSERT_EQ(gets.size(), 2u);
    for (const LogLine& get : gets) {
        EXPECT_EQ(get.range, "\"-\"");
    }
    EXPECT_TRUE(gets[0].gzipRatio != "-" || gets[1].gzipRatio != "-");
}

#ifdef TARNWICK_CLI
TEST_F(CrawlSiteTest, TheCommandLineMirrorsTheSiteAndReportsFailures) {
    // The program reads its settings from the store: one attempt per URL.
    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", m_download.Path().c_str());
    m_options.Save();
    const std::string output = m_download.File("cli.out");
    const int status =
        testing_support::RunProgram({TARNWICK_CLI, "mirror", SiteBase() + "/", "--into",
                                     m_download.File("cli"), "--threads", "4", "--scope", "domain"},
                                    output);
    const std::string text = ReadFile(output);
    std::size_t files = 0;
    std::set<std::string> broken;
    for (const auto& [target, level] : s_site->Crawl("/")) {
        if (s_site->Exists(target)) {
            ++files;
        } else {
            broken.insert(UrlOf(target));
        }
    }
    EXPECT_NE(
        text.find("Project completed: " + std::to_string(files) + " files were downloaded.\n"),
        std::string::npos)
        << text;
    for (const std::string& url : broken) {
        EXPECT_NE(text.find("failed " + url + " (404 Not Found)\n"), std::string::npos) << url;
    }
    // The server's answers to the broken links make the exit status.
    ASSERT_FALSE(broken.empty());
    EXPECT_EQ(status, 8) << text;
}

TEST_F(CrawlSiteTest, AClosedOutputPipeDoesNotLoseTheCrawl) {
    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", m_download.Path().c_str());
    GetProgramOptions().Save();
    const std::string errors = m_download.File("cli.err");
    const int status = testing_support::RunProgramIntoClosedPipe(
        {TARNWICK_CLI, "mirror", SiteBase() + "/", "--into", m_download.File("cli"), "--levels",
         "1"},
        errors);
    EXPECT_EQ(status, 0) << ReadFile(errors);
    CQuillmoorDoc doc(nullptr);
    ASSERT_TRUE(doc.OpenDocument(m_download.File("cli.tkp")));
    EXPECT_EQ(doc.GetController().GetState(), Stopped);
    const CDownloadList::Stats stats = doc.GetController().GetStats();
    EXPECT_GT(stats.written, 1u);
    EXPECT_EQ(stats.requested, stats.queued);
}

TEST_F(CrawlSiteTest, CtrlCPausesTheCommandLineAndItExitsCleanly) {
    const std::string output = m_download.File("cli.out");
    const std::string folder = m_download.File("cli");
    // The large file takes four seconds to come, so an interrupt after two and
    // a half lands mid-transfer even when the machine is slow to start the crawl.
    // Without --foreground, timeout signals its whole process group as well,
    // and a second interrupt that comes after the first was handled is the
    // user's "stop instead".
    const int status = testing_support::RunProgram(
        {testing_support::FindProgram("timeout"), "--foreground", "--preserve-status", "-s", "INT",
         "2.5", TARNWICK_CLI, "mirror", SiteBase() + "/big/large.bin", "--into", folder},
        output);
    const std::string text = ReadFile(output);
    EXPECT_EQ(status, 130) << text;
    EXPECT_NE(text.find("Interrupted: pausing the crawl...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Paused: 0 files were downloaded.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Project completed"), std::string::npos) << text;
    const std::string part = folder + "/" + SavedName("/big/large.bin");
    ASSERT_TRUE(std::filesystem::exists(part));
    EXPECT_LT(std::filesystem::file_size(part), kLargeFileSize);
}
#endif

}  // namespace
