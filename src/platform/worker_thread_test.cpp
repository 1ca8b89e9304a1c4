#include "platform/worker_thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/message_queue.h"
#include "platform/message_target.h"
#include "support/thread_cpu_time.h"

namespace {

using testing_support::ThreadCpuSeconds;

// Logs every hook with the side it ran on; the test supplies the body.
class CProbeThread : public CWorkerThread {
public:
    std::function<ResultCode(CProbeThread&)> body = [](CProbeThread&) { return ERR_SUCCESS; };
    std::function<void()> atEnd = [] {};
    ResultCode startResult = ERR_SUCCESS;

    ~CProbeThread() override { Stop(); }

    void Note(const std::string& what) {
        const bool onCaller = std::this_thread::get_id() == m_caller;
        std::lock_guard lock(m_mutex);
        m_log.push_back(what + (onCaller ? " on caller" : " on thread"));
    }
    std::vector<std::string> TakeLog() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_log, {});
    }
    // Whether every hook got the id of the thread it ran on, or ran after.
    bool IdsMatched() const { return m_idsMatched; }

protected:
    ResultCode OnThreadStart(std::uint32_t threadId) override {
        CheckId(threadId, static_cast<std::uint32_t>(::gettid()));
        Note("OnThreadStart");
        return startResult;
    }
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override {
        CheckId(threadId, static_cast<std::uint32_t>(::gettid()));
        atEnd();
        Note("OnThreadEnd " + std::to_string(exitCode));
    }
    void OnBeforeStart() override { Note("OnBeforeStart"); }
    void OnStopped(std::uint32_t threadId, ResultCode exitCode) override {
        CheckId(threadId, GetThreadId());
        Note("OnStopped " + std::to_string(exitCode));
    }
    ResultCode Run() override {
        Note("Run");
        return body(*this);
    }

private:
    void CheckId(std::uint32_t given, std::uint32_t actual) {
        if (given != actual || given == 0) {
            m_idsMatched = false;
        }
    }

    const std::thread::id m_caller = std::this_thread::get_id();
    std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::atomic<bool> m_idsMatched{true};
};

using Log = std::vector<std::string>;

// A window on the calling thread that counts what it handles and answers wParam + 1.
class CountingWindow {
public:
    explicit CountingWindow(CMessageQueue& queue)
        : m_target(queue, [this](UINT message, WPARAM wParam, LPARAM) {
              m_messages.push_back(message);
              return static_cast<LRESULT>(wParam + 1);
          }) {}

    CMessageTarget* Target() { return &m_target; }
    std::vector<UINT> TakeMessages() { return std::exchange(m_messages, {}); }

private:
    std::vector<UINT> m_messages;
    CMessageTarget m_target;
};

// Sends to the window until a stop is requested and three times more after
// it, as the download manager reports its last results; returns the count.
std::size_t SendUntilStopped(CProbeThread& thread, CMessageTarget* window, bool& answersRight) {
    std::size_t sent = 0;
    int afterStop = 0;
    while (afterStop < 3) {
        answersRight &= SendMessage(window, WM_APP + 1, sent) == static_cast<LRESULT>(sent) + 1;
        ++sent;
        afterStop += thread.IsStopRequested() ? 1 : 0;
    }
    return sent;
}

TEST(WorkerThreadTest, StopOnANeverStartedObjectReturnsFalseAndCallsNoHook) {
    CProbeThread probe;
    EXPECT_FALSE(probe.Stop());
    EXPECT_TRUE(probe.TakeLog().empty());
    EXPECT_EQ(probe.WaitForEnd(0), WAIT_OBJECT_0) << "no thread runs";
}

