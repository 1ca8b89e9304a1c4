#include "cli/interrupt_watch.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace {

// What the handler may touch: a lock-free counter and a descriptor write.
std::atomic<int> g_count{0};
std::atomic<int> g_eventFd{-1};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

void OnInterrupt(int /*signal*/) {
    g_count.fetch_add(1);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_eventFd.load(), &one, sizeof one);
}

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

CInterruptWatch::CInterruptWatch() {
    g_count = 0;
    g_eventFd = m_event.GetFd();
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
}

CInterruptWatch::~CInterruptWatch() {
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    g_eventFd = -1;
}

int CInterruptWatch::GetCount() const {
    return g_count.load();
}

CInterruptsBlocked::CInterruptsBlocked() {
    const sigset_t signals = InterruptSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &m_previous);
}

CInterruptsBlocked::~CInterruptsBlocked() {
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}
