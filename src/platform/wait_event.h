// Manual-reset events over file descriptors and the waits that block on them.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>

// Wait results and the endless time-out keep the values that callers compare with.
constexpr std::uint32_t WAIT_OBJECT_0 = 0;
constexpr std::uint32_t WAIT_TIMEOUT = 258;
constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;
constexpr std::uint32_t INFINITE = 0xFFFFFFFF;

// A manual-reset event. An owned event is an eventfd: set means readable,
// reset drains it. A borrowed descriptor (a socket, a pipe) is only waited on
// for the poll events given, and is never closed here.
class CWaitEvent {
public:
    // A new event, not signalled. Throws std::system_error when the process
    // has no descriptor left.
    CWaitEvent();
    explicit CWaitEvent(int borrowedFd, short pollEvents = POLLIN);
    ~CWaitEvent();

    CWaitEvent(const CWaitEvent&) = delete;
    CWaitEvent& operator=(const CWaitEvent&) = delete;

    // Set and Reset are meant for eventfds, owned or borrowed.
    bool Set();
    bool Reset();
    bool IsSet() const;
    // Whether Set was called since the last Reset, read without a system
    // call. Only for a fast path in front of a wait that watches the
    // descriptor: it misses a set written straight to the descriptor (by a
    // signal handler), which IsSet and the waits see.
    bool IsSetThroughThis() const { return m_setThroughThis.load(std::memory_order_acquire); }

    // WAIT_OBJECT_0 when the event is signalled, WAIT_TIMEOUT or WAIT_FAILED.
    std::uint32_t Wait(std::uint32_t ms) const;
    // Also wakes for messages of the QS_* classes in wakeMask waiting in the
    // calling thread's message queue: the result is then WAIT_OBJECT_0 + 1.
    // The wake is level-triggered, so the caller must take those messages
    // before it waits again. A thread without a queue waits for the event only.
    std::uint32_t MsgWait(std::uint32_t ms, std::uint32_t wakeMask) const;

    int GetFd() const { return m_fd; }
    short GetPollEvents() const { return m_pollEvents; }
    // A borrowed socket waits for input or for room to send as its state requires.
    void SetPollEvents(short pollEvents) { m_pollEvents = pollEvents; }

private:
    friend std::uint32_t WaitForAny(std::span<const CWaitEvent* const> list, std::uint32_t ms);

    // Tells the thread sanitizer that a wait saw this event signalled, which
    // orders it after the Set; the kernel gives that ordering, the tool cannot see it.
    void NoteSignalSeen() const;

    int m_fd;
    short m_pollEvents = POLLIN;
    bool m_borrowed;
    std::atomic<bool> m_setThroughThis{false};
};

// Waits until any event of the list is signalled. Returns the index of the
// first signalled entry, WAIT_TIMEOUT, or WAIT_FAILED for an empty list, a
// null entry or a descriptor that is not open. Interrupted polls are resumed
// with the time that is left, so the wait never ends early.
std::uint32_t WaitForAny(std::span<const CWaitEvent* const> list, std::uint32_t ms);
std::uint32_t WaitForAny(std::initializer_list<const CWaitEvent*> list, std::uint32_t ms);
