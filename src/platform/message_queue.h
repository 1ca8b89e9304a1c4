// The window-message queue of the user-interface thread: other threads send
// (and wait for the answer) or post messages to its targets; the owning thread
// delivers them from its loop or while it waits for a background thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/wait_event.h"

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Message numbers keep the values that the system's own messages are built on.
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Input classes of MsgWait's wake mask; the classes without a source here
// (keys, mouse, timers, paint) are accepted and never wake a wait.
constexpr std::uint32_t QS_POSTMESSAGE = 0x0008;
constexpr std::uint32_t QS_SENDMESSAGE = 0x0040;
constexpr std::uint32_t QS_ALLPOSTMESSAGE = 0x0100;
constexpr std::uint32_t QS_ALLINPUT = 0x04FF;

class CMessageTarget;

struct CMessage {
    CMessageTarget* target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CMessageQueue {
public:
    // Decides whether a posted application message that arrives while the
    // owner waits for a background thread is dispatched (true) or dropped.
    using PreTranslate = std::function<bool(const CMessage&)>;

    // Binds the queue to the calling thread, which becomes its owner. Throws
    // std::logic_error when that thread already owns a queue.
    CMessageQueue();
    // Answers every waiting sender with 0 and detaches the remaining targets.
    ~CMessageQueue();

    CMessageQueue(const CMessageQueue&) = delete;
    CMessageQueue& operator=(const CMessageQueue&) = delete;

    // The queue owned by the calling thread, or null.
    static CMessageQueue* Current();
    bool IsOwnerThread() const;

    // Signalled while any message waits: the owner's loop (or a socket
    // notifier on GetInputEvent().GetFd()) watches it and then pumps.
    const CWaitEvent& GetInputEvent() const { return m_anyWaiting; }

    // The owner's pump: delivers every sent message, then the messages posted
    // before the call, each to its target's handler. Returns how many it
    // delivered; 0 on any other thread.
    std::size_t PumpMessages();
    // Delivers the sent messages only; 0 on any other thread.
    std::size_t DeliverSentMessages();
    // Takes every posted message numbered first to last from the queue and
    // hands each to pre-translation: claimed ones are dispatched, the others
    // dropped. Does nothing on any other thread.
    void DropPostedMessages(UINT first, UINT last);

    void SetPreTranslate(PreTranslate preTranslate);

    // The queue's own events behind the QS_* classes of wakeMask.
    void AppendWakeEvents(std::uint32_t wakeMask, std::vector<const CWaitEvent*>& list) const;

private:
    friend class CMessageTarget;
    friend LRESULT SendMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam);
    friend bool PostMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam);

    struct SentMessage {
        CMessage message;
        // One of the sending thread's answer events, lent for this send.
        CWaitEvent& answered;
        LRESULT result = 0;

        // The sender may return as soon as the event is set, so setting it
        // is the last touch of the record.
        void Answer(LRESULT value) {
            result = value;
            answered.Set();
        }
    };

    void Attach(CMessageTarget* target);
    void Detach(CMessageTarget* target);
    bool Post(const CMessage& message);
    LRESULT SendFromOtherThread(const CMessage& message);

    SentMessage* TakeSent();
    bool TakePosted(CMessage& message);
    std::vector<CMessage> TakePostedRange(UINT first, UINT last);
    bool DispatchIfAttached(const CMessage& message);
    void UpdateSignals();

    const std::thread::id m_owner;
    mutable std::mutex m_mutex;
    std::deque<SentMessage*> m_sent;
    std::deque<CMessage> m_posted;
    std::unordered_set<CMessageTarget*> m_targets;
    PreTranslate m_preTranslate;
    CWaitEvent m_sentWaiting;
    CWaitEvent m_postedWaiting;
    CWaitEvent m_anyWaiting;
    // What each event was last set to, under m_mutex: only a change costs a
    // write or read of its descriptor, not every message.
    bool m_sentSignalled = false;
    bool m_postedSignalled = false;
    bool m_anySignalled = false;
};
