// A TCP client socket in non-blocking mode whose every wait also watches an
// owner's stop event, with time-outs and progress events for a sink.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "net/socket_address.h"

class CEventSink;
class CWaitEvent;

// Socket progress events (category 1 of CEventSink); 257 is not used.
enum : std::uint32_t {
    EVT_SOCKET_CREATED = 256,    // source: the new socket
    EVT_SOCKET_CONNECTED = 258,  // text: the peer's address, dotted or IPv6
    EVT_SOCKET_SENT = 259,       // length: bytes taken by one send call
    EVT_SOCKET_RECEIVED = 260,   // length: bytes returned by one receive call
    EVT_SOCKET_CLOSED = 261,     // source: -1
};

// Every operation that fails closes the socket and then throws
// CSocketException with its code; Create makes the object usable again.
class CEventSocket {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kInvalidSocket = -1;
    static constexpr std::uint32_t kSendChunkSize = 8192;
    static constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

    CEventSocket();
    virtual ~CEventSocket();
    CEventSocket(const CEventSocket&) = delete;
    CEventSocket& operator=(const CEventSocket&) = delete;

    // sink and stopEvent are not owned and may be null.
    virtual bool Create(CEventSink* sink, CWaitEvent* stopEvent);
    virtual void Close();
    virtual bool IsOpen() const;
    // A host name's addresses race for the connection as CConnectionRace
    // runs them, IPv6 first; the connect time-out bounds the whole race.
    virtual bool Connect(const CSocketAddress& address);
    // True when all of text was sent.
    virtual bool SendString(std::string_view text);
    // Sends all of data; sent counts what went out, also when it throws.
    virtual std::uint32_t Send(const void* data, std::uint32_t length, std::uint32_t& sent);
    // Receives into buffer until its data ends with terminator (true) or it
    // holds capacity - 1 bytes (false); the data is NUL-terminated. One byte
    // at a time leaves everything after the terminator unread (the bytes are
    // looked at before they are taken, so it costs no call per byte).
    virtual bool ReceiveUntil(char* buffer, std::uint32_t capacity, const char* terminator,
                              std::uint32_t& received, bool oneByteAtATime);
    // Receives exactly size bytes; when it throws, received and buffer hold
    // the bytes that did arrive.
    virtual std::uint32_t Receive(void* buffer, std::uint32_t size, std::uint32_t& received);
    // Data is ready to be received at once; nothing waits and nothing is taken.
    bool HasPendingInput();

    // An empty host binds to any address; a host that is not a literal IPv4
    // address fails with errno EINVAL.
    bool Bind(const std::string& host, std::int32_t port);
    // Milliseconds; 0 waits without limit.
    void SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs, std::uint32_t receiveMs);
    // The time-outs bound each wait, so a peer that sends a byte now and
    // then is never cut off by them; past the deadline every operation fails
    // with ERR_SOCKET_TIMEOUT. It outlives Close and Create.
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    // Name servers for host lookups in c-ares' "host:port,…" form; empty
    // (the default) uses the system's resolver configuration.
    void SetDnsServers(std::string servers);
    // Empty when there is no connected peer.
    CSocketAddress GetPeerAddress() const;
    bool IsStopRequested() const;
    // The addresses of name in the order to try them, IPv6 first; a literal
    // address (an IPv6 one bracketed or not) is returned alone, in its
    // normalised form, without any lookup.
    std::vector<std::string> ResolveHost(const std::string& name);
    [[noreturn]] void CloseAndThrow(ResultCode code);

protected:
    // The outcome of one attempt to move bytes: a count, or the poll events
    // to wait for before the next attempt, or an error code.
    struct Transfer {
        std::uint32_t count = 0;
        short waitFor = 0;
        ResultCode error = ERR_SUCCESS;
    };

    virtual Transfer SendSome(const char* data, std::uint32_t length);
    virtual Transfer ReceiveSome(char* buffer, std::uint32_t length);
    // Like ReceiveSome, but the bytes stay to be received again.
    virtual Transfer PeekSome(char* buffer, std::uint32_t length);
    virtual std::uint32_t GetSendTimeout() const { return m_sendTimeout; }
    virtual std::uint32_t GetReceiveTimeout() const { return m_receiveTimeout; }
    // Reads the socket's state after a wait for pollEvents ended.
    virtual ResultCode CheckNetworkEvent(short pollEvents) const;

    // Waits until the socket is ready for pollEvents, the stop event is set
    // (ERR_SOCKET_LOCAL_CLOSED) or timeoutMs elapsed (ERR_SOCKET_TIMEOUT).
    ResultCode WaitForEvent(short pollEvents, std::uint32_t timeoutMs);
    void ThrowIfStopRequested();
    // Before each transfer: a peer that is never waited for must not outrun the deadline.
    void ThrowIfStopRequestedOrLate();

    int GetHandle() const { return m_socket; }
    std::uint32_t GetConnectTimeout() const { return m_connectTimeout; }

private:
    // The wait that timeoutMs allows (0: without limit), cut at the
    // deadline; 0 when it has passed.
    std::uint32_t WaitLimit(std::uint32_t timeoutMs) const;
    void AwaitTransfer(short pollEvents, std::uint32_t timeoutMs);
    Transfer ReceiveWithFlags(char* buffer, std::uint32_t length, int flags);
    // How many of the available bytes to take so that nothing after the
    // terminator is taken; they are peeked to buffer + received first.
    std::uint32_t PeekUpToTerminator(char* buffer, std::uint32_t received, std::uint32_t room,
                                     std::string_view terminator);
    void Notify(std::uint32_t code);
    void Notify(std::uint32_t code, std::uint32_t length);
    void Notify(std::uint32_t code, const std::string& text);

    int m_socket = kInvalidSocket;
    std::uint32_t m_connectTimeout = 0;
    std::uint32_t m_sendTimeout = 0;
    std::uint32_t m_receiveTimeout = 0;
    Clock::time_point m_deadline = kNoDeadline;
    CEventSink* m_sink = nullptr;
    std::unique_ptr<CWaitEvent> m_networkWait;
    CWaitEvent* m_stopEvent = nullptr;
    // The stop event (when there is one) first, so that a stop wins over
    // readiness that arrives at the same time.
    std::vector<const CWaitEvent*> m_waitList;
    std::string m_dnsServers;
};
