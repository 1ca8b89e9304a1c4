// A TLS client connection over CEventSocket that keeps its non-blocking
// waits: whenever OpenSSL wants the network, the socket waits for it and for
// the stop event.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "net/event_socket.h"

// Every wait (handshake, send, receive) uses the connect time-out. The server
// name is sent (SNI) for host names, and by default the server's certificate
// must chain to the system trust store (SSL_CERT_FILE and SSL_CERT_DIR are
// honoured) and name the host; a failed check is ERR_SSL_VERIFY.
class CSslSocket : public CEventSocket {
public:
    explicit CSslSocket(bool verifyCertificates = true);
    ~CSslSocket() override;

    // Takes effect at the next Create; off accepts any certificate, for sites
    // with self-signed ones.
    void SetVerifyCertificates(bool verify) { m_verifyCertificates = verify; }
    bool GetVerifyCertificates() const { return m_verifyCertificates; }
    // After ERR_SSL_VERIFY: the TLS library's reason ("self-signed
    // certificate", "certificate has expired", "hostname mismatch"); empty
    // otherwise. Cleared by the next Create.
    const std::string& GetFailureReason() const { return m_failureReason; }

    // Throws ERR_SSL_CONNECT when the TLS context or connection object
    // cannot be made.
    bool Create(CEventSink* sink, CWaitEvent* stopEvent) override;
    void Close() override;
    // True only with context, connection object and socket all present.
    bool IsOpen() const override;
    // TCP connect, then the handshake. A failed or timed-out handshake is
    // ERR_SSL_CONNECT; a stop is ERR_SOCKET_LOCAL_CLOSED as in every wait.
    bool Connect(const CSocketAddress& address) override;

protected:
    Transfer SendSome(const char* data, std::uint32_t length) override;
    Transfer ReceiveSome(char* buffer, std::uint32_t length) override;
    Transfer PeekSome(char* buffer, std::uint32_t length) override;
    std::uint32_t GetSendTimeout() const override { return GetConnectTimeout(); }
    std::uint32_t GetReceiveTimeout() const override { return GetConnectTimeout(); }
    ResultCode CheckNetworkEvent(short pollEvents) const override;

private:
    struct ContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };
    struct ConnectionFree {
        void operator()(SSL* connection) const { SSL_free(connection); }
    };

    bool MakeContext();
    bool NamePeer(const std::string& host);
    void Handshake();
    Transfer Outcome(int result, std::size_t count, ResultCode failure) const;

    bool m_verifyCertificates;
    std::string m_failureReason;
    std::unique_ptr<SSL_CTX, ContextFree> m_context;
    std::unique_ptr<SSL, ConnectionFree> m_connection;
};
