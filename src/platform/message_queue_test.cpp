#include "platform/message_queue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/message_target.h"
#include "support/thread_cpu_time.h"

namespace {

using testing_support::ThreadCpuSeconds;

// A target that logs what it handles and answers with twice the wParam.
class Recorder {
public:
    explicit Recorder(CMessageQueue& queue)
        : m_target(queue, [this](UINT message, WPARAM wParam, LPARAM) {
              std::lock_guard lock(m_mutex);
              m_messages.push_back(message);
              m_threads.push_back(std::this_thread::get_id());
              return static_cast<LRESULT>(wParam * 2);
          }) {}

    CMessageTarget* Target() { return &m_target; }
    std::vector<UINT> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<UINT> m_messages;
    std::vector<std::thread::id> m_threads;
    CMessageTarget m_target;
};

// Blocks the owner until a message has been sent to its queue, without delivering it.
void WaitForSentMessage() {
    CWaitEvent never;
    ASSERT_EQ(never.MsgWait(INFINITE, QS_SENDMESSAGE), WAIT_OBJECT_0 + 1);
}

TEST(MessageQueueTest, SendFromAnotherThreadIsHandledOnTheOwnerThread) {
    CMessageQueue queue;
    Recorder recorder(queue);
    for (int iteration = 0; iteration < 100; ++iteration) {
        CWaitEvent sent;
        LRESULT result = 0;
        std::thread sender([&] {
            result = SendMessage(recorder.Target(), WM_APP + 1, iteration);
            sent.Set();
        });
        while (sent.MsgWait(INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            queue.PumpMessages();
        }
        sender.join();
        ASSERT_EQ(result, 2 * iteration);
    }
    for (std::thread::id handler : recorder.Threads()) {
        ASSERT_EQ(handler, std::this_thread::get_id());
    }
    EXPECT_EQ(recorder.Messages().size(), 100u);
}

TEST(MessageQueueTest, SendOnTheOwnerThreadCallsTheHandlerAtOnce) {
    CMessageQueue queue;
    Recorder recorder(queue);
    EXPECT_EQ(SendMessage(recorder.Target(), WM_USER, 21), 42);
    EXPECT_EQ(recorder.Messages(), std::vector<UINT>{WM_USER});
    EXPECT_FALSE(queue.GetInputEvent().IsSet());
}

TEST(MessageQueueTest, PostedMessagesWaitForThePumpAndKeepTheirOrder) {
    CMessageQueue queue;
    Recorder recorder(queue);
    CWaitEvent input(queue.GetInputEvent().GetFd());
    EXPECT_FALSE(input.IsSet());

    for (UINT message : {WM_APP + 3, WM_USER, WM_APP + 1}) {
        ASSERT_TRUE(PostMessage(recorder.Target(), message));
    }
    EXPECT_TRUE(input.IsSet()) << "the descriptor is readable while messages wait";
    EXPECT_TRUE(recorder.Messages().empty());

    std::size_t pumpedElsewhere = 1;
    std::thread([&] { pumpedElsewhere = queue.PumpMessages(); }).join();
    EXPECT_EQ(pumpedElsewhere, 0u) << "only the owner delivers";

    EXPECT_EQ(queue.PumpMessages(), 3u);
    EXPECT_EQ(recorder.Messages(), (std::vector<UINT>{WM_APP + 3, WM_USER, WM_APP + 1}));
    EXPECT_FALSE(input.IsSet());
    EXPECT_EQ(queue.PumpMessages(), 0u);
}

// A busy crawl posts several messages per file: only the first one of a
// batch writes to the descriptor, whose count then tells how many writes
// there were.
TEST(MessageQueueTest, OnlyTheFirstOfWaitingMessagesSignalsTheDescriptor) {
    CMessageQueue queue;
    Recorder recorder(queue);
    for (int batch = 0; batch < 2; ++batch) {
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(PostMessage(recorder.Target(), WM_APP + i));
        }
        std::uint64_t writes = 0;
        ASSERT_EQ(::read(queue.GetInputEvent().GetFd(), &writes, sizeof writes),
                  static_cast<ssize_t>(sizeof writes));
        EXPECT_EQ(writes, 1u) << batch;
        EXPECT_EQ(queue.PumpMessages(), 3u);
    }
}

TEST(MessageQueueTest, APumpDeliversSentMessagesBeforePostedOnes) {
    CMessageQueue queue;
    Recorder recorder(queue);
    std::thread sender([&] {
        PostMessage(recorder.Target(), WM_APP + 1);
        SendMessage(recorder.Target(), WM_APP + 2);
    });
    WaitForSentMessage();
    EXPECT_EQ(queue.PumpMessages(), 2u);
    sender.join();
    EXPECT_EQ(recorder.Messages(), (std::vector<UINT>{WM_APP + 2, WM_APP + 1}));
}

TEST(MessageQueueTest, MessagesPostedByAHandlerWaitForTheNextPump) {
    CMessageQueue queue;
    std::unique_ptr<CMessageTarget> target;
    int handled = 0;
    target = std::make_unique<CMessageTarget>(queue, [&](UINT message, WPARAM, LPARAM) {
        ++handled;
        PostMessage(target.get(), message);
        return LRESULT{0};
    });
    PostMessage(target.get(), WM_APP);
    EXPECT_EQ(queue.PumpMessages(), 1u);
    EXPECT_EQ(queue.PumpMessages(), 1u);
    EXPECT_EQ(handled, 2);
}

TEST(MessageQueueTest, DestroyingTheTargetAnswersItsSendersWithZeroAndDropsItsPosts) {
    CMessageQueue queue;
    for (int iteration = 0; iteration < 100; ++iteration) {
        bool handled = false;
        auto target = std::make_unique<CMessageTarget>(queue, [&](UINT, WPARAM, LPARAM) {
            handled = true;
            return LRESULT{7};
        });
        Recorder bystander(queue);
        PostMessage(target.get(), WM_APP);
        PostMessage(bystander.Target(), WM_APP + 1);
        LRESULT result = -1;
        std::thread sender([&] { result = SendMessage(target.get(), WM_APP + 2); });
        WaitForSentMessage();
        target.reset();
        sender.join();
        ASSERT_EQ(result, 0);
        ASSERT_EQ(queue.PumpMessages(), 1u) << "only the other target's message is left";
        ASSERT_FALSE(handled);
        ASSERT_EQ(bystander.Messages(), std::vector<UINT>{WM_APP + 1});
    }
}

TEST(MessageQueueTest, DestroyingTheQueueAnswersItsSendersAndDetachesItsTargets) {
    for (int iteration = 0; iteration < 100; ++iteration) {
        auto queue = std::make_unique<CMessageQueue>();
        auto target = std::make_unique<CMessageTarget>(
            *queue, [](UINT, WPARAM, LPARAM) { return LRESULT{7}; });
        LRESULT result = -1;
        std::thread sender([&] { result = SendMessage(target.get(), WM_APP); });
        WaitForSentMessage();
        queue.reset();
        sender.join();
        ASSERT_EQ(result, 0);
        ASSERT_EQ(target->GetQueue(), nullptr);
        ASSERT_EQ(SendMessage(target.get(), WM_APP), 0);
        ASSERT_FALSE(PostMessage(target.get(), WM_APP));
    }
    EXPECT_EQ(CMessageQueue::Current(), nullptr);
}

TEST(MessageQueueTest, NullTargetsAndSecondQueuesAreRefused) {
    EXPECT_EQ(SendMessage(nullptr, WM_APP), 0);
    EXPECT_FALSE(PostMessage(nullptr, WM_APP));
    CMessageQueue queue;
    EXPECT_EQ(CMessageQueue::Current(), &queue);
    EXPECT_THROW(CMessageQueue(), std::logic_error);
    EXPECT_EQ(CMessageQueue::Current(), &queue);
}

TEST(MessageQueueTest, ThreadsSendingToEachOtherDoNotDeadlock) {
    CMessageQueue queue;
    Recorder local(queue);
    for (int iteration = 0; iteration < 100; ++iteration) {
        CWaitEvent ready;
        CWaitEvent remoteSent;
        CWaitEvent finished;
        Recorder* remote = nullptr;
        LRESULT remoteResult = 0;
        std::thread other([&] {
            CMessageQueue otherQueue;
            Recorder otherRecorder(otherQueue);
            remote = &otherRecorder;
            ready.Set();
            remoteResult = SendMessage(local.Target(), WM_APP, 3);
            remoteSent.Set();
            while (finished.MsgWait(INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
                otherQueue.DeliverSentMessages();
            }
        });
        ready.Wait(INFINITE);
        const LRESULT localResult = SendMessage(remote->Target(), WM_APP, 5);
        while (remoteSent.MsgWait(INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            queue.DeliverSentMessages();
        }
        finished.Set();
        other.join();
        ASSERT_EQ(localResult, 10);
        ASSERT_EQ(remoteResult, 6);
    }
    EXPECT_EQ(local.Messages().size(), 100u);
}

// A send made by a handler while its thread waits for the answer to another
// send gets its own answer, also when the other answer comes first.
TEST(MessageQueueTest, ASendNestedInTheWaitOfAnotherTakesItsOwnAnswer) {
    CMessageQueue queue;
    std::atomic<Recorder*> outer{nullptr};
    std::atomic<Recorder*> inner{nullptr};
    CMessageTarget nesting(queue, [&](UINT, WPARAM, LPARAM) {
        return SendMessage(inner.load()->Target(), WM_APP, 7);
    });
    CWaitEvent outerReady, innerReady, outerQueued, innerQueued, done;
    // Each answering thread answers only once the main thread waits in the
    // nested send, the outer answer first.
    const auto answerer = [&](std::atomic<Recorder*>& self, CWaitEvent& ready, CWaitEvent& queued,
                              const std::function<void()>& before) {
        CMessageQueue ownQueue;
        Recorder recorder(ownQueue);
        self = &recorder;
        ready.Set();
        WaitForSentMessage();
        queued.Set();
        before();
        ownQueue.DeliverSentMessages();
        done.Wait(INFINITE);
    };
    std::thread outerThread(answerer, std::ref(outer), std::ref(outerReady), std::ref(outerQueued),
                            [&] { innerQueued.Wait(INFINITE); });
    std::thread innerThread(answerer, std::ref(inner), std::ref(innerReady), std::ref(innerQueued),
                            [&] {
                                // Not a time limit: a later outer answer
                                // shows nothing wrong either.
                                while (outer.load()->Messages().empty()) {
                                    CWaitEvent().Wait(1);
                                }
                                CWaitEvent().Wait(20);
                            });
    LRESULT nestedResult = 0;
    std::thread nestingSender([&] {
        outerQueued.Wait(INFINITE);
        nestedResult = SendMessage(&nesting, WM_APP);
    });
    outerReady.Wait(INFINITE);
    innerReady.Wait(INFINITE);
    EXPECT_EQ(SendMessage(outer.load()->Target(), WM_APP, 5), 10);
    nestingSender.join();
    done.Set();
    outerThread.join();
    innerThread.join();
    EXPECT_EQ(nestedResult, 14);
}

TEST(MessageQueueTest, MsgWaitWakesOnlyForTheInputClassesAsked) {
    CMessageQueue queue;
    Recorder recorder(queue);
    CWaitEvent event;

    PostMessage(recorder.Target(), WM_APP);
    EXPECT_EQ(event.MsgWait(0, QS_SENDMESSAGE), WAIT_TIMEOUT);
    EXPECT_EQ(event.MsgWait(0, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(event.MsgWait(0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(event.MsgWait(0, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
    event.Set();
    EXPECT_EQ(event.MsgWait(0, QS_ALLINPUT), WAIT_OBJECT_0) << "the event comes first";
    event.Reset();
    queue.PumpMessages();

    std::thread sender([&] { SendMessage(recorder.Target(), WM_APP); });
    EXPECT_EQ(event.MsgWait(INFINITE, QS_SENDMESSAGE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(event.MsgWait(0, QS_POSTMESSAGE), WAIT_TIMEOUT);
    queue.DeliverSentMessages();
    sender.join();
    EXPECT_EQ(event.MsgWait(0, QS_ALLINPUT), WAIT_TIMEOUT);

    std::uint32_t withoutQueue = WAIT_FAILED;
    PostMessage(recorder.Target(), WM_APP);
    std::thread([&] { withoutQueue = event.MsgWait(0, QS_ALLINPUT); }).join();
    EXPECT_EQ(withoutQueue, WAIT_TIMEOUT) << "another thread's queue is not its input";
}

TEST(MessageQueueTest, PreTranslationDecidesWhichPostedApplicationMessagesSurvive) {
    CMessageQueue queue;
    Recorder recorder(queue);
    const struct {
        UINT message;
        bool inRange;
        bool claimed;
    } cases[] = {
        {WM_USER - 1, false, false}, {WM_USER, true, false}, {WM_APP, true, true},
        {WM_APP + 1, true, false},   {0xBFFF, true, true},   {0xC000, false, false},
    };
    std::vector<UINT> offered;
    queue.SetPreTranslate([&](const CMessage& message) {
        offered.push_back(message.message);
        return message.message == WM_APP || message.message == 0xBFFF;
    });
    for (const auto& c : cases) {
        PostMessage(recorder.Target(), c.message);
    }
    queue.DropPostedMessages(WM_USER, 0xBFFF);
    std::vector<UINT> expectOffered;
    std::vector<UINT> expectDelivered;
    std::vector<UINT> expectKept;
    for (const auto& c : cases) {
        if (c.inRange) {
            expectOffered.push_back(c.message);
        }
        if (c.claimed) {
            expectDelivered.push_back(c.message);
        }
        if (!c.inRange) {
            expectKept.push_back(c.message);
        }
    }
    EXPECT_EQ(offered, expectOffered);
    EXPECT_EQ(recorder.Messages(), expectDelivered);
    queue.PumpMessages();
    expectDelivered.insert(expectDelivered.end(), expectKept.begin(), expectKept.end());
    EXPECT_EQ(recorder.Messages(), expectDelivered) << "in range and unclaimed means dropped";
}

TEST(MessageQueueTest, AWaitingSenderBlocksInsteadOfSpinning) {
    CMessageQueue queue;
    Recorder recorder(queue);
    double senderCpu = 1;
    std::thread sender([&] {
        const double before = ThreadCpuSeconds();
        SendMessage(recorder.Target(), WM_APP);
        senderCpu = ThreadCpuSeconds() - before;
    });
    WaitForSentMessage();
    CWaitEvent().Wait(1000);
    queue.DeliverSentMessages();
    sender.join();
    EXPECT_LT(senderCpu, 0.1);
}

}  // namespace
