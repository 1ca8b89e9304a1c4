#include "engine/download_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "support/crawl_window.h"
#include "support/memory_stream.h"
#include "support/parsed_url.h"
#include "support/scripted_worker.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::MemoryStream;
using testing_support::ParsedUrl;
using testing_support::ScriptedPage;
using testing_support::ScriptedSite;
using testing_support::ScriptedWorker;
using testing_support::TempFolder;

std::vector<std::string> Sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

class DownloadManagerTest : public testing::Test {
protected:
    void SetUp() override {
        m_options.SetRetries(1);
        m_project.SetStartUrl(ParsedUrl("http://h/#top"));
        m_project.SetThreadCount(3);
        m_project.SetFolders((m_folder.Path() / "site.files").string(), "site.files");
        m_site.Add("http://h/", {ERR_SUCCESS, {"http://h/a", "http://h/b#part", "http://h/a"}});
        m_site.Add("http://h/a", {ERR_SUCCESS, {"http://h/c", "http://h/"}});
        m_site.Add("http://h/b", {ERR_SUCCESS, {"http://h/c#x"}});
        m_site.Add("http://h/c", {});
    }

    void NewController() {
        m_controller =
            std::make_unique<CCrawlController>(m_project, ScriptedWorker::Factory(m_site));
        m_controller->New(m_window.Target());
    }

    // Starts (or resumes) and pumps until the crawl ends by itself.
    void CrawlToEnd(bool resume = false) {
        ASSERT_TRUE(resume ? m_controller->Resume(m_options) : m_controller->Start(m_options));
        ASSERT_TRUE(m_window.PumpUntilFinished());
        EXPECT_TRUE(m_controller->OnCrawlFinished());
        EXPECT_EQ(m_controller->GetState(), Stopped);
    }

    const CDownloadEntry* Entry(const std::string& url) {
        return m_controller->GetManager()->GetList().Find(ParsedUrl(url));
    }

    TempFolder m_folder;
    CProgramOptions m_options;
    CProjectSettings m_project;
    ScriptedSite m_site;
    CrawlWindow m_window;
    std::unique_ptr<CCrawlController> m_controller;
};

TEST_F(DownloadManagerTest, EveryReachableUrlIsFetchedOnceWhateverTheThreadCount) {
    m_site.Add("http://h/b", {ERR_SUCCESS, {"http://h/c#x", "http://h/missing"}});
    for (int threads : {1, 3, 8}) {
        SCOPED_TRACE(threads);
        m_project.SetThreadCount(threads);
        m_site.ClearFetched();
        m_window.ClearEvents();
        NewController();
        CrawlToEnd();

        // The fragment of the starting URL and of found links is dropped.
        EXPECT_EQ(Sorted(m_site.Fetched()),
                  (std::vector<std::string>{"http://h/", "http://h/a", "http://h/b", "http://h/c",
                                            "http://h/missing"}));
        EXPECT_EQ(
            Sorted(m_window.Urls(WM_DL_FILE_SAVED)),
            (std::vector<std::string>{"http://h/", "http://h/a", "http://h/b", "http://h/c"}));
        EXPECT_EQ(m_window.Urls(WM_DL_URL_DONE), std::vector<std::string>{"http://h/missing"});
        EXPECT_EQ(m_window.Count(WM_DL_THREAD_URL), 5);
        EXPECT_EQ(m_window.Count(WM_DL_STARTED), 1);
        EXPECT_EQ(m_window.Events().back().message, WM_DL_FINISHED);
        // The window hears of each URL being taken before what became of it.
        const std::vector<testing_support::CrawlEvent>& events = m_window.Events();
        for (auto done = events.begin(); done != events.end(); ++done) {
            if (done->message == WM_DL_FILE_SAVED || done->message == WM_DL_URL_DONE) {
                EXPECT_TRUE(std::any_of(events.begin(), done, [&](const auto& taken) {
                    return taken.message == WM_DL_THREAD_URL && taken.url == done->url;
                })) << done->url;
            }
        }

        const CDownloadList::Stats stats = m_controller->GetStats();
        EXPECT_EQ(stats.queued, 5u);
        EXPECT_EQ(stats.requested, 5u);
        EXPECT_EQ(stats.written, 4u);
        ASSERT_NE(Entry("http://h/a"), nullptr);
        EXPECT_EQ(Entry("http://h/a")->GetStoredPath(), "stored:http://h/a");
        EXPECT_EQ(Entry("http://h/a")->GetRefCount(), 2);
        EXPECT_EQ(Entry("http://h/c")->GetRefCount(), 2);
        EXPECT_EQ(Entry("http://h/c")->GetLevel(), 2);
        EXPECT_EQ(Entry("http://h/missing")->GetResultCode(), ERR_HTTP_CLIENT_ERROR);
        EXPECT_FALSE(Entry("http://h/missing")->HasStoredPath());
    }
}

