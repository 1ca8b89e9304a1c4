// The project life cycle through the command line against nginx: a crawl
// killed at random moments always reopens from its project file and finally
// completes with the served bytes; a finished mirror browses offline and
// moves with its project file.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "engine/program_options.h"
#include "engine/quillmoor_doc.h"
#include "support/child_process.h"
#include "support/generated_site.h"
#include "support/link_checker.h"
#include "support/loopback_server_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#ifdef TARNWICK_CLI
namespace {

using testing_support::FreePort;
namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::GeneratedSite;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;

constexpr int kPages = 60;
constexpr int kImages = 40;
constexpr const char* kExternalHost = "127.0.0.2";
// Large files served slowly, so that the kills land while they transfer.
constexpr int kLargeFiles = 4;
constexpr std::size_t kLargeFileSize = 96 * 1024;
constexpr const char* kSlowRate = "64k";
// Requests are held back to this rate, so that the crawl of the pages spans
// several of the killed runs.
constexpr const char* kRequestRate = "40r/s";
constexpr int kKilledRuns = 24;
// The exit status of a finished crawl: the server answers 404 to the
// generated site's broken links.
constexpr int kBrokenLinksStatus = 8;

struct Request {
    std::string method;
    std::string path;
    int status;
};

class ProjectNginxTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = new TempFolder();
        const fs::path html = s_folder->Path() / "nginx" / "html";
        s_externalPort = FreePort(kExternalHost);
        s_site = new GeneratedSite(html, s_folder->Path() / "ext", ExternalBase(), kPages, kImages);
        WriteLargeFiles(html);
        s_nginx = new NginxServer(s_folder->Path() / "nginx");
        const std::string root = s_folder->Path().string();
        s_nginx->SetHttpDirectives(
            "  log_format project '$request_method $request_uri $status';\n"
            "  limit_req_zone $server_name zone=crawl:1m rate=" +
            std::string(kRequestRate) +
            ";\n"
            "  server {\n    listen " +
            std::string(kExternalHost) + ":" + std::to_string(s_externalPort) + ";\n    root " +
            root + "/ext;\n  }\n");
        s_nginx->SetServerDirectives("    access_log " + root + "/site.log project;\n" +
                                     "    limit_req zone=crawl burst=100000;\n" +
                                     "    location /big/ { limit_rate " + kSlowRate + "; }\n");
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
        // The program reads its settings from the test's own store.
        m_config = std::make_unique<testing_support::ScopedEnv>("TARNWICK_CONFIG_DIR",
                                                                m_work.Path().c_str());
        // Broken links fail at once instead of holding a worker.
        CProgramOptions options;
        options.SetRetries(1);
        options.Save();
    }

    // A start page that leads to the generated site and to the large files.
    static void WriteLargeFiles(const fs::path& html) {
        std::string links = "<a href=\"/index.html\">site</a>\n";
        for (int i = 0; i < kLargeFiles; ++i) {
            std::string bytes(kLargeFileSize, '\0');
            for (std::size_t b = 0; b < bytes.size(); ++b) {
                bytes[b] = static_cast<char>(((b + 1) * (2654435761u + i)) >> 11);
            }
            const std::string path = "/big/f" + std::to_string(i) + ".bin";
            fs::create_directories(html / "big");
            testing_support::WriteFile((html.string() + path), bytes);
            s_largeFiles[path] = bytes;
            links += "<a href=\"" + path + "\">" + path + "</a>\n";
        }
        testing_support::WriteFile((html / "start.html").string(),
                                   "<html><body>" + links + "</body></html>\n");
    }

    static std::string ExternalBase() {
        return "http://" + std::string(kExternalHost) + ":" + std::to_string(s_externalPort);
    }
    static std::string SiteBase() { return "http://127.0.0.1:" + std::to_string(s_nginx->Port()); }
    static std::string SiteLog() { return s_folder->File("site.log"); }

    // Each served file that a crawl from /start.html saves, with its bytes,
    // by its name below the download folder; pages by name only.
    static std::map<std::string, std::string> ExpectedFiles() {
        std::map<std::string, std::string> files;
        const std::string site = "127.0.0.1_" + std::to_string(s_nginx->Port());
        const std::string external =
            std::string(kExternalHost) + "_" + std::to_string(s_externalPort);
        for (const auto& [target, level] : s_site->Crawl("/index.html")) {
            if (s_site->Exists(target)) {
                const bool outside = s_site->IsExternal(target);
                const std::string name =
                    outside ? external + target.substr(ExternalBase().size()) : site + target;
                files[name] = target.ends_with(".html") ? "" : s_site->Content(target);
            }
        }
        for (const auto& [path, bytes] : s_largeFiles) {
            files[site + path] = bytes;
        }
        files[site + "/start.html"] = "";
        return files;
    }

    static std::vector<Request> RequestsSince(std::size_t offset) {
        std::vector<Request> requests;
        std::istringstream text(ReadFile(SiteLog()).substr(offset));
        std::string method, path, status;
        while (text >> method >> path >> status) {
            requests.push_back({method, path, std::stoi(status)});
        }
        return requests;
    }

    int RunCli(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        std::vector<std::string> command{TARNWICK_CLI};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const std::string file = m_work.File("cli.out");
        fs::remove(file);
        const int status = testing_support::RunProgram(command, file);
        if (output != nullptr) {
            *output = ReadFile(file);
        }
        return status;
    }

    // The saved files match the served ones (pages only exist, they are
    // rewritten), every page's links lead to local files, and nothing else
    // lies in the download folder.
    void ExpectBrowsableMirror(CQuillmoorDoc& doc) {
        const std::string folder = doc.GetSettings().GetDownloadFolder();
        const std::map<std::string, std::string> expected = ExpectedFiles();
        std::set<std::string> onDisk;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            // A kill between writing a page's replacement and renaming it
            // leaves a hidden file behind, never a damaged page.
            if (entry.is_regular_file() && !entry.path().filename().string().starts_with(".")) {
                onDisk.insert(entry.path().lexically_relative(folder).string());
            }
        }
        std::set<std::string> names;
        for (const auto& [name, bytes] : expected) {
            names.insert(name);
            if (!bytes.empty()) {
                EXPECT_TRUE(ReadFile(folder + "/" + name) == bytes) << name << " differs";
            }
        }
        EXPECT_EQ(onDisk, names);
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        testing_support::LinkChecker checker(list, folder);
        EXPECT_EQ(checker.CheckSavedPages(), std::vector<std::string>());
        EXPECT_GT(checker.GetCheckedLinkCount(), static_cast<std::size_t>(5 * kPages));
    }

    static inline TempFolder* s_folder = nullptr;
    static inline GeneratedSite* s_site = nullptr;
    static inline NginxServer* s_nginx = nullptr;
    static inline int s_externalPort = 0;
    static inline std::map<std::string, std::string> s_largeFiles;

    TempFolder m_work;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
};

