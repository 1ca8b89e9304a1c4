// The chm command of the command line on a mirror that a real crawl made:
// a generated site served by nginx, crawled with tarnwick-cli, compiled with
// chmcmd and read back with chmls.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/program_options.h"
#include "engine/quillmoor_doc.h"
#include "storage/local_file_mapping.h"
#include "support/child_process.h"
#include "support/fake_chm_compiler.h"
#include "support/generated_site.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#ifdef TARNWICK_CLI
namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::FindProgram;
using testing_support::GeneratedSite;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;

constexpr int kPages = 40;
constexpr int kImages = 12;
// The site's few links to another host lead to a port where nothing listens.
constexpr const char* kUnreachableBase = "http://127.0.0.1:1";
constexpr auto kCompilerStartLimit = std::chrono::seconds(60);

struct SavedPage {
    std::string local;  // below the download folder, as the help file names it
    std::string title;
};

class ChmCommandNginxTest : public testing::Test {
protected:
    // One crawl serves every test: the chm command only reads the project.
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = new TempFolder();
        s_config = new ScopedEnv("TARNWICK_CONFIG_DIR", s_folder->Path().c_str());
        // The unreachable links fail at once instead of holding a worker.
        CProgramOptions options;
        options.SetRetries(1);
        // The requests that the test counts are the site's own, without robots.txt.
        options.SetRobots(false);
        options.Save();
        const fs::path html = s_folder->Path() / "nginx" / "html";
        s_site =
            new GeneratedSite(html, s_folder->Path() / "ext", kUnreachableBase, kPages, kImages);
        s_nginx = new NginxServer(s_folder->Path() / "nginx");
        s_nginx->Start();
        const std::string start =
            "http://127.0.0.1:" + std::to_string(s_nginx->Port()) + "/index.html";
        s_crawlStatus = RunCli({"new", start, Project(), "--scope", "domain", "--threads", "4"},
                               &s_crawlOutput);
        if (s_crawlStatus == 0) {
            s_crawlStatus = RunCli({"start", Project()}, &s_crawlOutput);
        }
    }
    static void TearDownTestSuite() {
        delete s_nginx;
        delete s_site;
        delete s_config;
        delete s_folder;
        s_nginx = nullptr;
    }

    void SetUp() override {
        if (s_nginx == nullptr) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        // The links to the unreachable host fail the crawl with a network status.
        ASSERT_EQ(s_crawlStatus, 4) << s_crawlOutput;
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(Project()));
        m_downloadFolder = doc.GetSettings().GetDownloadFolder();
        m_startLocal = ReadSavedPages(doc);
        ASSERT_GE(m_pages.size(), static_cast<std::size_t>(kPages)) << s_crawlOutput;
        ASSERT_FALSE(m_startLocal.empty());
    }

    static std::string Project() { return s_folder->File("site.tkp"); }

    static int RunCli(const std::vector<std::string>& arguments, std::string* output) {
        std::vector<std::string> command{TARNWICK_CLI};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const std::string file = s_folder->File("cli.out");
        fs::remove(file);
        const int status = testing_support::RunProgram(command, file);
        *output = ReadFile(file);
        return status;
    }

    // Every page that the crawl saved, as the help file must name it; the
    // starting page's name is returned.
    std::string ReadSavedPages(CQuillmoorDoc& doc) {
        const CUrl start = doc.GetSettings().GetStartUrl();
        const CLocalFileMapping mapping{CFilePath(m_downloadFolder)};
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        std::string startLocal;
        list.RewindView();
        while (const CDownloadEntry* entry = list.NextViewEntry()) {
            CUrl url;
            std::string local;
            if (!entry->HasStoredPath() || !url.Parse(entry->GetUrlText())) {
                continue;
            }
            mapping.StoredToLocalPath(url, entry->GetStoredPath(), local);
            const std::string relative = fs::path(local).lexically_relative(m_downloadFolder);
            if (relative.ends_with(".html")) {
                // The generated pages are titled with their path on the site.
                m_pages.push_back(
                    {relative, url.GetSourceText().substr(url.GetSourceText().find('/', 7))});
            }
            if (url.GetSourceText() == start.GetSourceText()) {
                startLocal = relative;
            }
        }
        return startLocal;
    }

    // The build's own files never outlive the command: the download folder
    // holds only the hosts' folders.
    void ExpectNothingGenerated() const {
        for (const auto& entry : fs::directory_iterator(m_downloadFolder)) {
            EXPECT_TRUE(entry.is_directory()) << entry.path() << " was left behind";
        }
    }

    static std::string Lines(const std::vector<std::string>& command) {
        const std::string file = s_folder->File("tool.out");
        fs::remove(file);
        EXPECT_EQ(testing_support::RunProgram(command, file), 0) << command[1];
        return ReadFile(file);
    }

    static inline TempFolder* s_folder = nullptr;
    static inline ScopedEnv* s_config = nullptr;
    static inline GeneratedSite* s_site = nullptr;
    static inline NginxServer* s_nginx = nullptr;
    static inline int s_crawlStatus = -1;
    static inline std::string s_crawlOutput;

    TempFolder m_work;
    std::string m_downloadFolder;
    std::string m_startLocal;
    std::vector<SavedPage> m_pages;
};