TEST_F(DownloadManagerTest, OnlyPagesThatTheFiltersRefusedLeadOnUnsaved) {
    const struct {
        ResultCode result;
        bool followed;
    } cases[] = {
        {ERR_CLIENT_RULE, true}, {ERR_PAGE_NOT_PARSED, false}, {ERR_NOT_ENOUGH_MEMORY, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        // a links back to the starting page, which must not be fetched again.
        m_site.Add("http://h/", {c.result, {"http://h/a", "http://h/b#part", "http://h/a"}});
        m_site.Add("http://h/a", {c.result, {"http://h/c", "http://h/"}});
        m_site.ClearFetched();
        m_window.ClearEvents();
        NewController();
        CrawlToEnd();

        using Urls = std::vector<std::string>;
        const Urls all{"http://h/", "http://h/a", "http://h/b", "http://h/c"};
        const Urls saved{"http://h/b", "http://h/c"};
        const Urls refused{"http://h/", "http://h/a"};
        EXPECT_EQ(Sorted(m_site.Fetched()), c.followed ? all : Urls{"http://h/"});
        EXPECT_EQ(Sorted(m_window.Urls(WM_DL_FILE_SAVED)), c.followed ? saved : Urls());
        EXPECT_EQ(Sorted(m_window.Urls(WM_DL_URL_DONE)), c.followed ? refused : Urls{"http://h/"});
        EXPECT_EQ(Entry("http://h/")->GetResultCode(), c.result);
        EXPECT_FALSE(Entry("http://h/")->HasStoredPath());
        EXPECT_EQ(m_controller->GetStats().written, c.followed ? 2u : 0u);
    }
}

TEST_F(DownloadManagerTest, OnePageSiteEndsOnThePassThatCollectsThePage) {
    m_project.SetStartUrl(ParsedUrl("http://h/c"));
    NewController();
    CrawlToEnd();
    // The first pass hands the page out; the finished worker wakes the
    // second, which collects it, finds nothing to hand out and ends.
    EXPECT_EQ(m_controller->GetManager()->GetPassCount(), 2u);
    EXPECT_EQ(m_window.Urls(WM_DL_FILE_SAVED), std::vector<std::string>{"http://h/c"});
}

TEST_F(DownloadManagerTest, ACrawlWithoutWorkersEndsAtOnce) {
    m_project.SetThreadCount(0);
    NewController();
    CrawlToEnd();
    EXPECT_TRUE(m_site.Fetched().empty());
}

TEST_F(DownloadManagerTest, UnchangedUrlsKeepTheirEntryOnTheNextCrawl) {
    m_site.Add("http://h/c", {ERR_SUCCESS, {}, false, 1000});
    NewController();
    CrawlToEnd();
    ASSERT_EQ(Entry("http://h/c")->GetModificationTime(), 1000);

    // The next crawl hands the recorded time to the task; the scripted fetch
    // answers "unchanged", which records nothing and reports nothing.
    m_site.ClearFetched();
    m_window.ClearEvents();
    CrawlToEnd();
    EXPECT_EQ(m_site.Fetched().size(), 4u);
    const std::vector<std::string> saved = m_window.Urls(WM_DL_FILE_SAVED);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), "http://h/c"), 0);
    EXPECT_EQ(Entry("http://h/c")->GetStoredPath(), "stored:http://h/c");
    EXPECT_EQ(Entry("http://h/c")->GetModificationTime(), 1000);
    EXPECT_EQ(Entry("http://h/c")->GetResultCode(), ERR_SUCCESS);
}

