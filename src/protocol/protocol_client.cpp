#include "protocol/protocol_client.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "base/errors.h"
#include "platform/event_sink.h"

CProtocolClient::CProtocolClient() = default;

CProtocolClient::~CProtocolClient() {
    if (m_socket) {
        m_socket->Close();
    }
}

void CProtocolClient::Attach(CEventSink* sink, CWaitEvent* stopEvent) {
    m_sink = sink;
    m_stopEvent = stopEvent;
    MakeSocket();
}

void CProtocolClient::SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs,
                                  std::uint32_t receiveMs) {
    m_timeouts = {connectMs, sendMs, receiveMs};
    GetSocket().SetTimeouts(connectMs, sendMs, receiveMs);
}

void CProtocolClient::MakeSocket() {
    m_socket = CreateSocket();
    m_socket->SetTimeouts(m_timeouts.connectMs, m_timeouts.sendMs, m_timeouts.receiveMs);
}

void CProtocolClient::ConnectTo(const CSocketAddress& address) {
    CEventSocket& socket = GetSocket();
    socket.Close();
    m_currentAddress.Clear();
    socket.Create(m_sink, m_stopEvent);
    try {
        socket.Connect(address);
    } catch (const CSocketException& error) {
        // The handshake of a TLS socket reports its own failures, so a
        // time-out here is the connection's.
        if (error.GetCode() == ERR_SOCKET_TIMEOUT) {
            ThrowSocketException(ERR_CONNECT_TIMEOUT);
        }
        throw;
    }
    m_currentAddress = address;
}

bool CProtocolClient::IsConnected() const {
    return m_socket && m_socket->IsOpen();
}

void CProtocolClient::Close() {
    if (m_socket) {
        m_socket->Close();
    }
}

void CProtocolClient::Send(std::string_view data) {
    GetSocket().SendString(data);
}

std::uint32_t CProtocolClient::Receive(void* buffer, std::uint32_t size, std::uint32_t& received) {
    return GetSocket().Receive(buffer, size, received);
}

void CProtocolClient::ReadLine(std::string& text) {
    ReadUntil(kLineCapacity, "\r\n", text);
}

void CProtocolClient::ReadHeaderBlock(std::string& text) {
    ReadUntil(kHeaderBlockCapacity, "\r\n\r\n", text);
}

bool CProtocolClient::HasPendingInput() {
    return IsConnected() && GetSocket().HasPendingInput();
}

void CProtocolClient::ReadUntil(std::uint32_t capacity, const char* terminator, std::string& text) {
    // Not cleared: a head's room is large and is written before it is read.
    const auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::uint32_t received = 0;
    try {
        GetSocket().ReceiveUntil(buffer.get(), capacity, terminator, received, true);
    } catch (const CException&) {
        text.assign(buffer.get(), received);
        throw;
    }
    text.assign(buffer.get(), received);
}

void CProtocolClient::StartTransferClock() {
    m_transferDeadline = m_transferLimitMs == 0 ? CEventSocket::kNoDeadline
                                                : CEventSocket::Clock::now() +
                                                      std::chrono::milliseconds(m_transferLimitMs);
    LimitSocketTo(m_transferDeadline);
}

void CProtocolClient::StopTransferClock() {
    m_transferDeadline = CEventSocket::kNoDeadline;
    LimitSocketTo(m_transferDeadline);
}

CProtocolClient::Deadline CProtocolClient::HeadDeadline() const {
    if (m_timeouts.receiveMs == 0) {
        return m_transferDeadline;
    }
    const Deadline head =
        CEventSocket::Clock::now() +
        std::chrono::milliseconds(std::uint64_t{m_timeouts.receiveMs} * kHeadTimeouts);
    return std::min(head, m_transferDeadline);
}

void CProtocolClient::LimitSocketTo(Deadline deadline) {
    GetSocket().SetDeadline(deadline);
}

std::unique_ptr<CEventSocket> CProtocolClient::CreateSocket() {
    return std::make_unique<CEventSocket>();
}

CEventSocket& CProtocolClient::GetSocket() {
    // A client used without Attach works without sink and stop event.
    if (!m_socket) {
        MakeSocket();
    }
    return *m_socket;
}

void CProtocolClient::Notify(std::uint32_t code) {
    if (m_sink != nullptr) {
        m_sink->Notify(0, code);
    }
}

void CProtocolClient::Notify(std::uint32_t code, std::uint32_t length) {
    if (m_sink != nullptr) {
        m_sink->Notify(0, code, length);
    }
}

void CProtocolClient::Notify(std::uint32_t code, std::string_view text) {
    if (m_sink != nullptr) {
        m_sink->Notify(0, code, text);
    }
}
