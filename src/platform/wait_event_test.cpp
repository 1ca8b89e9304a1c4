#include "platform/wait_event.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include "support/thread_cpu_time.h"

namespace {

using testing_support::ThreadCpuSeconds;

// Interrupts the blocking calls of one thread with a signal whose handler does
// nothing, as a debugger, a profiler or a timer would.
class SignalPester {
public:
    SignalPester() {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGUSR1, &action, &m_previous);
    }
    ~SignalPester() { ::sigaction(SIGUSR1, &m_previous, nullptr); }

    // Signals the thread every few milliseconds until done is true.
    static void PesterUntil(std::thread& thread, const std::atomic<bool>& done) {
        while (!done) {
            ::pthread_kill(thread.native_handle(), SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    struct sigaction m_previous {};
};

TEST(WaitEventTest, ManualResetStaysSetUntilResetOnce) {
    CWaitEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);

    ASSERT_TRUE(event.Set());
    ASSERT_TRUE(event.Set());
    EXPECT_TRUE(event.IsSet());
    // Waiting does not consume the signal.
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.Wait(50), WAIT_OBJECT_0);

    // One reset undoes any number of sets; resetting a reset event is harmless.
    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.IsSet());
}

TEST(WaitEventTest, BorrowedSocketIsWatchedForItsPollEventsAndNeverClosed) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    {
        CWaitEvent peer(pair[0]);
        EXPECT_EQ(peer.Wait(0), WAIT_TIMEOUT) << "nothing to read yet";
        peer.SetPollEvents(POLLOUT);
        EXPECT_EQ(peer.Wait(0), WAIT_OBJECT_0) << "room to send";
        peer.SetPollEvents(POLLIN);
        ASSERT_EQ(::write(pair[1], "x", 1), 1);
        EXPECT_EQ(peer.Wait(0), WAIT_OBJECT_0) << "data to read";
    }
    EXPECT_NE(::fcntl(pair[0], F_GETFD), -1) << "a borrowed descriptor stays open";

    char byte = 0;
    ASSERT_EQ(::read(pair[0], &byte, 1), 1);
    ::close(pair[1]);
    CWaitEvent peer(pair[0], POLLOUT);
    EXPECT_EQ(peer.Wait(0), WAIT_OBJECT_0) << "a hang-up ends any wait on the socket";
    ::close(pair[0]);
}

TEST(WaitForAnyTest, ReturnsTheFirstSignalledIndexOrTimesOut) {
    const struct {
        std::vector<int> set;
        std::uint32_t expected;
    } cases[] = {
        {{}, WAIT_TIMEOUT}, {{2}, 2}, {{1, 2}, 1}, {{2, 0}, 0}, {{0, 1, 2}, 0},
    };
    for (const auto& c : cases) {
        std::array<CWaitEvent, 3> events;
        for (int index : c.set) {
            events[index].Set();
        }
        EXPECT_EQ(WaitForAny({&events[0], &events[1], &events[2]}, 20), c.expected)
            << "set first: " << (c.set.empty() ? -1 : c.set[0]);
    }
}

TEST(WaitForAnyTest, FailsForBadListsInsteadOfWaiting) {
    CWaitEvent good;
    good.Set();
    const int closedFd = ::dup(0);
    ::close(closedFd);
    CWaitEvent closed(closedFd);
    CWaitEvent negative(-1);

    EXPECT_EQ(WaitForAny(std::span<const CWaitEvent* const>(), INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForAny({&good, nullptr}, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForAny({&negative}, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForAny({&closed}, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForAny({&good, &closed}, INFINITE), WAIT_FAILED);
}

TEST(WaitForAnyTest, WakesForTheEventThatAnotherThreadSets) {
    for (int iteration = 0; iteration < 100; ++iteration) {
        std::array<CWaitEvent, 3> events;
        const int chosen = iteration % 3;
        std::uint32_t result = WAIT_FAILED;
        std::thread waiter([&] {
            result = WaitForAny({&events[0], &events[1], &events[2]}, INFINITE);
        });
        events[chosen].Set();
        waiter.join();
        ASSERT_EQ(result, static_cast<std::uint32_t>(chosen)) << "iteration " << iteration;
    }
}

TEST(WaitForAnyTest, InterruptedWaitsNeitherEndEarlyNorFail) {
    SignalPester pester;

    CWaitEvent never;
    CWaitEvent later;
    std::atomic<bool> setYet{false};
    std::atomic<bool> done{false};
    std::uint32_t endless = WAIT_FAILED;
    bool setBeforeReturn = false;
    std::thread endlessWaiter([&] {
        endless = WaitForAny({&never, &later}, INFINITE);
        setBeforeReturn = setYet;
        done = true;
    });
    for (int signal = 0; signal < 20; ++signal) {
        ::pthread_kill(endlessWaiter.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    setYet = true;
    later.Set();
    SignalPester::PesterUntil(endlessWaiter, done);
    endlessWaiter.join();
    EXPECT_EQ(endless, 1u);
    EXPECT_TRUE(setBeforeReturn);

    const auto timeout = std::chrono::milliseconds(200);
    done = false;
    std::uint32_t timed = WAIT_FAILED;
    std::chrono::steady_clock::duration waited{};
    std::thread timedWaiter([&] {
        const auto start = std::chrono::steady_clock::now();
        timed = WaitForAny({&never}, static_cast<std::uint32_t>(timeout.count()));
        waited = std::chrono::steady_clock::now() - start;
        done = true;
    });
    SignalPester::PesterUntil(timedWaiter, done);
    timedWaiter.join();
    EXPECT_EQ(timed, WAIT_TIMEOUT);
    EXPECT_GE(waited, timeout) << "a time-out never comes early";
}

TEST(WaitForAnyTest, AOneSecondWaitBlocksInsteadOfSpinning) {
    CWaitEvent never;
    const double before = ThreadCpuSeconds();
    EXPECT_EQ(never.Wait(1000), WAIT_TIMEOUT);
    EXPECT_LT(ThreadCpuSeconds() - before, 0.1);
}

}  // namespace