TEST_F(DownloadManagerTest, PauseQueuesTheInterruptedUrlAndResumeFetchesItFirst) {
    m_project.SetThreadCount(1);
    m_site.Add("http://h/b", {ERR_SUCCESS, {"http://h/c"}, true});
    NewController();
    ASSERT_TRUE(m_controller->Start(m_options));
    // Pause while the worker is inside the fetch of b.
    ASSERT_TRUE(m_window.PumpUntil([&] {
        const auto fetched = m_site.Fetched();
        return std::find(fetched.begin(), fetched.end(), "http://h/b") != fetched.end();
    }));
    ASSERT_TRUE(m_controller->Pause());
    EXPECT_EQ(m_controller->GetState(), Paused);
    EXPECT_EQ(m_controller->GetManager()->GetRetryCount(), 1u);
    EXPECT_EQ(Entry("http://h/b")->GetResultCode(), ERR_ATTEMPT_INTERRUPTED);
    EXPECT_EQ(m_window.Count(WM_DL_URL_DONE), 0);
    // The end message of the paused thread is dropped or ignored.
    m_window.PumpUntil([] { return false; }, std::chrono::seconds(0));
    EXPECT_FALSE(m_controller->OnCrawlFinished());

    m_site.Add("http://h/b", {ERR_SUCCESS, {"http://h/c"}});
    m_window.ClearEvents();
    CrawlToEnd(true);
    const std::vector<std::string> handedOut = m_window.Urls(WM_DL_THREAD_URL);
    ASSERT_GE(handedOut.size(), 2u);
    EXPECT_EQ(handedOut[0], "http://h/b");
    EXPECT_EQ(handedOut[1], "http://h/c");
    EXPECT_EQ(Entry("http://h/b")->GetResultCode(), ERR_SUCCESS);
    EXPECT_EQ(m_controller->GetManager()->GetRetryCount(), 0u);
}

TEST_F(DownloadManagerTest, ARunningCrawlIsStoredPausedWithItsTaskUnderWay) {
    m_project.SetThreadCount(2);
    m_site.Add("http://h/a", {ERR_SUCCESS, {}, true});
    NewController();
    ASSERT_TRUE(m_controller->Start(m_options));
    // The fourth fetch (the one that hangs) may start after the third save.
    ASSERT_TRUE(m_window.PumpUntil(
        [&] { return m_window.Count(WM_DL_FILE_SAVED) == 3 && m_site.Fetched().size() == 4; }));
    MemoryStream stored;
    m_controller->Store(stored);
    EXPECT_FALSE(m_controller->IsModified());
    ASSERT_TRUE(m_controller->Stop());

    stored.Seek(0, CStream::kBegin);
    CCrawlController loaded(m_project, ScriptedWorker::Factory(m_site));
    loaded.Load(stored, m_window.Target());
    EXPECT_EQ(loaded.GetState(), Paused);
    EXPECT_FALSE(loaded.IsModified());
    EXPECT_EQ(loaded.GetManager()->GetRetryCount(), 1u);
    EXPECT_EQ(loaded.GetStats().queued, 4u);

    m_site.Add("http://h/a", {});
    m_window.ClearEvents();
    ASSERT_TRUE(loaded.Resume(m_options));
    ASSERT_TRUE(m_window.PumpUntilFinished());
    EXPECT_EQ(m_window.Urls(WM_DL_THREAD_URL).front(), "http://h/a");
    EXPECT_NE(loaded.GetManager()->GetList().Find(ParsedUrl("http://h/a"))->GetStoredPath(), "");
}

