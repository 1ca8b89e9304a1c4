#include "net/event_socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "net/connection_race.h"
#include "net/host_lookup.h"
#include "platform/event_sink.h"
#include "platform/wait_event.h"

namespace {

constexpr std::intptr_t kClosedSource = -1;

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

CEventSocket::CEventSocket() = default;

CEventSocket::~CEventSocket() {
    CEventSocket::Close();
}

bool CEventSocket::Create(CEventSink* sink, CWaitEvent* stopEvent) {
    // Only the plain handle: a derived Create has already made its own parts.
    CEventSocket::Close();
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket == kInvalidSocket || !Bind({}, 0)) {
        CloseAndThrow(ERR_SOCKET_CREATE);
    }
    if (stopEvent != nullptr && stopEvent->IsSet()) {
        CloseAndThrow(ERR_SOCKET_LOCAL_CLOSED);
    }
    m_stopEvent = stopEvent;
    m_networkWait = std::make_unique<CWaitEvent>(m_socket, POLLIN);
    if (m_stopEvent != nullptr) {
        m_waitList.push_back(m_stopEvent);
    }
    m_waitList.push_back(m_networkWait.get());
    m_sink = sink;
    Notify(EVT_SOCKET_CREATED);
    return true;
}

void CEventSocket::Close() {
    if (m_socket != kInvalidSocket) {
        ::close(m_socket);
        m_socket = kInvalidSocket;
        Notify(EVT_SOCKET_CLOSED);
    }
    m_waitList.clear();
    m_networkWait.reset();
}

bool CEventSocket::IsOpen() const {
    return m_socket != kInvalidSocket;
}

bool CEventSocket::Connect(const CSocketAddress& address) {
    std::vector<CSocketAddress> candidates;
    for (std::string& host : ResolveHost(address.GetHost())) {
        candidates.emplace_back(std::move(host), address.GetPort());
    }
    ThrowIfStopRequested();
    const std::uint32_t limit = WaitLimit(m_connectTimeout);
    if (limit == 0) {
        CloseAndThrow(ERR_SOCKET_TIMEOUT);
    }
    CConnectionRace race(std::move(candidates), m_stopEvent != nullptr ? m_stopEvent->GetFd() : -1);
    if (const ResultCode code = race.Run(limit); code != ERR_SUCCESS) {
        CloseAndThrow(code);
    }
    // The winner takes over the descriptor number that the waits and a TLS
    // layer already watch; the family of the socket made by Create may differ.
    const CFileDescriptor winner = race.TakeWinner();
    if (::dup3(winner.Get(), m_socket, O_CLOEXEC) < 0) {
        CloseAndThrow(ERR_SOCKET_CONNECT);
    }
    Notify(EVT_SOCKET_CONNECTED, race.GetWinnerAddress().GetHost());
    return true;
}

bool CEventSocket::SendString(std::string_view text) {
    std::uint32_t sent = 0;
    const auto length = static_cast<std::uint32_t>(text.size());
    return Send(text.data(), length, sent) == length;
}

std::uint32_t CEventSocket::Send(const void* data, std::uint32_t length, std::uint32_t& sent) {
    sent = 0;
    ThrowIfStopRequestedOrLate();
    const auto* bytes = static_cast<const char*>(data);
    while (sent < length) {
        const Transfer done = SendSome(bytes + sent, std::min(length - sent, kSendChunkSize));
        if (done.count > 0) {
            sent += done.count;
            Notify(EVT_SOCKET_SENT, done.count);
        } else if (done.error != ERR_SUCCESS) {
            CloseAndThrow(done.error);
        } else {
            AwaitTransfer(done.waitFor, GetSendTimeout());
        }
    }
    return sent;
}

std::uint32_t CEventSocket::Receive(void* buffer, std::uint32_t size, std::uint32_t& received) {
    received = 0;
    ThrowIfStopRequestedOrLate();
    auto* bytes = static_cast<char*>(buffer);
    while (received < size) {
        const Transfer done = ReceiveSome(bytes + received, size - received);
        if (done.count > 0) {
            received += done.count;
            Notify(EVT_SOCKET_RECEIVED, done.count);
        } else if (done.error != ERR_SUCCESS) {
            CloseAndThrow(done.error);
        } else {
            AwaitTransfer(done.waitFor, GetReceiveTimeout());
        }
    }
    return received;
}

bool CEventSocket::HasPendingInput() {
    char byte = 0;
    return IsOpen() && PeekSome(&byte, 1).count > 0;
}

