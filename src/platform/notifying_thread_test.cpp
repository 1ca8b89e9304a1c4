#include "platform/notifying_thread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// One log shared by the sink and the thread, so that their order shows.
class SharedLog {
public:
    void Add(const std::string& entry) {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries() {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class CLoggingSink : public CEventSink {
public:
    explicit CLoggingSink(SharedLog& log) : m_log(log) {}
    std::uint32_t lastSource = 0;

protected:
    void OnGeneralEvent(std::intptr_t source, std::uint32_t code) override {
        lastSource = static_cast<std::uint32_t>(source);
        std::string entry = "event " + std::to_string(code);
        if (GetArgumentKind() == argumentLength) {
            entry += " length " + std::to_string(GetLength());
        }
        m_log.Add(entry);
    }
    void OnSocketEvent(std::intptr_t, std::uint32_t) override { m_log.Add("socket event"); }
    void OnProtocolEvent(std::uint32_t) override { m_log.Add("protocol event"); }

private:
    SharedLog& m_log;
};

class CProbeNotifyingThread : public CNotifyingThread {
public:
    explicit CProbeNotifyingThread(SharedLog& log) : m_log(log) {}
    ~CProbeNotifyingThread() override { Stop(); }
    bool initializeRunsOutOfMemory = false;
    std::uint32_t threadId = 0;

protected:
    void OnStopped(std::uint32_t id, ResultCode) override { threadId = id; }
    void Initialize() override {
        m_log.Add("Initialize");
        if (initializeRunsOutOfMemory) {
            throw std::bad_alloc();
        }
    }
    ResultCode Finalize() override {
        m_log.Add("Finalize");
        return ERR_SUCCESS;
    }
    ResultCode Run() override {
        m_log.Add("Run");
        WaitForStop(INFINITE);
        return 9;
    }

private:
    SharedLog& m_log;
};

using Entries = std::vector<std::string>;

TEST(NotifyingThreadTest, BeginAndEndEventsFrameTheSetUpAndTheCleanUp) {
    const struct {
        bool withSink;
        Entries expected;
    } cases[] = {
        {true, {"event 0", "Initialize", "Run", "Finalize", "event 1 length 9"}},
        {false, {"Initialize", "Run", "Finalize"}},
    };
    for (const auto& c : cases) {
        SharedLog log;
        CLoggingSink sink(log);
        CProbeNotifyingThread thread(log);
        if (c.withSink) {
            thread.SetEventSink(&sink);
        }
        ASSERT_TRUE(thread.Start(0));
        ASSERT_TRUE(thread.Stop());
        EXPECT_EQ(log.Entries(), c.expected);
        if (c.withSink) {
            EXPECT_EQ(sink.lastSource, thread.threadId) << "the source is the thread id";
            EXPECT_NE(sink.lastSource, 0u);
        }
    }
}

TEST(NotifyingThreadTest, RunningOutOfMemoryInInitializeEndsWithCode14) {
    SharedLog log;
    CLoggingSink sink(log);
    CProbeNotifyingThread thread(log);
    thread.SetEventSink(&sink);
    thread.initializeRunsOutOfMemory = true;
    ASSERT_TRUE(thread.Start(0));
    ASSERT_EQ(thread.WaitForEnd(INFINITE), WAIT_OBJECT_0);
    EXPECT_FALSE(thread.Stop());
    EXPECT_EQ(log.Entries(), (Entries{"event 0", "Initialize", "Finalize", "event 1 length 14"}));
}

}  // namespace
