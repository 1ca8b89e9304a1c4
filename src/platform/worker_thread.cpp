#include "platform/worker_thread.h"

#include <unistd.h>

#include <system_error>

#include "platform/message_queue.h"

namespace {

constexpr UINT kLastApplicationMessage = 0xBFFF;

// What the stop's wait does whenever it wakes for input, and once more after
// the thread has ended: posted messages that stay behind could carry pointers
// into objects that the owner frees once the thread is gone.
void FilterMessages(CMessageQueue& queue) {
    queue.DeliverSentMessages();
    queue.DropPostedMessages(WM_USER, kLastApplicationMessage);
}

}  // namespace

CWorkerThread::CWorkerThread() {
    m_endedEvent.Set();
}

CWorkerThread::~CWorkerThread() {
    if (m_thread.joinable()) {
        m_stopEvent.Set();
        m_thread.join();
    }
}

bool CWorkerThread::Start(int priority) {
    return CreateThreadObject(priority);
}

bool CWorkerThread::Stop() {
    // The thread itself must not touch the handle, which the owner may be changing.
    if (m_threadId == static_cast<std::uint32_t>(::gettid())) {
        return false;
    }
    if (!m_thread.joinable() || m_endedEvent.IsSet()) {
        return false;
    }
    m_stopping = true;
    SignalStop();
    WaitForThreadEnd();
    OnStopped(m_threadId, m_exitCode);
    m_stopping = false;
    return true;
}

void CWorkerThread::SignalStop() {
    m_stopEvent.Set();
}

bool CWorkerThread::CreateThreadObject(int /*priority*/) {
    if (m_thread.joinable()) {
        if (!m_endedEvent.IsSet()) {
            return false;
        }
        m_thread.join();
    }
    OnBeforeStart();
    m_stopEvent.Reset();
    m_stopping = false;
    m_threadId = 0;
    m_endedEvent.Reset();
    try {
        m_thread = std::thread(&CWorkerThread::ThreadRoutine, this);
    } catch (const std::system_error&) {
        m_endedEvent.Set();
        return false;
    }
    return true;
}

void CWorkerThread::ThreadRoutine() {
    const auto threadId = static_cast<std::uint32_t>(::gettid());
    m_threadId = threadId;
    ResultCode result = OnThreadStart(threadId);
    if (result == ERR_SUCCESS) {
        result = Run();
    }
    OnThreadEnd(threadId, result);
    m_exitCode = result;
    m_endedEvent.Set();
}

void CWorkerThread::WaitForThreadEnd() {
    CMessageQueue* queue = CMessageQueue::Current();
    while (m_endedEvent.MsgWait(INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        FilterMessages(*queue);
    }
    if (queue != nullptr) {
        FilterMessages(*queue);
    }
    m_thread.join();
}
