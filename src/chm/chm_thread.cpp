#include "chm/chm_thread.h"

#include "chm/chm_builder.h"

CChmThread::~CChmThread() {
    Stop();
}

void CChmThread::SignalStop() {
    m_builder.RequestStop();
}

ResultCode CChmThread::OnThreadStart(std::uint32_t /*threadId*/) {
    return ERR_SUCCESS;
}

void CChmThread::OnThreadEnd(std::uint32_t /*threadId*/, ResultCode exitCode) {
    m_result = exitCode;
}

ResultCode CChmThread::Run() {
    return m_builder.Build();
}