TEST_F(ChmCommandNginxTest, EverySavedPageIsInsideTheHelpFileAndNamedByItsContentsAndIndex) {
    for (const char* tool : {"chmcmd", "chmls"}) {
        if (FindProgram(tool).empty()) {
            TARNWICK_MISSING_SERVER(tool << " is not installed");
        }
    }
    const ScopedEnv realCompiler("TARNWICK_CHM_COMPILER", nullptr);
    const std::string target = m_work.File("site.chm");
    std::string output;
    ASSERT_EQ(RunCli({"chm", Project(), target}, &output), 0) << output;
    EXPECT_NE(output.find("Compiling... "), std::string::npos) << output;
    EXPECT_NE(output.find("Compiled " + target), std::string::npos) << output;

    const std::string names = Lines({"chmls", "-n", "list", target});
    const std::string contentsFile = m_work.File("contents.hhc");
    const std::string indexFile = m_work.File("index.hhk");
    Lines({"chmls", "extracttoc", target, contentsFile});
    Lines({"chmls", "extractindex", target, indexFile});
    const std::string contents = ReadFile(contentsFile);
    const std::string index = ReadFile(indexFile);
    for (const SavedPage& page : m_pages) {
        EXPECT_NE(names.find("/" + page.local + "\n"), std::string::npos) << page.local;
        for (const std::string* sitemap : {&contents, &index}) {
            EXPECT_NE(sitemap->find("value=\"" + page.local + "\""), std::string::npos)
                << page.local;
            EXPECT_NE(sitemap->find("value=\"" + page.title + "\""), std::string::npos)
                << page.title;
        }
    }
    // The help file opens with the starting page.
    EXPECT_NE(Lines({"chmls", "printsystem", target}).find(":" + m_startLocal), std::string::npos);
    ExpectNothingGenerated();
}

TEST_F(ChmCommandNginxTest, ACtrlCDuringCompilationLeavesNoTargetAndNoGeneratedFiles) {
    // A compiler that starts writing its file, says where it runs, and
    // would go on for ten minutes.
    const std::string marker = m_work.File("compiler.pid");
    const std::string compiler = testing_support::WriteFakeCompiler(
        m_work, "slow.sh",
        std::string("out=$(") + testing_support::kCompiledNameCommand +
            ")\nprintf 'partial' > \"$out\"\necho 'Writing CHM'\necho $$ > " + marker +
            ".tmp\nmv " + marker + ".tmp " + marker + "\nexec sleep 600\n");
    const ScopedEnv slowCompiler("TARNWICK_CHM_COMPILER", compiler.c_str());
    const std::string target = m_work.File("site.chm");
    const std::string outputFile = m_work.File("chm.out");

    ChildProcess child({TARNWICK_CLI, "chm", Project(), target}, outputFile);
    const auto limit = std::chrono::steady_clock::now() + kCompilerStartLimit;
    while (!fs::exists(marker) && child.IsRunning() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(marker)) << ReadFile(outputFile);
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(), 130) << ReadFile(outputFile);
    const std::string output = ReadFile(outputFile);
    EXPECT_NE(output.find("Compilation cancelled"), std::string::npos) << output;
    EXPECT_EQ(output.find("Error compiling the files!"), std::string::npos) << output;

    EXPECT_FALSE(fs::exists(target));
    ExpectNothingGenerated();
    // The compiler was ended with the build, not left running.
    const pid_t compilerPid = std::stoi(ReadFile(marker));
    EXPECT_TRUE(::kill(compilerPid, 0) == -1 && errno == ESRCH) << compilerPid;
}

TEST_F(ChmCommandNginxTest, AMissingCompilerIsReportedAndNothingIsWritten) {
    const ScopedEnv missing("TARNWICK_CHM_COMPILER", m_work.File("no-such-chmcmd").c_str());
    const std::string target = m_work.File("site.chm");
    std::string output;
    EXPECT_NE(RunCli({"chm", Project(), target}, &output), 0);
    EXPECT_NE(output.find("Can't load the compiler!\n"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(target));
    ExpectNothingGenerated();
}

}  // namespace
#endif
