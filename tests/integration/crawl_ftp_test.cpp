// FTP URLs in a crawl, against pyftpdlib: a file saved under its ftp_ name,
// a file the filters refuse, and a partial file continued from its offset.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/file_stream.h"
#include "engine/crawl_controller.h"
#include "engine/download_worker.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"
#include "support/crawl_window.h"
#include "support/missing_server.h"
#include "support/pyftpdlib_server.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::PyftpdlibServer;
using testing_support::ReadFile;
using testing_support::TempFolder;

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2246822519u) >> 11);
    }
    return bytes;
}

// pyftpdlib lists this time only to the minute, so only MDTM states it.
constexpr time_t kServerTime = 1000000007;

class CrawlFtpTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::make_unique<TempFolder>();
        const std::string python = PyftpdlibServer::FindPython(s_folder->Path());
        if (python.empty()) {
            return;
        }
        s_server = std::make_unique<PyftpdlibServer>(python, s_folder->Path() / "server");
        std::filesystem::create_directories(s_server->Root() / "pub");
        testing_support::WriteFile((s_server->Root() / "pub/data.zip").string(), Bytes(200000));
        const timespec times[2] = {{kServerTime, 0}, {kServerTime, 0}};
        ::utimensat(AT_FDCWD, (s_server->Root() / "pub/data.zip").c_str(), times, 0);
        s_server->Start();
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_server) {
            TARNWICK_MISSING_SERVER("python3-pyftpdlib is not installed");
        }
        m_options.SetRetries(1);
        m_project.SetThreadCount(1);
        m_project.SetFolders(m_download.File("site.files"), "site.files");
        m_project.SetStartUrl(Url("/pub/data.zip"));
    }

    static CUrl Url(const std::string& path) {
        CUrl url;
        EXPECT_TRUE(url.Parse("ftp://127.0.0.1:" + std::to_string(s_server->Port()) + path));
        return url;
    }
    std::string Saved(const std::string& path) const {
        return m_download.File("site.files") + "/ftp_127.0.0.1_" +
               std::to_string(s_server->Port()) + path;
    }

    void Crawl() {
        m_controller = std::make_unique<CCrawlController>(m_project);
        m_controller->New(m_window.Target());
        ASSERT_TRUE(m_controller->Start(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished());
    }

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<PyftpdlibServer> s_server;
    TempFolder m_download;
    CProgramOptions m_options;
    CProjectSettings m_project;
    CrawlWindow m_window;
    std::unique_ptr<CCrawlController> m_controller;
};

TEST_F(CrawlFtpTest, AFileIsSavedUnderItsFtpName) {
    Crawl();
    ASSERT_EQ(m_window.Urls(WM_DL_FILE_SAVED),
              std::vector<std::string>{Url("/pub/data.zip").GetSourceText()});
    // FTP keeps the absolute local path as the stored path.
    EXPECT_EQ(m_controller->GetManager()->GetList().GetStoredPath(Url("/pub/data.zip")),
              Saved("/pub/data.zip"));
    EXPECT_EQ(ReadFile(Saved("/pub/data.zip")), Bytes(200000));
    struct stat saved {};
    ASSERT_EQ(::stat(Saved("/pub/data.zip").c_str(), &saved), 0);
    EXPECT_EQ(saved.st_mtime, kServerTime);
}

TEST_F(CrawlFtpTest, TheFiltersRefuseByExtensionBeforeTheTransfer) {
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(0).SetEnabled(true);  // Image: no .zip
    m_project.GetRules().SetFilters(filters);
    Crawl();
    ASSERT_EQ(m_window.Count(WM_DL_URL_DONE), 1);
    for (const auto& event : m_window.Events()) {
        if (event.message == WM_DL_URL_DONE) {
            EXPECT_EQ(event.code, ERR_CLIENT_RULE);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Saved("/pub/data.zip")));
}

TEST_F(CrawlFtpTest, APartialFileContinuesFromItsOffset) {
    const std::string whole = Bytes(200000);
    std::filesystem::create_directories(
        std::filesystem::path(Saved("/pub/data.zip")).parent_path());
    // Marked bytes on disk show that they were kept and only the rest was fetched.
    const std::string part(70000, 'x');
    testing_support::WriteFile(Saved("/pub/data.zip"), part);
    CDownloadTask task;
    task.item = CLinkItem(Url("/pub/data.zip"), 0, true);
    task.bytesReceived = 70000;
    task.localPath = Saved("/pub/data.zip");
    CFileStream output;
    CProgressNotifier notifier(0, nullptr);
    CWaitEvent finished;
    CDownloadWorker worker(m_project);
    ASSERT_TRUE(worker.Setup({5000, 10000, 10000}, m_options, &output, &notifier));
    worker.SetFinishedEvent(&finished);
    ASSERT_TRUE(worker.Start(0));
    worker.Assign(task);
    ASSERT_EQ(finished.Wait(30000), WAIT_OBJECT_0);
    const CDownloadTask done = worker.CopyTask();
    worker.Stop();
    EXPECT_TRUE(done.success) << std::hex << done.resultCode;
    EXPECT_EQ(done.bytesReceived, 200000);
    EXPECT_EQ(ReadFile(Saved("/pub/data.zip")), part + whole.substr(70000));
}

}  // namespace
