#include "platform/message_queue.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/message_target.h"

namespace {

thread_local CMessageQueue* t_currentQueue = nullptr;

// The answer events of the thread's sends, kept for its next send rather
// than made and closed for each: a send made while another one waits (by a
// handler of a message delivered during that wait) borrows one of its own,
// so that an answer never wakes the wrong send.
class CAnswerEventLease {
public:
    CAnswerEventLease() {
        if (t_spare.empty()) {
            m_event = std::make_unique<CWaitEvent>();
        } else {
            m_event = std::move(t_spare.back());
            t_spare.pop_back();
        }
    }
    // The send returns only once it took the answer, so the event goes
    // back reset.
    ~CAnswerEventLease() {
        try {
            t_spare.push_back(std::move(m_event));
        } catch (const std::bad_alloc&) {
            // Without room to keep it, the event is closed.
        }
    }
    CAnswerEventLease(const CAnswerEventLease&) = delete;
    CAnswerEventLease& operator=(const CAnswerEventLease&) = delete;

    CWaitEvent& Get() { return *m_event; }

private:
    static thread_local std::vector<std::unique_ptr<CWaitEvent>> t_spare;
    std::unique_ptr<CWaitEvent> m_event;
};

thread_local std::vector<std::unique_ptr<CWaitEvent>> CAnswerEventLease::t_spare;

void SetSignal(CWaitEvent& event, bool& signalled, bool wanted) {
    if (signalled == wanted) {
        return;
    }
    signalled = wanted;
    if (wanted) {
        event.Set();
    } else {
        event.Reset();
    }
}

}  // namespace

CMessageQueue::CMessageQueue() : m_owner(std::this_thread::get_id()) {
    if (t_currentQueue != nullptr) {
        throw std::logic_error("the thread already owns a message queue");
    }
    t_currentQueue = this;
}

CMessageQueue::~CMessageQueue() {
    std::lock_guard lock(m_mutex);
    for (SentMessage* sent : m_sent) {
        sent->Answer(0);
    }
    m_sent.clear();
    m_posted.clear();
    for (CMessageTarget* target : m_targets) {
        target->m_queue = nullptr;
    }
    if (t_currentQueue == this) {
        t_currentQueue = nullptr;
    }
}

CMessageQueue* CMessageQueue::Current() {
    return t_currentQueue;
}

bool CMessageQueue::IsOwnerThread() const {
    return std::this_thread::get_id() == m_owner;
}

std::size_t CMessageQueue::PumpMessages() {
    if (!IsOwnerThread()) {
        return 0;
    }
    std::size_t delivered = DeliverSentMessages();
    std::size_t postedBefore = 0;
    {
        std::lock_guard lock(m_mutex);
        postedBefore = m_posted.size();
    }
    // Messages that the handlers post now wait for the next pump, so a
    // handler that posts to itself cannot keep this loop going for ever.
    CMessage message{};
    for (; postedBefore > 0 && TakePosted(message); --postedBefore) {
        delivered += DispatchIfAttached(message) ? 1 : 0;
        delivered += DeliverSentMessages();
    }
    return delivered;
}

std::size_t CMessageQueue::DeliverSentMessages() {
    if (!IsOwnerThread()) {
        return 0;
    }
    std::size_t delivered = 0;
    while (SentMessage* sent = TakeSent()) {
        const CMessage& message = sent->message;
        sent->Answer(message.target->Handle(message.message, message.wParam, message.lParam));
        ++delivered;
    }
    return delivered;
}

void CMessageQueue::DropPostedMessages(UINT first, UINT last) {
    if (!IsOwnerThread()) {
        return;
    }
    PreTranslate preTranslate;
    {
        std::lock_guard lock(m_mutex);
        preTranslate = m_preTranslate;
    }
    for (const CMessage& message : TakePostedRange(first, last)) {
        if (preTranslate && preTranslate(message)) {
            DispatchIfAttached(message);
        }
    }
}

void CMessageQueue::SetPreTranslate(PreTranslate preTranslate) {
    std::lock_guard lock(m_mutex);
    m_preTranslate = std::move(preTranslate);
}

