#include "platform/event_sink.h"

namespace {

CEventSink::Category CategoryOf(std::uint32_t code) {
    if (code < 256) {
        return CEventSink::categoryGeneral;
    }
    return code < 512 ? CEventSink::categorySocket : CEventSink::categoryProtocol;
}

}  // namespace

void CEventSink::Notify(std::intptr_t source, std::uint32_t code) {
    m_length = 0;
    m_text.clear();
    Raise(source, code, argumentNone);
}

void CEventSink::Notify(std::intptr_t source, std::uint32_t code, std::uint32_t length) {
    m_length = length;
    m_text.clear();
    Raise(source, code, argumentLength);
}

void CEventSink::Notify(std::intptr_t source, std::uint32_t code, std::string_view text) {
    m_length = 0;
    m_text = text;
    Raise(source, code, argumentText);
}

void CEventSink::Raise(std::intptr_t source, std::uint32_t code, ArgumentKind kind) {
    m_source = source;
    m_code = code;
    m_argumentKind = kind;
    m_category = CategoryOf(code);
    switch (m_category) {
        case categoryGeneral:
            OnGeneralEvent(source, code);
            break;
        case categorySocket:
            OnSocketEvent(source, code);
            break;
        case categoryProtocol:
            OnProtocolEvent(code);
            break;
    }
}
