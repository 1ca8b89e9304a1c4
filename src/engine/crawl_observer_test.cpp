#include "engine/crawl_observer.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/crawl_messages.h"
#include "engine/download_task.h"
#include "engine/progress_notifier.h"
#include "html/url_updater.h"

namespace {

// Writes each call as one line, so a table can say what a message became.
struct CallLog : ICrawlObserver {
    void OnCrawlStarted() override { log += "started;"; }
    void OnCrawlFinished() override { log += "finished;"; }
    void OnWorkerUrl(int worker, std::uint32_t task, std::string_view url) override {
        log += "url " + std::to_string(worker) + "#" + std::to_string(task) + " " +
               std::string(url) + ";";
    }
    void OnWorkerSize(int worker, std::uint32_t task, std::uint32_t size) override {
        log += "size " + std::to_string(worker) + "#" + std::to_string(task) + " " +
               std::to_string(size) + ";";
    }
    void OnWorkerBytes(int worker, CProgressNotifier& notifier) override {
        log += "bytes " + std::to_string(worker) + " " + std::to_string(notifier.GetIndex()) + ";";
    }
    void OnFileSaved(int worker, const CDownloadTask& task) override {
        log += "saved " + std::to_string(worker) + " " + task.storedPath + ";";
    }
    void OnUrlFailed(int worker, const CDownloadTask& task) override {
        log += "failed " + std::to_string(worker) + " " + std::to_string(task.resultCode) + ";";
    }
    void OnUpdateBegin(long fileCount) override {
        log += "begin " + std::to_string(fileCount) + ";";
    }
    void OnUpdateStep() override { log += "step;"; }
    void OnUpdateEnd() override { log += "end;"; }

    std::string log;
};

TEST(CrawlObserverTest, EachMessageReachesItsMethodWithItsArguments) {
    CDownloadTask task;
    task.storedPath = "h/a.html";
    task.resultCode = 404;
    CProgressNotifier notifier(7, nullptr);
    const char* url = "http://h/a.html";
    CCrawlNotices notices(3);
    notices[0] = {WM_DL_THREAD_URL, 1, 5, "http://h/b.html", {}};
    notices[1] = {WM_DL_FILE_SAVED, 2, 0, {}, task};
    notices[2] = {WM_DL_URL_DONE, 4, 0, {}, task};
    const struct {
        UINT message;
        LPARAM lParam;
        std::string expected;
    } cases[] = {
        {WM_DL_STARTED, 0, "started;"},
        {WM_DL_FINISHED, 0, "finished;"},
        {WM_DL_THREAD_URL, reinterpret_cast<LPARAM>(url), "url 3#9 http://h/a.html;"},
        {WM_DL_THREAD_PROGRESS, 4096, "size 3#9 4096;"},
        {WM_DL_BYTES, reinterpret_cast<LPARAM>(&notifier), "bytes 3 7;"},
        {WM_DL_FILE_SAVED, reinterpret_cast<LPARAM>(&task), "saved 3 h/a.html;"},
        {WM_DL_URL_DONE, reinterpret_cast<LPARAM>(&task), "failed 3 404;"},
        {WM_DL_NOTICES, reinterpret_cast<LPARAM>(&notices),
         "url 1#5 http://h/b.html;saved 2 h/a.html;failed 4 404;"},
        {WM_UPDATE_BEGIN, 12, "begin 12;"},
        {WM_UPDATE_STEP, 0, "step;"},
        {WM_UPDATE_END, 0, "end;"},
    };
    for (const auto& c : cases) {
        CallLog observer;
        EXPECT_TRUE(DispatchCrawlMessage(c.message, WorkerTaskParam(3, 9), c.lParam, observer))
            << c.expected;
        EXPECT_EQ(observer.log, c.expected);
    }
}

TEST(CrawlObserverTest, OtherMessagesAreLeftToTheWindow) {
    CallLog observer;
    for (UINT message : {UINT{0}, WM_APP, WM_DL_STARTED + 1, WM_USER + 0x600}) {
        EXPECT_FALSE(DispatchCrawlMessage(message, 0, 0, observer)) << message;
    }
    EXPECT_EQ(observer.log, "");
}

}  // namespace