bool CEventSocket::ReceiveUntil(char* buffer, std::uint32_t capacity, const char* terminator,
                                std::uint32_t& received, bool oneByteAtATime) {
    received = 0;
    ThrowIfStopRequestedOrLate();
    if (capacity <= 1) {
        return false;
    }
    const std::string_view wanted(terminator);
    // One byte of the capacity is kept for the terminating NUL.
    while (received < capacity - 1) {
        const std::uint32_t room = capacity - 1 - received;
        const std::uint32_t take =
            oneByteAtATime ? PeekUpToTerminator(buffer, received, room, wanted) : room;
        if (take == 0) {
            continue;
        }
        const Transfer done = ReceiveSome(buffer + received, take);
        if (done.count == 0) {
            if (done.error != ERR_SUCCESS) {
                CloseAndThrow(done.error);
            }
            AwaitTransfer(done.waitFor, GetReceiveTimeout());
            continue;
        }
        received += done.count;
        buffer[received] = '\0';
        Notify(EVT_SOCKET_RECEIVED, done.count);
        if (std::string_view(buffer, received).ends_with(wanted)) {
            return true;
        }
    }
    return false;
}

std::uint32_t CEventSocket::PeekUpToTerminator(char* buffer, std::uint32_t received,
                                               std::uint32_t room, std::string_view terminator) {
    const Transfer peeked = PeekSome(buffer + received, room);
    if (peeked.count == 0) {
        if (peeked.error != ERR_SUCCESS) {
            CloseAndThrow(peeked.error);
        }
        AwaitTransfer(peeked.waitFor, GetReceiveTimeout());
        return 0;
    }
    // The terminator may begin in bytes already taken.
    const std::uint32_t overlap =
        std::min<std::uint32_t>(received, static_cast<std::uint32_t>(terminator.size()) - 1);
    const std::string_view window(buffer + received - overlap, overlap + peeked.count);
    const std::size_t found = terminator.empty() ? 0 : window.find(terminator);
    if (found == std::string_view::npos) {
        return peeked.count;
    }
    return static_cast<std::uint32_t>(found + terminator.size() - overlap);
}

CEventSocket::Transfer CEventSocket::SendSome(const char* data, std::uint32_t length) {
    for (;;) {
        const ssize_t count = ::send(m_socket, data, length, MSG_NOSIGNAL);
        if (count > 0) {
            return {static_cast<std::uint32_t>(count)};
        }
        if (count == 0 || WouldBlock(errno)) {
            return {0, POLLOUT};
        }
        if (errno != EINTR) {
            return {0, 0, ERR_SOCKET_SEND};
        }
    }
}

CEventSocket::Transfer CEventSocket::ReceiveSome(char* buffer, std::uint32_t length) {
    return ReceiveWithFlags(buffer, length, 0);
}

CEventSocket::Transfer CEventSocket::PeekSome(char* buffer, std::uint32_t length) {
    return ReceiveWithFlags(buffer, length, MSG_PEEK);
}

CEventSocket::Transfer CEventSocket::ReceiveWithFlags(char* buffer, std::uint32_t length,
                                                      int flags) {
    for (;;) {
        const ssize_t count = ::recv(m_socket, buffer, length, flags);
        if (count > 0) {
            return {static_cast<std::uint32_t>(count)};
        }
        if (count == 0) {
            return {0, 0, ERR_SOCKET_REMOTE_CLOSED};
        }
        if (WouldBlock(errno)) {
            return {0, POLLIN};
        }
        if (errno != EINTR) {
            return {0, 0, ERR_SOCKET_RECEIVE};
        }
    }
}

ResultCode CEventSocket::CheckNetworkEvent(short pollEvents) const {
    // A receive simply tries again: recv itself tells data, the peer's close
    // and an error apart, and data that came before a close is not lost.
    if ((pollEvents & POLLOUT) == 0) {
        return ERR_SUCCESS;
    }
    pollfd state{m_socket, pollEvents, 0};
    if (::poll(&state, 1, 0) < 0) {
        return ERR_SOCKET_UNKNOWN;
    }
    if ((state.revents & POLLERR) != 0) {
        return ERR_SOCKET_SEND;
    }
    if ((state.revents & POLLOUT) == 0 && (state.revents & POLLHUP) != 0) {
        return ERR_SOCKET_REMOTE_CLOSED;
    }
    return ERR_SUCCESS;
}

