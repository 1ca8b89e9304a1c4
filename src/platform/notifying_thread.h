// A worker thread that reports its begin and end to an event sink and gives
// derived classes a per-thread set-up and clean-up.
#pragma once

#include <cstdint>

#include "platform/event_sink.h"
#include "platform/worker_thread.h"

// General events raised with the thread id as source; the end event carries
// the exit code as its length.
constexpr std::uint32_t EVT_THREAD_BEGIN = 0;
constexpr std::uint32_t EVT_THREAD_END = 1;

class CNotifyingThread : public CWorkerThread {
public:
    // Not owned; set once by the owner before the first start.
    void SetEventSink(CEventSink* sink) { m_sink = sink; }
    CEventSink* GetEventSink() const { return m_sink; }

protected:
    // Raises the begin event, then calls Initialize. Returns 0, or
    // ERR_NOT_ENOUGH_MEMORY when Initialize runs out of memory, which skips Run.
    ResultCode OnThreadStart(std::uint32_t threadId) override;
    // Calls Finalize, then raises the end event.
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override;

    virtual void Initialize() = 0;
    virtual ResultCode Finalize() = 0;

private:
    CEventSink* m_sink = nullptr;
};
