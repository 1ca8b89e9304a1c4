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

// The notifier runs on the window's own thread here, so what it sends is
// handled at once and what it posts on the next pump; a pump returns both.
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

TEST_F(ProgressNotifierTest, KnownLengthIsSentAndChunksAreCounted) {
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

TEST_F(ProgressNotifierTest, TheSizeReachesTheWindowBeforeTheFileIsReportedSaved) {
    // The manager's notice that the file was saved is sent once the worker
    // has finished, and sent messages are delivered before posted ones. The
    // window is pumped only once that notice waits, so a size that had been
    // posted would arrive after it.
    std::thread worker([this] {
        m_notifier.Notify(0, EVT_HTTP_BODY_LENGTH, 1000u);
        m_notifier.Notify(0, EVT_HTTP_FINISHED);
        SendMessage(&m_window, WM_DL_FILE_SAVED, 2, 0);
    });
    std::vector<const CWaitEvent*> sentWaiting;
    m_queue.AppendWakeEvents(QS_SENDMESSAGE, sentWaiting);
    std::vector<Received> received;
    while (received.size() < 2) {
        WaitForAny(sentWaiting, INFINITE);
        for (const Received& message : Pump()) {
            received.push_back(message);
        }
    }
    worker.join();
    EXPECT_EQ(received,
              (std::vector<Received>{{WM_DL_THREAD_PROGRESS, 2, 1000}, {WM_DL_FILE_SAVED, 2, 0}}));
}

}  // namespace