ResultCode CEventSocket::WaitForEvent(short pollEvents, std::uint32_t timeoutMs) {
    if (!m_networkWait) {
        return ERR_SOCKET_UNKNOWN;
    }
    const std::uint32_t limit = WaitLimit(timeoutMs);
    if (limit == 0) {
        return ERR_SOCKET_TIMEOUT;
    }
    m_networkWait->SetPollEvents(pollEvents);
    const std::uint32_t result = WaitForAny(m_waitList, limit);
    const std::uint32_t networkIndex = m_stopEvent != nullptr ? 1 : 0;
    if (m_stopEvent != nullptr && result == 0) {
        return ERR_SOCKET_LOCAL_CLOSED;
    }
    if (result == networkIndex) {
        return ERR_SUCCESS;
    }
    return result == WAIT_TIMEOUT ? ERR_SOCKET_TIMEOUT : ERR_SOCKET_UNKNOWN;
}

std::uint32_t CEventSocket::WaitLimit(std::uint32_t timeoutMs) const {
    const std::uint32_t limit = timeoutMs == 0 ? INFINITE : timeoutMs;
    if (m_deadline == kNoDeadline) {
        return limit;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(left, limit));
}

void CEventSocket::AwaitTransfer(short pollEvents, std::uint32_t timeoutMs) {
    ResultCode code = WaitForEvent(pollEvents, timeoutMs);
    if (code == ERR_SUCCESS) {
        code = CheckNetworkEvent(pollEvents);
    }
    if (code != ERR_SUCCESS) {
        CloseAndThrow(code);
    }
}

bool CEventSocket::Bind(const std::string& host, std::int32_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (!host.empty() && !CSocketAddress(host, port).ToSockAddr(local)) {
        errno = EINVAL;
        return false;
    }
    return ::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

void CEventSocket::SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs,
                               std::uint32_t receiveMs) {
    m_connectTimeout = connectMs;
    m_sendTimeout = sendMs;
    m_receiveTimeout = receiveMs;
}

void CEventSocket::SetDnsServers(std::string servers) {
    m_dnsServers = std::move(servers);
}

CSocketAddress CEventSocket::GetPeerAddress() const {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return {};
    }
    return CSocketAddress(reinterpret_cast<const sockaddr&>(peer));
}

bool CEventSocket::IsStopRequested() const {
    return m_stopEvent != nullptr && m_stopEvent->IsSet();
}

void CEventSocket::ThrowIfStopRequested() {
    if (IsStopRequested()) {
        CloseAndThrow(ERR_SOCKET_LOCAL_CLOSED);
    }
}

void CEventSocket::ThrowIfStopRequestedOrLate() {
    // Every wait of a transfer watches the stop event itself; this check
    // only spares a transfer that would not wait, so it reads the flag the
    // event's Set raises rather than polling its descriptor.
    if (m_stopEvent != nullptr && m_stopEvent->IsSetThroughThis()) {
        CloseAndThrow(ERR_SOCKET_LOCAL_CLOSED);
    }
    if (m_deadline != kNoDeadline && Clock::now() >= m_deadline) {
        CloseAndThrow(ERR_SOCKET_TIMEOUT);
    }
}

std::vector<std::string> CEventSocket::ResolveHost(const std::string& name) {
    ThrowIfStopRequested();
    in_addr literal{};
    if (ParseDottedAddress(name, literal)) {
        return {FormatDottedAddress(literal)};
    }
    in6_addr literalIpv6{};
    if (ParseIpv6Address(name, literalIpv6)) {
        return {FormatIpv6Address(literalIpv6)};
    }
    std::vector<std::string> addresses;
    const int stopFd = m_stopEvent != nullptr ? m_stopEvent->GetFd() : -1;
    if (const ResultCode code = CHostLookup(m_dnsServers).Resolve(name, stopFd, addresses);
        code != ERR_SUCCESS) {
        CloseAndThrow(code);
    }
    return addresses;
}

void CEventSocket::CloseAndThrow(ResultCode code) {
    Close();
    ThrowSocketException(code);
}

void CEventSocket::Notify(std::uint32_t code) {
    if (m_sink != nullptr) {
        m_sink->Notify(code == EVT_SOCKET_CLOSED ? kClosedSource : m_socket, code);
    }
}

void CEventSocket::Notify(std::uint32_t code, std::uint32_t length) {
    if (m_sink != nullptr) {
        m_sink->Notify(m_socket, code, length);
    }
}

void CEventSocket::Notify(std::uint32_t code, const std::string& text) {
    if (m_sink != nullptr) {
        m_sink->Notify(m_socket, code, text);
    }
}