TEST_F(ProjectNginxTest, ACrawlKilledAtRandomMomentsAlwaysReopensAndCompletes) {
    const std::string project = m_work.File("site.tkp");
    ASSERT_EQ(
        RunCli({"new", SiteBase() + "/start.html", project, "--scope", "domain", "--threads", "6"}),
        0);
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> killAfterMs(100, 2500);

    // The paths that a saved project records as downloaded: none may be
    // fetched again by a later run.
    std::set<std::string> savedBefore;
    std::size_t listed = 0;
    std::size_t firstWritten = 0;
    std::size_t lastWritten = 0;
    int reopenedPaused = 0;
    int reopenedWithTasks = 0;
    for (int run = 0; run < kKilledRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::size_t logStart = ReadFile(SiteLog()).size();
        {
            ChildProcess child({TARNWICK_CLI, "start", project, "--autosave", "0.25"},
                               m_work.File("killed.out"));
            std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
            child.Signal(SIGKILL);
            child.Wait();
        }
        for (const Request& request : RequestsSince(logStart)) {
            if (request.method == "GET" && request.status / 100 == 2) {
                EXPECT_FALSE(savedBefore.contains(request.path)) << request.path << " again";
            }
        }
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(project))
            << CQuillmoorDoc::GetLoadErrorMessage(doc.GetLoadError());
        const ProjectRunState state = doc.GetController().GetState();
        ASSERT_TRUE(state == Stopped || state == Paused) << state;
        reopenedPaused += state == Paused ? 1 : 0;
        CDownloadManager& manager = *doc.GetController().GetManager();
        reopenedWithTasks += manager.GetRetryCount() > 0 ? 1 : 0;
        CDownloadList& list = manager.GetList();
        EXPECT_GE(list.GetCount(), listed) << "the list lost entries";
        listed = list.GetCount();
        lastWritten = list.GetStats().written;
        firstWritten = run == 0 ? lastWritten : firstWritten;
        list.RewindView();
        while (const CDownloadEntry* entry = list.NextViewEntry()) {
            if (entry->HasStoredPath() && entry->GetUrlText().starts_with(SiteBase())) {
                savedBefore.insert(entry->GetUrlText().substr(SiteBase().size()));
            }
        }
    }
    EXPECT_GT(reopenedPaused, kKilledRuns / 2);
    EXPECT_GT(reopenedWithTasks, 0) << "no kill caught a transfer under way";
    EXPECT_GT(lastWritten, firstWritten) << "no progress was saved across the kills";

    const std::size_t logStart = ReadFile(SiteLog()).size();
    std::string output;
    // A resumed crawl meets only the broken links that the killed runs left.
    const int status = RunCli({"start", project}, &output);
    ASSERT_TRUE(status == 0 || status == kBrokenLinksStatus) << status << output;
    EXPECT_NE(output.find("Project completed: "), std::string::npos) << output;
    for (const Request& request : RequestsSince(logStart)) {
        if (request.method == "GET" && request.status / 100 == 2) {
            EXPECT_FALSE(savedBefore.contains(request.path)) << request.path << " again";
        }
    }
    CQuillmoorDoc doc(nullptr);
    ASSERT_TRUE(doc.OpenDocument(project));
    EXPECT_EQ(doc.GetController().GetState(), Stopped);
    ExpectBrowsableMirror(doc);
}

