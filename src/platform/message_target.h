// A window stand-in: a handler that receives messages on its queue's thread.
#pragma once

#include <functional>

#include "platform/message_queue.h"

class CMessageTarget {
public:
    using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

    // Created and destroyed on the queue's owner thread.
    CMessageTarget(CMessageQueue& queue, Handler handler);
    // Drops the messages posted to this target and answers its waiting
    // senders with 0, so that no thread hangs on a window that is gone.
    ~CMessageTarget();

    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    // Null once the queue has been destroyed.
    CMessageQueue* GetQueue() const { return m_queue; }

private:
    friend class CMessageQueue;
    friend LRESULT SendMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam);
    friend bool PostMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        return m_handler(message, wParam, lParam);
    }

    CMessageQueue* m_queue;
    Handler m_handler;
};

// From the queue's owner thread the handler is called at once. From any other
// thread the message is queued and the sender blocks until the owner has
// handled it, delivering the messages sent to its own queue meanwhile (if it
// owns one); it returns the handler's result, or 0 when the target or its
// queue is destroyed first. A null target or a detached one gives 0.
LRESULT SendMessage(CMessageTarget* target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Queues the message and returns at once; false for a null or detached target.
bool PostMessage(CMessageTarget* target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
