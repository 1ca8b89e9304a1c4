// Base of every background thread: one thread and one stop event, a fixed
// order of hooks, and a stop that keeps the caller's messages flowing.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "base/errors.h"
#include "platform/wait_event.h"

class CWorkerThread {
public:
    CWorkerThread();
    // Owners call Stop first: the thread's remaining hooks belong to the
    // derived part, which is gone by now. An ended thread is joined here.
    virtual ~CWorkerThread();

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread with CreateThreadObject. The priority is accepted and ignored.
    virtual bool Start(int priority);

    // Signals the thread and waits for it to end, delivering the messages sent
    // to the calling thread meanwhile; posted application messages (WM_USER to
    // 0xBFFF) are dropped unless the queue's pre-translation claims them. True
    // when a running thread was stopped; false, calling no hook, when there was
    // no thread, it had already ended, or the call comes from the thread itself.
    bool Stop();
    virtual void SignalStop();

    // For Run: the stop request, tested without waiting or waited for.
    bool IsStopRequested() const { return m_stopEvent.IsSet(); }
    std::uint32_t WaitForStop(std::uint32_t ms) const { return m_stopEvent.Wait(ms); }
    // The event that the thread's socket waits watch as well.
    CWaitEvent& GetStopEvent() { return m_stopEvent; }

    // Waits, without delivering messages, until no thread runs.
    std::uint32_t WaitForEnd(std::uint32_t ms) const { return m_endedEvent.Wait(ms); }
    bool IsStopping() const { return m_stopping; }
    // The system id of the last started thread; 0 before its first hook.
    std::uint32_t GetThreadId() const { return m_threadId; }

protected:
    // Closes the handle of an ended thread, calls OnBeforeStart, resets the
    // stop event and starts the thread. False when the thread cannot be
    // created, or when the previous one still runs (one object, one thread).
    bool CreateThreadObject(int priority);

    // On the new thread: 0 lets Run go ahead; any other value is the exit code.
    virtual ResultCode OnThreadStart(std::uint32_t threadId) = 0;
    // On the new thread, last of all.
    virtual void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) = 0;
    // On the caller's thread before the thread exists.
    virtual void OnBeforeStart() {}
    // On the caller's thread, from Stop, after the thread has ended.
    virtual void OnStopped(std::uint32_t /*threadId*/, ResultCode /*exitCode*/) {}
    virtual ResultCode Run() = 0;

private:
    void ThreadRoutine();
    void WaitForThreadEnd();

    std::thread m_thread;
    std::atomic<std::uint32_t> m_threadId{0};
    std::atomic<ResultCode> m_exitCode{0};
    std::atomic<bool> m_stopping{false};
    CWaitEvent m_stopEvent;
    // Set while no thread runs; the routine sets it as its last act.
    CWaitEvent m_endedEvent;
};
