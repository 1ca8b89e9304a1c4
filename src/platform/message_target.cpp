#include "platform/message_target.h"

#include <utility>

CMessageTarget::CMessageTarget(CMessageQueue& queue, Handler handler)
    : m_queue(&queue), m_handler(std::move(handler)) {
    m_queue->Attach(this);
}

CMessageTarget::~CMessageTarget() {
    if (m_queue != nullptr) {
        m_queue->Detach(this);
    }
}

LRESULT SendMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (target == nullptr || target->m_queue == nullptr) {
        return 0;
    }
    if (target->m_queue->IsOwnerThread()) {
        return target->Handle(message, wParam, lParam);
    }
    return target->m_queue->SendFromOtherThread({target, message, wParam, lParam});
}

bool PostMessage(CMessageTarget* target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (target == nullptr || target->m_queue == nullptr) {
        return false;
    }
    return target->m_queue->Post({target, message, wParam, lParam});
}