TEST(WorkerThreadTest, HooksRunInOrderAroundABodyThatWaitsForStop) {
    CProbeThread probe;
    probe.body = [](CProbeThread& thread) {
        thread.WaitForStop(INFINITE);
        thread.Note(thread.IsStopping() ? "stopping" : "not stopping");
        return ResultCode{7};
    };
    const Log expected{"OnBeforeStart on caller", "OnThreadStart on thread",
                       "Run on thread",           "stopping on thread",
                       "OnThreadEnd 7 on thread", "OnStopped 7 on caller"};
    for (int iteration = 0; iteration < 100; ++iteration) {
        ASSERT_TRUE(probe.Start(1));
        ASSERT_TRUE(probe.Stop());
        ASSERT_EQ(probe.TakeLog(), expected) << "iteration " << iteration;
        ASSERT_FALSE(probe.IsStopping());
        ASSERT_FALSE(probe.Stop()) << "a stopped thread is not stopped twice";
    }
    EXPECT_TRUE(probe.IdsMatched());
}

TEST(WorkerThreadTest, ABodyThatEndsByItselfIsNotStoppedAndTheObjectRestarts) {
    CProbeThread probe;
    for (int iteration = 0; iteration < 100; ++iteration) {
        probe.body = [](CProbeThread&) { return ResultCode{3}; };
        ASSERT_TRUE(probe.Start(0));
        ASSERT_EQ(probe.WaitForEnd(INFINITE), WAIT_OBJECT_0);
        ASSERT_FALSE(probe.Stop());
        ASSERT_EQ(probe.TakeLog(), (Log{"OnBeforeStart on caller", "OnThreadStart on thread",
                                        "Run on thread", "OnThreadEnd 3 on thread"}));

        // A stop signalled between two runs must not reach the next one.
        probe.SignalStop();
        CWaitEvent looked;
        probe.body = [&looked](CProbeThread& thread) {
            thread.Note(thread.IsStopRequested() ? "stop left over" : "fresh start");
            looked.Set();
            thread.WaitForStop(INFINITE);
            return ResultCode{0};
        };
        ASSERT_TRUE(probe.Start(0));
        looked.Wait(INFINITE);
        ASSERT_TRUE(probe.Stop());
        const Log log = probe.TakeLog();
        ASSERT_EQ(log.size(), 6u);
        ASSERT_EQ(log[3], "fresh start on thread");
        ASSERT_EQ(log[5], "OnStopped 0 on caller");
    }
    EXPECT_TRUE(probe.IdsMatched());
}

TEST(WorkerThreadTest, ANonZeroThreadStartSkipsRunButReachesOnThreadEnd) {
    const ResultCode codes[] = {5, ERR_NOT_ENOUGH_MEMORY, ERR_SOCKET_CONNECT};
    for (ResultCode code : codes) {
        CProbeThread probe;
        probe.startResult = code;
        ASSERT_TRUE(probe.Start(0));
        ASSERT_EQ(probe.WaitForEnd(INFINITE), WAIT_OBJECT_0);
        EXPECT_FALSE(probe.Stop());
        EXPECT_EQ(probe.TakeLog(), (Log{"OnBeforeStart on caller", "OnThreadStart on thread",
                                        "OnThreadEnd " + std::to_string(code) + " on thread"}));
    }
}

TEST(WorkerThreadTest, OneObjectRunsOneThreadAndCannotStopItselfFromInside) {
    CProbeThread probe;
    probe.body = [](CProbeThread& thread) {
        thread.Note(thread.Stop() ? "stopped itself" : "refused to stop itself");
        thread.WaitForStop(INFINITE);
        return ResultCode{0};
    };
    ASSERT_TRUE(probe.Start(0));
    EXPECT_FALSE(probe.Start(0)) << "the first thread still runs";
    ASSERT_TRUE(probe.Stop());
    const Log log = probe.TakeLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "OnBeforeStart on caller"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "refused to stop itself on thread"), 1);
}

