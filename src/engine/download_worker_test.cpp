#include "engine/download_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "base/file_stream.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"

namespace {

// Answers every attempt with the next code of its script (the last one
// repeats) and counts the attempts and the pauses between them.
class CountingWorker : public CDownloadWorker {
public:
    CountingWorker(CProjectSettings& project, std::vector<ResultCode> script)
        : CDownloadWorker(project), m_script(std::move(script)) {}

    int Attempts() const { return m_attempts; }
    int Pauses() const { return m_pauses; }

protected:
    ResultCode DownloadOnce() override {
        const std::size_t index = std::min<std::size_t>(m_attempts++, m_script.size() - 1);
        return m_script[index];
    }
    bool PauseBeforeRetry() override {
        ++m_pauses;
        return CDownloadWorker::PauseBeforeRetry();
    }

private:
    std::vector<ResultCode> m_script;
    std::atomic<int> m_attempts{0};
    std::atomic<int> m_pauses{0};
};

class DownloadWorkerTest : public testing::Test {
protected:
    void SetUp() override {
        CUrl url;
        url.Parse("http://h/a");
        m_task.item = CLinkItem(url, 0, true);
    }

    // Runs one task to its end on a started worker and returns the result.
    CDownloadTask RunTask(CountingWorker& worker) {
        EXPECT_TRUE(worker.Setup({}, m_options, &m_output, &m_notifier));
        worker.SetFinishedEvent(&m_finished);
        m_finished.Reset();
        EXPECT_TRUE(worker.Start(0));
        worker.Assign(m_task);
        EXPECT_EQ(m_finished.Wait(30000), WAIT_OBJECT_0);
        EXPECT_TRUE(worker.IsIdle());
        const CDownloadTask result = worker.CopyTask();
        worker.Stop();
        return result;
    }