TEST_F(DownloadManagerTest, AProjectSavedWhileAUrlIsHandedOutStillHoldsIt) {
    m_project.SetThreadCount(1);
    NewController();
    // The autosave lands while the window is told about b, which has left
    // the list but has not reached the worker yet.
    MemoryStream stored;
    m_window.OnMessage(WM_DL_THREAD_URL, [&](const testing_support::CrawlEvent& event) {
        if (event.url == "http://h/b") {
            m_controller->Store(stored);
        }
    });
    CrawlToEnd();
    m_window.OnMessage(0, {});

    stored.Seek(0, CStream::kBegin);
    CCrawlController reopened(m_project, ScriptedWorker::Factory(m_site));
    reopened.Load(stored, m_window.Target());
    m_site.ClearFetched();
    ASSERT_TRUE(reopened.Resume(m_options));
    ASSERT_TRUE(m_window.PumpUntilFinished());
    EXPECT_EQ(Sorted(m_site.Fetched()), (std::vector<std::string>{"http://h/b", "http://h/c"}));
}

TEST_F(DownloadManagerTest, LoadRefusesUnknownStatesAndReadsRunningAsPaused) {
    NewController();
    CrawlToEnd();
    MemoryStream stored;
    m_controller->Store(stored);
    for (std::uint32_t state : {0u, 4u, 2u}) {
        std::string bytes = stored.Bytes();
        bytes[0] = static_cast<char>(state);
        MemoryStream input(bytes);
        CCrawlController loaded(m_project);
        if (state == 2) {
            loaded.Load(input, m_window.Target());
            EXPECT_EQ(loaded.GetState(), Paused);
            continue;
        }
        try {
            loaded.Load(input, m_window.Target());
            ADD_FAILURE() << "state " << state << " was accepted";
        } catch (const CStreamException& e) {
            EXPECT_EQ(e.GetCode(), ERR_STREAM_DATA);
        }
    }
}

TEST_F(DownloadManagerTest, CommandsFollowTheStateTable) {
    NewController();
    EXPECT_FALSE(m_controller->Pause());
    EXPECT_FALSE(m_controller->Resume(m_options));
    EXPECT_FALSE(m_controller->Stop());
    EXPECT_FALSE(m_controller->ClearUrls());  // nothing listed yet
    CrawlToEnd();
    EXPECT_TRUE(m_controller->IsModified());

    // Stop from Paused ends the project at once with WM_DL_FINISHED.
    m_site.Add("http://h/", {ERR_SUCCESS, {}, true});
    ASSERT_TRUE(m_controller->Start(m_options));
    EXPECT_FALSE(m_controller->Start(m_options));
    EXPECT_FALSE(m_controller->ClearUrls());
    ASSERT_TRUE(m_window.PumpUntil([&] { return m_window.Count(WM_DL_THREAD_URL) >= 5; }));
    ASSERT_TRUE(m_controller->Pause());
    const std::size_t finished = m_window.FinishedCount();
    ASSERT_TRUE(m_controller->Stop());
    EXPECT_EQ(m_window.FinishedCount(), finished + 1);
    EXPECT_EQ(m_controller->GetState(), Stopped);

    EXPECT_TRUE(m_controller->ClearUrls());
    EXPECT_EQ(m_controller->GetStats().queued, 0u);
}

TEST_F(DownloadManagerTest, StartFailsWhenTheDownloadFolderCannotBeMade) {
    testing_support::WriteFile(m_folder.File("plain"), "x");
    m_project.SetFolders(m_folder.File("plain") + "/site.files", "site.files");
    NewController();
    EXPECT_FALSE(m_controller->Start(m_options));
    EXPECT_EQ(m_controller->GetState(), Stopped);
}

}  // namespace