void CMessageQueue::AppendWakeEvents(std::uint32_t wakeMask,
                                     std::vector<const CWaitEvent*>& list) const {
    if ((wakeMask & QS_SENDMESSAGE) != 0) {
        list.push_back(&m_sentWaiting);
    }
    if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0) {
        list.push_back(&m_postedWaiting);
    }
}

void CMessageQueue::Attach(CMessageTarget* target) {
    std::lock_guard lock(m_mutex);
    m_targets.insert(target);
}

void CMessageQueue::Detach(CMessageTarget* target) {
    std::lock_guard lock(m_mutex);
    m_targets.erase(target);
    std::erase_if(m_posted, [target](const CMessage& message) { return message.target == target; });
    std::erase_if(m_sent, [target](SentMessage* sent) {
        if (sent->message.target != target) {
            return false;
        }
        sent->Answer(0);
        return true;
    });
    UpdateSignals();
}

bool CMessageQueue::Post(const CMessage& message) {
    std::lock_guard lock(m_mutex);
    if (!m_targets.contains(message.target)) {
        return false;
    }
    m_posted.push_back(message);
    UpdateSignals();
    return true;
}

LRESULT CMessageQueue::SendFromOtherThread(const CMessage& message) {
    CAnswerEventLease answered;
    SentMessage sent{message, answered.Get(), 0};
    {
        std::lock_guard lock(m_mutex);
        if (!m_targets.contains(message.target)) {
            return 0;
        }
        m_sent.push_back(&sent);
        UpdateSignals();
    }
    // A sender that owns a queue keeps answering messages sent to it, so that
    // two threads sending to each other do not wait for each other for ever.
    CMessageQueue* own = Current();
    std::vector<const CWaitEvent*> waitList{&sent.answered};
    if (own != nullptr) {
        own->AppendWakeEvents(QS_SENDMESSAGE, waitList);
    }
    // The queue may be destroyed while the sender waits, so from here on only
    // the record and the sender's own queue are touched.
    for (;;) {
        const std::uint32_t woken = WaitForAny(waitList, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            // Taking the answer from the descriptor resets the event for the
            // thread's next send, and lets the thread sanitizer see that the
            // owner's write is over.
            sent.answered.Reset();
            return sent.result;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            own->DeliverSentMessages();
        }
    }
}

CMessageQueue::SentMessage* CMessageQueue::TakeSent() {
    std::lock_guard lock(m_mutex);
    if (m_sent.empty()) {
        return nullptr;
    }
    SentMessage* sent = m_sent.front();
    m_sent.pop_front();
    UpdateSignals();
    return sent;
}

bool CMessageQueue::TakePosted(CMessage& message) {
    std::lock_guard lock(m_mutex);
    if (m_posted.empty()) {
        return false;
    }
    message = m_posted.front();
    m_posted.pop_front();
    UpdateSignals();
    return true;
}

std::vector<CMessage> CMessageQueue::TakePostedRange(UINT first, UINT last) {
    std::vector<CMessage> taken;
    std::lock_guard lock(m_mutex);
    std::erase_if(m_posted, [&](const CMessage& message) {
        if (message.message < first || message.message > last) {
            return false;
        }
        taken.push_back(message);
        return true;
    });
    UpdateSignals();
    return taken;
}

bool CMessageQueue::DispatchIfAttached(const CMessage& message) {
    bool attached = false;
    {
        std::lock_guard lock(m_mutex);
        attached = m_targets.contains(message.target);
    }
    // A handler that ran before may have destroyed the target.
    if (attached) {
        message.target->Handle(message.message, message.wParam, message.lParam);
    }
    return attached;
}

void CMessageQueue::UpdateSignals() {
    SetSignal(m_sentWaiting, m_sentSignalled, !m_sent.empty());
    SetSignal(m_postedWaiting, m_postedSignalled, !m_posted.empty());
    SetSignal(m_anyWaiting, m_anySignalled, !m_sent.empty() || !m_posted.empty());
}
