// The receiver of numbered progress events from threads, sockets and clients.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CEventSink {
public:
    // Codes 0-255 are general, 256-511 the socket's, 512 and above the protocol clients'.
    enum Category : int { categoryGeneral = 0, categorySocket = 1, categoryProtocol = 2 };
    enum ArgumentKind : int { argumentNone = 0, argumentLength = 1, argumentText = 2 };

    virtual ~CEventSink() = default;

    // Each form records the event, so that the handler it calls can read the
    // details, and calls the handler of the code's category.
    void Notify(std::intptr_t source, std::uint32_t code);
    void Notify(std::intptr_t source, std::uint32_t code, std::uint32_t length);
    void Notify(std::intptr_t source, std::uint32_t code, std::string_view text);

    std::uint32_t GetCode() const { return m_code; }
    Category GetCategory() const { return m_category; }
    std::intptr_t GetSource() const { return m_source; }
    std::uint32_t GetLength() const { return m_length; }
    const std::string& GetText() const { return m_text; }
    ArgumentKind GetArgumentKind() const { return m_argumentKind; }

protected:
    virtual void OnGeneralEvent(std::intptr_t source, std::uint32_t code) = 0;
    virtual void OnSocketEvent(std::intptr_t source, std::uint32_t code) = 0;
    virtual void OnProtocolEvent(std::uint32_t code) = 0;

private:
    void Raise(std::intptr_t source, std::uint32_t code, ArgumentKind kind);

    std::uint32_t m_code = 0;
    Category m_category = categoryGeneral;
    std::intptr_t m_source = 0;
    std::uint32_t m_length = 0;
    std::string m_text;
    ArgumentKind m_argumentKind = argumentNone;
};
