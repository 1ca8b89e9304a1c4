// The thread on which one long pass of another object runs (a help file build,
// the rewriting of saved pages) while its owner shows the progress and may
// cancel: a stop reaches the pass only through the pass's own flag, so the
// pass ends between two steps and never in the middle of a file.
#pragma once

#include <atomic>
#include <functional>

#include "platform/worker_thread.h"

class CJobThread : public CWorkerThread {
public:
    // Stops a pass that still runs: the window that watches it is going away.
    // A derived thread that owns the pass's object stops first in its own
    // destructor.
    ~CJobThread() override;

    void SignalStop() override;

    // What the last pass returned; ERR_SUCCESS before one has ended.
    ResultCode GetResult() const { return m_result; }

protected:
    CJobThread(std::function<ResultCode()> pass, std::function<void()> requestStop);

    ResultCode OnThreadStart(std::uint32_t threadId) override;
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override;
    ResultCode Run() override;

private:
    std::function<ResultCode()> m_pass;
    std::function<void()> m_requestStop;
    std::atomic<ResultCode> m_result{ERR_SUCCESS};
};