    CProgramOptions m_options;
    CProjectSettings m_project;
    CFileStream m_output;
    CProgressNotifier m_notifier{0, nullptr};
    CWaitEvent m_finished;
    CDownloadTask m_task;
};

TEST_F(DownloadWorkerTest, CodesThatEndTheTaskAreNotRetried) {
    m_options.SetRetries(3);
    const struct {
        ResultCode code;
        ResultCode recorded;
        bool success;
    } cases[] = {
        {ERR_SUCCESS, ERR_SUCCESS, true},
        {ERR_CLIENT_RULE, ERR_CLIENT_RULE, false},
        {ERR_PAGE_NOT_PARSED, ERR_PAGE_NOT_PARSED, false},
        {ERR_NOT_MODIFIED, ERR_NOT_MODIFIED, false},
        // The server's final word on the URL.
        {ERR_HTTP_CLIENT_ERROR, ERR_HTTP_CLIENT_ERROR, false},
        {ERR_ATTEMPT_INTERRUPTED, ERR_ATTEMPT_INTERRUPTED, false},
        {ERR_HTTP_REDIRECT_PROTOCOL, ERR_HTTP_REDIRECT_PROTOCOL, false},
        // Failures that a second try meets again.
        {ERR_HOST_NOT_FOUND, ERR_HOST_NOT_FOUND, false},
        {ERR_SSL_VERIFY, ERR_SSL_VERIFY, false},
        {ERR_HTTP_REDIRECT_LOOP, ERR_HTTP_REDIRECT_LOOP, false},
        {ERR_HTTP_CONTENT_ENCODING, ERR_HTTP_CONTENT_ENCODING, false},
        {ERR_FILE_STREAM_OPEN, ERR_FILE_STREAM_OPEN, false},
        {ERR_FILE_STREAM_WRITE, ERR_FILE_STREAM_WRITE, false},
        {ENOSPC, ENOSPC, false},
        // A stop that ended a network wait means "try again later".
        {ERR_SOCKET_LOCAL_CLOSED, ERR_ATTEMPT_INTERRUPTED, false},
    };
    for (const auto& c : cases) {
        CountingWorker worker(m_project, {c.code});
        const CDownloadTask task = RunTask(worker);
        EXPECT_EQ(worker.Attempts(), 1) << std::hex << c.code;
        EXPECT_EQ(worker.Pauses(), 0) << std::hex << c.code;
        EXPECT_EQ(task.resultCode, c.recorded) << std::hex << c.code;
        EXPECT_EQ(task.success, c.success) << std::hex << c.code;
    }
}

// Answers the first task with a response for its URL, the next ones with a
// failure before any answer.
class AnsweringOnceWorker : public CountingWorker {
public:
    using CountingWorker::CountingWorker;

protected:
    ResultCode DownloadOnce() override {
        const ResultCode result = CountingWorker::DownloadOnce();
        if (result == ERR_SUCCESS) {
            CResponseInfo response;
            response.url.Parse("http://h/a");
            SetResponse(response);
        }
        return result;
    }
};

TEST_F(DownloadWorkerTest, AFailureBeforeAnyAnswerKeepsNoResponseOfTheTaskBefore) {
    AnsweringOnceWorker worker(m_project, {ERR_SUCCESS, ERR_HOST_NOT_FOUND});
    EXPECT_TRUE(RunTask(worker).response.url.HasUrl());
    const CDownloadTask failed = RunTask(worker);
    EXPECT_EQ(failed.resultCode, ERR_HOST_NOT_FOUND);
    EXPECT_FALSE(failed.response.url.HasUrl()) << failed.response.url.GetSourceText();
}

TEST_F(DownloadWorkerTest, FailuresAreRetriedUpToTheRetryCountKeepingTheLastError) {
    m_options.SetRetries(2);
    CountingWorker worker(m_project, {ERR_SOCKET_CONNECT, ERR_HTTP_SERVER_ERROR});
    const CDownloadTask task = RunTask(worker);
    EXPECT_EQ(worker.Attempts(), 2);
    EXPECT_EQ(worker.Pauses(), 1);  // between the attempts, none after the last
    EXPECT_EQ(task.resultCode, ERR_HTTP_SERVER_ERROR);
    EXPECT_FALSE(task.success);
}

TEST_F(DownloadWorkerTest, ARetryCountOfZeroStillMakesOneAttempt) {
    m_options.SetRetries(0);
    CountingWorker worker(m_project, {ERR_SOCKET_TIMEOUT, ERR_SUCCESS});
    const CDownloadTask task = RunTask(worker);
    EXPECT_EQ(worker.Attempts(), 1);
    EXPECT_EQ(worker.Pauses(), 0);
    EXPECT_EQ(task.resultCode, ERR_SOCKET_TIMEOUT);
}

TEST_F(DownloadWorkerTest, AStopDuringThePauseEndsTheTaskWithItsLastError) {
    m_options.SetRetries(3);
    CountingWorker worker(m_project, {ERR_SOCKET_CONNECT});
    ASSERT_TRUE(worker.Setup({}, m_options, &m_output, &m_notifier));
    ASSERT_TRUE(worker.Start(0));
    worker.Assign(m_task);
    // The first failure is recorded before the pause begins.
    while (worker.CopyTask().resultCode == ERR_SUCCESS) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(worker.Stop());
    EXPECT_EQ(worker.Attempts(), 1);
    const CDownloadTask task = worker.CopyTask();
    EXPECT_EQ(task.resultCode, ERR_SOCKET_CONNECT);
    EXPECT_FALSE(task.success);
    EXPECT_TRUE(worker.IsIdle());
}

TEST_F(DownloadWorkerTest, AssignClearsTheResultAndClearTaskFreesTheWorker) {
    CountingWorker worker(m_project, {ERR_SUCCESS});
    m_task.success = true;
    m_task.resultCode = ERR_SOCKET_CONNECT;
    m_task.bytesReceived = 77;
    ASSERT_TRUE(worker.Setup({}, m_options, &m_output, &m_notifier));
    EXPECT_FALSE(worker.HoldsTask());
    worker.Assign(m_task);  // no thread runs, so the task stays as assigned
    EXPECT_FALSE(worker.IsIdle());
    const CDownloadTask assigned = worker.CopyTask();
    EXPECT_FALSE(assigned.success);
    EXPECT_EQ(assigned.resultCode, ERR_SUCCESS);
    EXPECT_EQ(assigned.bytesReceived, 77);  // the resume offset survives
    EXPECT_TRUE(worker.HoldsTask());
    worker.ClearTask();
    EXPECT_FALSE(worker.HoldsTask());
}

}  // namespace
