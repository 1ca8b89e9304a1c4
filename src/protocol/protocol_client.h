// The base of the HTTP and FTP clients: one owned socket, the owner's event
// sink and stop event, and the address that the open connection leads to.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "net/event_socket.h"
#include "net/socket_address.h"

class CEventSink;
class CWaitEvent;

// Socket failures pass through every operation as CSocketException, after the
// socket has closed itself.
class CProtocolClient {
public:
    static constexpr std::uint32_t kLineCapacity = 512;
    // Real servers send long cookies and policies; a head beyond this is refused.
    static constexpr std::uint32_t kMaxHeadSize = 0x10000;
    static constexpr std::uint32_t kHeaderBlockCapacity = kMaxHeadSize + 1;
    // Counts are 32-bit and signed for the callers; larger bodies are refused
    // rather than miscounted.
    static constexpr std::uint32_t kMaxBodySize = std::numeric_limits<std::int32_t>::max();
    // A head trickled a byte at a time would keep each wait short, so the
    // head as a whole gets this many receive time-outs.
    static constexpr std::uint32_t kHeadTimeouts = 4;

    CProtocolClient();
    virtual ~CProtocolClient();
    CProtocolClient(const CProtocolClient&) = delete;
    CProtocolClient& operator=(const CProtocolClient&) = delete;

    // Keeps sink and stopEvent (not owned; either may be null) and makes the
    // socket. Called once, right after construction.
    void Attach(CEventSink* sink, CWaitEvent* stopEvent);
    // Milliseconds, 0 for no limit; kept for every later connection and socket.
    void SetTimeouts(std::uint32_t connectMs, std::uint32_t sendMs, std::uint32_t receiveMs);
    // Milliseconds that one whole response may take, connecting included;
    // 0 for no limit. Past it the response fails with ERR_SOCKET_TIMEOUT.
    void SetTransferLimit(std::uint32_t limitMs) { m_transferLimitMs = limitMs; }

    // Closes any open connection, creates the socket again and connects it.
    void ConnectTo(const CSocketAddress& address);
    bool IsConnected() const;
    void Close();
    void Send(std::string_view data);
    // Receives exactly size bytes; when it throws, received counts those that came.
    std::uint32_t Receive(void* buffer, std::uint32_t size, std::uint32_t& received);

    // One line including its CR LF; a line of more than 511 bytes comes back
    // cut and its rest is read as the next line. When the socket throws, text
    // holds the bytes that did arrive.
    void ReadLine(std::string& text);
    // The same up to and including the blank line, at most kMaxHeadSize
    // bytes; a longer block comes back cut.
    void ReadHeaderBlock(std::string& text);
    // Bytes have arrived that nobody asked for yet.
    bool HasPendingInput();

    const CSocketAddress& GetCurrentAddress() const { return m_currentAddress; }

protected:
    virtual std::unique_ptr<CEventSocket> CreateSocket();

    CEventSocket& GetSocket();
    CEventSink* GetSink() const { return m_sink; }
    CWaitEvent* GetStopEvent() const { return m_stopEvent; }

    using Deadline = CEventSocket::Clock::time_point;
    // Starts the clock of a response's transfer limit; every later wait of
    // the client's socket ends by the limit.
    void StartTransferClock();
    // No deadline until the next response starts.
    void StopTransferClock();
    Deadline GetTransferDeadline() const { return m_transferDeadline; }
    // The transfer deadline, or kHeadTimeouts receive time-outs from now
    // when that comes first.
    Deadline HeadDeadline() const;
    // The client's socket ends its waits by deadline.
    void LimitSocketTo(Deadline deadline);

    // Protocol events (code 512 and above) from source 0; nothing without a sink.
    void Notify(std::uint32_t code);
    void Notify(std::uint32_t code, std::uint32_t length);
    void Notify(std::uint32_t code, std::string_view text);

private:
    struct Timeouts {
        std::uint32_t connectMs = 0;
        std::uint32_t sendMs = 0;
        std::uint32_t receiveMs = 0;
    };

    void MakeSocket();
    void ReadUntil(std::uint32_t capacity, const char* terminator, std::string& text);

    std::unique_ptr<CEventSocket> m_socket;
    CEventSink* m_sink = nullptr;
    CWaitEvent* m_stopEvent = nullptr;
    CSocketAddress m_currentAddress;
    Timeouts m_timeouts;
    std::uint32_t m_transferLimitMs = 0;
    Deadline m_transferDeadline = CEventSocket::kNoDeadline;
};
