#include "platform/notifying_thread.h"

#include <new>

ResultCode CNotifyingThread::OnThreadStart(std::uint32_t threadId) {
    if (m_sink != nullptr) {
        m_sink->Notify(threadId, EVT_THREAD_BEGIN);
    }
    try {
        Initialize();
    } catch (const std::bad_alloc&) {
        return ERR_NOT_ENOUGH_MEMORY;
    }
    return ERR_SUCCESS;
}

void CNotifyingThread::OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) {
    Finalize();
    if (m_sink != nullptr) {
        m_sink->Notify(threadId, EVT_THREAD_END, exitCode);
    }
}