TEST_F(ProjectNginxTest, CtrlCPausesAndSavesAndASecondOneStopsTheProject) {
    const std::string project = m_work.File("site.tkp");
    ASSERT_EQ(RunCli({"new", SiteBase() + "/start.html", project, "--scope", "domain"}), 0);
    const auto interruptAfter = [&](std::chrono::milliseconds delay, int signals) {
        const std::string output = m_work.File("interrupted.out");
        fs::remove(output);
        ChildProcess child({TARNWICK_CLI, "start", project}, output);
        std::this_thread::sleep_for(delay);
        // Two signals of one kind that arrive together merge into one; a
        // Ctrl+C and a kill do not, and both count as interrupts. The child
        // is held while they are sent, so that both are pending before it
        // can act on the first, as when a second Ctrl+C comes during a
        // pause that takes its time; a busy machine must not split them.
        child.Signal(SIGSTOP);
        child.Signal(SIGINT);
        if (signals == 2) {
            child.Signal(SIGTERM);
        }
        child.Signal(SIGCONT);
        EXPECT_EQ(child.Wait(), 130);
        return ReadFile(output);
    };

    std::string output = interruptAfter(std::chrono::milliseconds(1500), 1);
    EXPECT_NE(output.find("Paused: "), std::string::npos) << output;
    EXPECT_EQ(output.find("Project completed"), std::string::npos) << output;
    {
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(project));
        EXPECT_EQ(doc.GetController().GetState(), Paused);
        // The large files were under way: their parts wait to be resumed.
        EXPECT_GT(doc.GetController().GetManager()->GetRetryCount(), 0u);
    }

    output = interruptAfter(std::chrono::milliseconds(500), 2);
    EXPECT_NE(output.find("Links updated."), std::string::npos) << output;
    EXPECT_NE(output.find("Project completed: "), std::string::npos) << output;
    {
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(project));
        EXPECT_EQ(doc.GetController().GetState(), Stopped);
        // What was saved so far browses offline already.
        testing_support::LinkChecker checker(doc.GetController().GetManager()->GetList(),
                                             doc.GetSettings().GetDownloadFolder());
        EXPECT_EQ(checker.CheckSavedPages(), std::vector<std::string>());
    }

    ASSERT_EQ(RunCli({"start", project}, &output), kBrokenLinksStatus) << output;
    CQuillmoorDoc doc(nullptr);
    ASSERT_TRUE(doc.OpenDocument(project));
    ExpectBrowsableMirror(doc);
}

TEST_F(ProjectNginxTest, AMirrorBrowsesOfflineAndMovesWithItsProjectFile) {
    std::string output;
    ASSERT_EQ(RunCli({"mirror", SiteBase() + "/start.html", "--into", m_work.File("m"), "--scope",
                      "domain", "--threads", "4"},
                     &output),
              kBrokenLinksStatus)
        << output;
    {
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(m_work.File("m.tkp")));
        EXPECT_EQ(doc.GetSettings().GetDownloadFolder(), m_work.File("m"));
        ExpectBrowsableMirror(doc);
    }

    fs::create_directory(m_work.File("moved"));
    fs::rename(m_work.File("m.tkp"), m_work.File("moved/m.tkp"));
    fs::rename(m_work.File("m"), m_work.File("moved/m"));
    const std::size_t logStart = ReadFile(SiteLog()).size();
    ASSERT_EQ(RunCli({"start", m_work.File("moved/m.tkp")}, &output), kBrokenLinksStatus) << output;
    EXPECT_NE(output.find("Project completed: 0 files were downloaded."), std::string::npos)
        << output;
    // Only the broken links are fetched again: nothing on record changed.
    for (const Request& request : RequestsSince(logStart)) {
        EXPECT_TRUE(request.method == "HEAD" || request.status / 100 != 2) << request.path;
    }
    EXPECT_FALSE(fs::exists(m_work.File("moved/m.files")));
    CQuillmoorDoc moved(nullptr);
    ASSERT_TRUE(moved.OpenDocument(m_work.File("moved/m.tkp")));
    EXPECT_EQ(moved.GetSettings().GetDownloadFolder(), m_work.File("moved/m"));
    ExpectBrowsableMirror(moved);
}

}  // namespace
#endif
