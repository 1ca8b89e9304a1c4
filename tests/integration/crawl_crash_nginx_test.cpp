// A crawl by the command line that is killed again and again, at random
// moments and inside its own saves and journal writes, and resumed each time:
// it must end with the mirror a crawl without kills makes, every URL listed
// once, and each file fetched in full hardly more than once over the series.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/quillmoor_doc.h"
#include "support/child_process.h"
#include "support/generated_site.h"
#include "support/link_checker.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#ifdef TARNWICK_CLI
namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::GeneratedSite;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;

constexpr int kPages = 200;
constexpr int kImages = 50;
constexpr int kKills = 20;
// Large files, served slowly, are cut by most kills and resumed by range.
constexpr int kLargeFiles = 3;
constexpr std::size_t kLargeSize = 48 * 1024;

// How a run of the series ends.
enum class Ending {
    Killed,        // SIGKILL at a random moment
    InJournal,     // killed by itself halfway through writing a journal batch
    BeforeCommit,  // Ctrl+C, and killed inside the save that pauses
    BetweenRenames,
};

struct Fetch {
    std::string path;
    int status;
    std::size_t bytes;
};

class CrawlCrashTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::IsInstalled()) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        const fs::path html = m_folder.Path() / "nginx" / "html";
        m_site = std::make_unique<GeneratedSite>(html, m_folder.Path() / "ext",
                                                 "http://127.0.0.2:9", kPages, kImages);
        fs::create_directories(html / "big");
        std::string links;
        for (int i = 0; i < kLargeFiles; ++i) {
            const std::string name = "/big/f" + std::to_string(i) + ".bin";
            std::string bytes(kLargeSize, '\0');
            for (std::size_t b = 0; b < bytes.size(); ++b) {
                bytes[b] = static_cast<char>((b * 2654435761u + i) >> 11);
            }
            testing_support::WriteFile((html.string() + name), bytes);
            m_large[name] = bytes;
            links += "<a href=\"" + name + "\">f</a>";
        }
        // The generated root page leads to the large files too.
        testing_support::WriteFile((html / "index.html").string(),
                                   ReadFile((html / "index.html").string()) + links);
        m_nginx = std::make_unique<NginxServer>(m_folder.Path() / "nginx");
        m_nginx->SetHttpDirectives(
            "  log_format fetches '$request_method $request_uri $status "
            "$body_bytes_sent';\n");
        m_nginx->SetServerDirectives("    access_log " + Log() +
                                     " fetches;\n"
                                     "    location / { limit_rate 1500; }\n"
                                     "    location /big/ { limit_rate 16k; }\n");
        m_nginx->Start();
        m_config = std::make_unique<ScopedEnv>("TARNWICK_CONFIG_DIR", m_folder.Path().c_str());
    }

    std::string Log() const { return m_folder.File("fetches.log"); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_nginx->Port()); }
    std::string Project() const { return m_folder.File("site.tkp"); }
    std::string Output() const { return m_folder.File("cli.out"); }

    // The site's broken links end a crawl with the server-error status.
    static bool Completed(int status) { return status == 0 || status == 4 || status == 8; }

    int RunCli(const std::vector<std::string>& arguments) {
        std::vector<std::string> command{TARNWICK_CLI};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return testing_support::RunProgram(command, Output());
    }

    // One run of `start`, ended as the series wants; true once a run
    // completed the crawl.
    bool RunOnce(Ending ending, std::mt19937& random) {
        std::unique_ptr<ScopedEnv> crash;
        std::uniform_int_distribution<int> delay(100, 800);
        if (ending == Ending::InJournal) {
            const std::string at = "journal-write:" + std::to_string(1 + random() % 6);
            crash = std::make_unique<ScopedEnv>("TARNWICK_CRASH_AT", at.c_str());
        } else if (ending == Ending::BeforeCommit || ending == Ending::BetweenRenames) {
            crash = std::make_unique<ScopedEnv>("TARNWICK_CRASH_AT", ending == Ending::BeforeCommit
                                                                         ? "save-before-commit"
                                                                         : "save-between-renames");
        }
        ChildProcess run({TARNWICK_CLI, "start", Project(), "-q"}, Output());
        crash.reset();
        const auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(ending == Ending::InJournal ? 8000 : delay(random));
        while (std::chrono::steady_clock::now() < deadline && run.IsRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!run.IsRunning()) {
            return Completed(run.Wait());
        }
        if (ending == Ending::BeforeCommit || ending == Ending::BetweenRenames) {
            run.Signal(SIGINT);
            for (int i = 0; i < 500 && run.IsRunning(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        run.Signal(SIGKILL);
        run.Wait();
        return false;
    }

    std::vector<Fetch> Fetches() const {
        std::vector<Fetch> fetches;
        std::istringstream log(ReadFile(Log()));
        std::string method;
        Fetch fetch;
        while (log >> method >> fetch.path >> fetch.status >> fetch.bytes) {
            if (method == "GET") {
                fetches.push_back(fetch);
            }
        }
        return fetches;
    }

    std::string Served(const std::string& path) const {
        return ReadFile((m_folder.Path() / "nginx" / "html").string() +
                        (path == "/" ? "/index.html" : path));
    }

    TempFolder m_folder;
    std::unique_ptr<GeneratedSite> m_site;
    std::map<std::string, std::string> m_large;
    std::unique_ptr<NginxServer> m_nginx;
    std::unique_ptr<ScopedEnv> m_config;
};

TEST_F(CrawlCrashTest, KillsAtAnyMomentLoseOnlyTheWorkInFlight) {
    ASSERT_EQ(RunCli({"new", Base() + "/", Project(), "--threads", "3"}), 0) << ReadFile(Output());
    std::mt19937 random(20261208);
    bool completed = false;
    int kills = 0;
    for (; kills < kKills && !completed; ++kills) {
        completed = RunOnce(static_cast<Ending>(kills % 4), random);
    }
    // Resumed without kills until it ends.
    for (int run = 0; run < 5 && !completed; ++run) {
        completed = Completed(RunCli({"start", Project(), "-q"}));
    }
    ASSERT_TRUE(completed) << ReadFile(Output());
    EXPECT_GE(kills, kKills * 3 / 4) << "the crawl ended before the series could test it";

    CQuillmoorDoc doc(nullptr);
    ASSERT_TRUE(doc.OpenDocument(Project()));
    CDownloadList& list = doc.GetController().GetManager()->GetList();
    const std::string host = "127.0.0.1:" + std::to_string(m_nginx->Port());
    std::set<std::string> listed;
    std::map<std::string, std::string> saved;
    list.ForEachEntry([&](const CDownloadEntry& entry) {
        EXPECT_TRUE(listed.insert(entry.GetUrlText()).second) << entry.GetUrlText();
        const std::string path = entry.GetUrl().GetPath();
        if (entry.HasStoredPath() &&
            entry.GetUrl().GetHost() + ":" + std::to_string(entry.GetUrl().GetPort()) == host) {
            saved[path] = entry.GetStoredPath();
        }
    });
    // Nothing lost: every file of the site is saved, the large ones and
    // every image byte for byte.
    std::set<std::string> files;
    for (const auto& [target, level] : m_site->Crawl("/")) {
        if (!m_site->IsExternal(target) && m_site->Exists(target)) {
            files.insert(target);
            EXPECT_TRUE(saved.count(target)) << target;
        }
    }
    const std::string folder = doc.GetSettings().GetDownloadFolder();
    const std::string hostFolder = folder + "/127.0.0.1_" + std::to_string(m_nginx->Port());
    for (const auto& [name, bytes] : m_large) {
        files.insert(name);
        EXPECT_EQ(ReadFile(hostFolder + name), bytes) << name;
    }
    for (const std::string& file : files) {
        if (file.ends_with(".png") || file.ends_with(".css")) {
            EXPECT_EQ(ReadFile(hostFolder + file), Served(file)) << file;
        }
    }
    EXPECT_EQ(testing_support::LinkChecker(list, folder).CheckSavedPages(),
              std::vector<std::string>{});

    // A GET whose whole body went out is a fetch in full; a range that
    // continues a cut file is not, and a file may be saved by ranges only.
    std::map<std::string, int> inFull;
    for (const Fetch& fetch : Fetches()) {
        if (fetch.status == 200 && files.count(fetch.path) &&
            fetch.bytes == Served(fetch.path).size()) {
            ++inFull[fetch.path];
        }
    }
    int total = 0;
    for (const std::string& file : files) {
        total += inFull[file];
    }
    RecordProperty("fetches_in_full", total);
    RecordProperty("files", static_cast<int>(files.size()));
    RecordProperty("kills", kills);
    EXPECT_LE(total, static_cast<int>(files.size() * 3 / 2))
        << total << " fetches in full of " << files.size() << " files over " << kills << " kills";
}

}  // namespace
#endif
