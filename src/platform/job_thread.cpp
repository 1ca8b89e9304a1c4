#include "platform/job_thread.h"

#include <utility>

CJobThread::CJobThread(std::function<ResultCode()> pass, std::function<void()> requestStop)
    : m_pass(std::move(pass)), m_requestStop(std::move(requestStop)) {}

CJobThread::~CJobThread() {
    Stop();
}

void CJobThread::SignalStop() {
    m_requestStop();
}

ResultCode CJobThread::OnThreadStart(std::uint32_t /*threadId*/) {
    return ERR_SUCCESS;
}

void CJobThread::OnThreadEnd(std::uint32_t /*threadId*/, ResultCode exitCode) {
    m_result = exitCode;
}

ResultCode CJobThread::Run() {
    return m_pass();
}