TEST(WorkerThreadTest, AWorkerSendingWhileTheUserInterfaceStopsItFinishes) {
    CMessageQueue queue;
    CountingWindow window(queue);
    for (int iteration = 0; iteration < 100; ++iteration) {
        CProbeThread probe;
        bool answersRight = true;
        std::size_t sent = 0;
        probe.body = [&](CProbeThread& thread) {
            sent = SendUntilStopped(thread, window.Target(), answersRight);
            return ERR_SUCCESS;
        };
        ASSERT_TRUE(probe.Start(0));
        if (iteration % 2 == 1) {
            queue.GetInputEvent().Wait(INFINITE);
            queue.PumpMessages();
        }
        ASSERT_TRUE(probe.Stop());
        ASSERT_EQ(window.TakeMessages().size(), sent);
        ASSERT_TRUE(answersRight);
    }
}

TEST(WorkerThreadTest, StopDropsPostedApplicationMessagesAndDeliversSentOnes) {
    CMessageQueue queue;
    CountingWindow window(queue);
    for (int iteration = 0; iteration < 100; ++iteration) {
        const bool claim = iteration % 2 == 1;
        queue.SetPreTranslate(
            [claim](const CMessage& message) { return claim && message.message == WM_APP + 2; });
        CProbeThread probe;
        probe.body = [&](CProbeThread& thread) {
            thread.WaitForStop(INFINITE);
            PostMessage(window.Target(), WM_APP + 2);
            SendMessage(window.Target(), WM_APP + 3);
            PostMessage(window.Target(), WM_USER + 5);
            PostMessage(window.Target(), 0xC000);
            return ResultCode{0};
        };
        // The download manager posts its end-of-crawl message as its last act.
        probe.atEnd = [&] { PostMessage(window.Target(), WM_APP + 4); };
        ASSERT_TRUE(probe.Start(0));
        ASSERT_TRUE(probe.Stop());

        std::vector<UINT> duringStop = window.TakeMessages();
        std::sort(duringStop.begin(), duringStop.end());
        const std::vector<UINT> expected =
            claim ? std::vector<UINT>{WM_APP + 2, WM_APP + 3} : std::vector<UINT>{WM_APP + 3};
        ASSERT_EQ(duringStop, expected) << "iteration " << iteration;
        queue.PumpMessages();
        ASSERT_EQ(window.TakeMessages(), std::vector<UINT>{0xC000})
            << "only messages outside the application range outlive the stop";
    }
}

TEST(WorkerThreadTest, NestedStopsWhileWorkersSendDoNotDeadlock) {
    CMessageQueue queue;
    CountingWindow window(queue);
    for (int iteration = 0; iteration < 100; ++iteration) {
        bool answersRight = true;
        bool innerStopped = false;
        CProbeThread manager;
        manager.body = [&](CProbeThread& thread) {
            CProbeThread worker;
            worker.body = [&](CProbeThread& self) {
                SendUntilStopped(self, window.Target(), answersRight);
                return ERR_SUCCESS;
            };
            worker.Start(0);
            thread.WaitForStop(INFINITE);
            // The manager thread owns no queue: its wait relies on the
            // user-interface thread delivering the worker's messages.
            innerStopped = worker.Stop();
            return ResultCode{0};
        };
        ASSERT_TRUE(manager.Start(1));
        ASSERT_TRUE(manager.Stop());
        ASSERT_TRUE(innerStopped);
        ASSERT_TRUE(answersRight);
        ASSERT_GE(window.TakeMessages().size(), 3u);
    }
}

TEST(WorkerThreadTest, StopBlocksInsteadOfSpinningWhileItWaits) {
    CMessageQueue queue;
    CProbeThread probe;
    probe.body = [](CProbeThread&) {
        CWaitEvent().Wait(1000);
        return ResultCode{0};
    };
    ASSERT_TRUE(probe.Start(0));
    const double before = ThreadCpuSeconds();
    ASSERT_TRUE(probe.Stop());
    EXPECT_LT(ThreadCpuSeconds() - before, 0.1);
}

}  // namespace
