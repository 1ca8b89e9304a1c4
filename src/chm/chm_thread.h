// The thread on which a CHM build runs while its progress is shown.
#pragma once

#include <atomic>

#include "platform/worker_thread.h"

class CChmBuilder;

class CChmThread : public CWorkerThread {
public:
    explicit CChmThread(CChmBuilder& builder) : m_builder(builder) {}
    ~CChmThread() override;

    // The stop reaches the build through the builder's stop flag alone.
    void SignalStop() override;

    // What the last build returned; ERR_SUCCESS before one has ended.
    ResultCode GetResult() const { return m_result; }

protected:
    ResultCode OnThreadStart(std::uint32_t threadId) override;
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override;
    ResultCode Run() override;

private:
    CChmBuilder& m_builder;
    std::atomic<ResultCode> m_result{ERR_SUCCESS};
};
