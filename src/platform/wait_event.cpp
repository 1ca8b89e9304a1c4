#include "platform/wait_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/message_queue.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define TARNWICK_TSAN_RELEASE(address) __tsan_release(address)
#define TARNWICK_TSAN_ACQUIRE(address) __tsan_acquire(address)
#else
#define TARNWICK_TSAN_RELEASE(address) static_cast<void>(address)
#define TARNWICK_TSAN_ACQUIRE(address) static_cast<void>(address)
#endif

namespace {

using Clock = std::chrono::steady_clock;

int CreateEventFd() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    return fd;
}

// Milliseconds for poll, rounded up so that poll never wakes before the
// deadline, and capped to what poll accepts (the caller loops for the rest).
int PollTimeout(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) {
        return -1;
    }
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// The index of the first signalled entry after a poll, WAIT_FAILED when a
// descriptor is not open, nothing when no entry is signalled.
std::optional<std::uint32_t> FirstSignalled(const std::vector<pollfd>& entries) {
    for (const pollfd& entry : entries) {
        if ((entry.revents & POLLNVAL) != 0) {
            return WAIT_FAILED;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if ((entries[i].revents & (entries[i].events | POLLERR | POLLHUP)) != 0) {
            return static_cast<std::uint32_t>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

CWaitEvent::CWaitEvent() : m_fd(CreateEventFd()), m_borrowed(false) {}

CWaitEvent::CWaitEvent(int borrowedFd, short pollEvents)
    : m_fd(borrowedFd), m_pollEvents(pollEvents), m_borrowed(true) {}

CWaitEvent::~CWaitEvent() {
    if (!m_borrowed) {
        ::close(m_fd);
    }
}

bool CWaitEvent::Set() {
    TARNWICK_TSAN_RELEASE(this);
    m_setThroughThis.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    return ::write(m_fd, &one, sizeof one) == sizeof one;
}

bool CWaitEvent::Reset() {
    // One read empties an eventfd whatever its count; an empty one is already reset.
    std::uint64_t count = 0;
    const bool reset = ::read(m_fd, &count, sizeof count) == sizeof count || errno == EAGAIN;
    // Cleared after the drain: a Set racing this Reset may leave the flag
    // unset while the descriptor is set, which only delays the stop to the
    // next wait, never the other way round.
    if (reset) {
        m_setThroughThis.store(false, std::memory_order_release);
    }
    return reset;
}

bool CWaitEvent::IsSet() const {
    return Wait(0) == WAIT_OBJECT_0;
}

std::uint32_t CWaitEvent::Wait(std::uint32_t ms) const {
    return WaitForAny({this}, ms);
}

std::uint32_t CWaitEvent::MsgWait(std::uint32_t ms, std::uint32_t wakeMask) const {
    std::vector<const CWaitEvent*> list{this};
    if (const CMessageQueue* queue = CMessageQueue::Current()) {
        queue->AppendWakeEvents(wakeMask, list);
    }
    const std::uint32_t result = WaitForAny(list, ms);
    if (result == WAIT_TIMEOUT || result == WAIT_FAILED || result == WAIT_OBJECT_0) {
        return result;
    }
    return WAIT_OBJECT_0 + 1;
}

void CWaitEvent::NoteSignalSeen() const {
    TARNWICK_TSAN_ACQUIRE(const_cast<CWaitEvent*>(this));
}

std::uint32_t WaitForAny(std::span<const CWaitEvent* const> list, std::uint32_t ms) {
    if (list.empty()) {
        return WAIT_FAILED;
    }
    std::vector<pollfd> entries;
    entries.reserve(list.size());
    for (const CWaitEvent* event : list) {
        if (event == nullptr || event->GetFd() < 0) {
            return WAIT_FAILED;
        }
        entries.push_back({event->GetFd(), event->GetPollEvents(), 0});
    }
    std::optional<Clock::time_point> deadline;
    if (ms != INFINITE) {
        deadline = Clock::now() + std::chrono::milliseconds(ms);
    }
    for (;;) {
        const int ready = ::poll(entries.data(), entries.size(), PollTimeout(deadline));
        if (ready < 0 && errno != EINTR) {
            return WAIT_FAILED;
        }
        if (ready > 0) {
            if (const auto result = FirstSignalled(entries)) {
                if (*result != WAIT_FAILED) {
                    list[*result]->NoteSignalSeen();
                }
                return *result;
            }
        }
        if (deadline && Clock::now() >= *deadline) {
            return WAIT_TIMEOUT;
        }
    }
}

std::uint32_t WaitForAny(std::initializer_list<const CWaitEvent*> list, std::uint32_t ms) {
    return WaitForAny(std::span<const CWaitEvent* const>(list.begin(), list.size()), ms);
}
