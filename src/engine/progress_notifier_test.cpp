#include "engine/progress_notifier.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "engine/crawl_messages.h"
#include "net/event_socket.h"
#include "platform/message_target.h"
#include "protocol/ftp_client.h"
#include "protocol/http_client.h"

namespace {

struct Received {
    UINT message;
    WPARAM index;
    LPARAM value;
    bool operator==(const Received&) const = default;
};

// The notifier runs on the window's own thread here; what it posts arrives
// on the next pump.
class ProgressNotifierTest : public testing::Test {
protected:
    std::vector<Received> Pump() {
        m_queue.PumpMessages();
        return std::exchange(m_received, {});
    }

    CMessageQueue m_queue;
    std::vector<Received> m_received;
    CMessageTarget m_window{m_queue, [this](UINT message, WPARAM wParam, LPARAM lParam) {
                                m_received.push_back({message, wParam, lParam});
                                return LRESULT{0};
                            }};
    CProgressNotifier m_notifier{2, &m_window};
};

TEST_F(ProgressNotifierTest, KnownLengthIsPostedAndChunksAreCounted) {
    m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 1000u);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 1000}}));
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 300u);
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 200u);
    EXPECT_EQ(m_notifier.GetExpectedSize(), 1000u);
    EXPECT_EQ(m_notifier.GetRunningCount(), 500u);
    EXPECT_EQ(m_notifier.GetLastChunk(), 200u);
    // One WM_DL_BYTES waits for both chunks; taking the bytes loses none.
    const LPARAM self = reinterpret_cast<LPARAM>(&m_notifier);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_BYTES, 2, self}}));
    EXPECT_EQ(m_notifier.TakeUnreportedBytes(), 500u);
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 7u);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_BYTES, 2, self}}));
    EXPECT_EQ(m_notifier.TakeUnreportedBytes(), 7u);
}

TEST_F(ProgressNotifierTest, AResumedBodyCountsFromItsFirstByte) {
    m_notifier.Notify(0, EVT_HTTP_RANGE_START, 400u);
    m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 600u);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 1000}}));
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 100u);
    EXPECT_EQ(m_notifier.GetRunningCount(), 500u);

    // FTP reports the same through its restart and transfer events.
    m_notifier.Notify(0, EVT_HTTP_FINISHED);
    Pump();
    m_notifier.Notify(0, EVT_FTP_RESTART, 50u);
    m_notifier.Notify(0, EVT_FTP_TRANSFER_START, 70u);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 120}}));
}

TEST_F(ProgressNotifierTest, UnknownLengthPostsTheRunningCount) {
    m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 0u);
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 10u);
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 15u);
    const LPARAM self = reinterpret_cast<LPARAM>(&m_notifier);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 0},
                                             {WM_DL_THREAD_PROGRESS, 2, 10},
                                             {WM_DL_BYTES, 2, self},
                                             {WM_DL_THREAD_PROGRESS, 2, 25}}));
}

TEST_F(ProgressNotifierTest, ChunksAnnounceTheirOwnSizeWithoutTheOffset) {
    m_notifier.Notify(0, EVT_HTTP_RANGE_START, 400u);
    m_notifier.Notify(0, EVT_HTTP_CHUNK_START, 64u);
    m_notifier.Notify(0, EVT_HTTP_CHUNK_END);
    m_notifier.Notify(0, EVT_HTTP_CHUNK_START, 32u);
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 64},
                                             {WM_DL_THREAD_PROGRESS, 2, 32}}));
    EXPECT_EQ(m_notifier.GetRunningCount(), 0u);
}

TEST_F(ProgressNotifierTest, CountsRedirectsUntilTaken) {
    m_notifier.Notify(0, EVT_HTTP_REDIRECT, "http://h/b");
    m_notifier.Notify(0, EVT_HTTP_FINISHED);
    m_notifier.Notify(0, EVT_HTTP_REDIRECT, "https://h/b");
    EXPECT_EQ(m_notifier.GetRedirectCount(), 2);
    EXPECT_EQ(m_notifier.TakeRedirectCount(), 2);
    EXPECT_EQ(m_notifier.GetRedirectCount(), 0);
    EXPECT_TRUE(m_received.empty());
}

TEST_F(ProgressNotifierTest, BytesOutsideATransferAreNotCounted) {
    // A header block or an FTP listing arrives before any size is known.
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 90u);
    m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 100u);
    m_notifier.Notify(0, EVT_SOCKET_CLOSED);
    m_notifier.Notify(0, EVT_SOCKET_RECEIVED, 5u);
    EXPECT_EQ(m_notifier.GetRunningCount(), 0u);
    EXPECT_EQ(m_notifier.TakeUnreportedBytes(), 0u);
    // Only the size reaches the window.
    EXPECT_EQ(Pump(), (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 100}}));
}

TEST_F(ProgressNotifierTest, ASizeIsPostedWithItsTaskNumberWithoutWaitingForTheWindow) {
    // The window is busy elsewhere: a worker that waited for it to take the
    // size would not get on with its download until it did.
    EXPECT_EQ(m_notifier.BeginTask(), 1u);
    EXPECT_EQ(m_notifier.BeginTask(), 2u);
    CWaitEvent announced;
    std::thread worker([this, &announced] {
        m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 1000u);
        m_notifier.Notify(0, EVT_HTTP_FINISHED);
        announced.Set();
    });
    EXPECT_EQ(WaitForAny({&announced}, 10000), 0u);
    const std::vector<Received> received = Pump();
    worker.join();
    EXPECT_EQ(received,
              (std::vector<Received>{{WM_DL_THREAD_PROGRESS, WorkerTaskParam(2, 2), 1000}}));
}

}  // namespace
