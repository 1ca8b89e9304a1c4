#include "net/ssl_socket.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include "net/socket_bio.h"

namespace {

// The readiness OpenSSL asks for, or 0 when the call failed for good.
short WaitEventsFor(int sslError) {
    switch (sslError) {
        case SSL_ERROR_WANT_READ:
            return POLLIN;
        case SSL_ERROR_WANT_WRITE:
            return POLLOUT;
        default:
            return 0;
    }
}

}  // namespace

CSslSocket::CSslSocket(bool verifyCertificates) : m_verifyCertificates(verifyCertificates) {}

CSslSocket::~CSslSocket() {
    CSslSocket::Close();
}

bool CSslSocket::Create(CEventSink* sink, CWaitEvent* stopEvent) {
    Close();
    m_failureReason.clear();
    // A fresh context each time, so no earlier session is ever resumed.
    if (!MakeContext()) {
        CloseAndThrow(ERR_SSL_CONNECT);
    }
    CEventSocket::Create(sink, stopEvent);
    BIO* bio = NewSocketBio(GetHandle());
    if (bio == nullptr) {
        CloseAndThrow(ERR_SSL_CONNECT);
    }
    SSL_set_bio(m_connection.get(), bio, bio);
    return true;
}

bool CSslSocket::MakeContext() {
    ERR_clear_error();
    m_context.reset(SSL_CTX_new(TLS_client_method()));
    if (!m_context) {
        return false;
    }
    if (m_verifyCertificates) {
        SSL_CTX_set_verify(m_context.get(), SSL_VERIFY_PEER, nullptr);
        if (SSL_CTX_set_default_verify_paths(m_context.get()) != 1) {
            return false;
        }
    }
    m_connection.reset(SSL_new(m_context.get()));
    return m_connection != nullptr;
}

void CSslSocket::Close() {
    // Only a finished handshake has a session to announce the end of; the
    // peer's answer is not awaited.
    if (IsOpen() && SSL_is_init_finished(m_connection.get())) {
        SSL_shutdown(m_connection.get());
    }
    CEventSocket::Close();
    m_connection.reset();
    m_context.reset();
    // Nothing of this connection may linger in the thread's error queue,
    // where it would spoil SSL_get_error for the next one.
    ERR_clear_error();
}

bool CSslSocket::IsOpen() const {
    return m_context && m_connection && CEventSocket::IsOpen();
}

bool CSslSocket::Connect(const CSocketAddress& address) {
    if (!m_connection || !NamePeer(address.GetHost())) {
        CloseAndThrow(ERR_SSL_CONNECT);
    }
    CEventSocket::Connect(address);
    Handshake();
    return true;
}

// SNI for a host name (never for a literal address), and the name or
// address the certificate must carry.
bool CSslSocket::NamePeer(const std::string& host) {
    SSL* connection = m_connection.get();
    in_addr literal{};
    if (ParseDottedAddress(host, literal)) {
        return !m_verifyCertificates ||
               X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(connection),
                                             FormatDottedAddress(literal).c_str()) == 1;
    }
    if (SSL_set_tlsext_host_name(connection, host.c_str()) != 1) {
        return false;
    }
    if (!m_verifyCertificates) {
        return true;
    }
    SSL_set_hostflags(connection, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set1_host(connection, host.c_str()) == 1;
}

void CSslSocket::Handshake() {
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(m_connection.get());
        if (result == 1) {
            return;
        }
        const short waitFor = WaitEventsFor(SSL_get_error(m_connection.get(), result));
        if (waitFor == 0) {
            // A certificate that does not verify is the server's fault, not
            // the connection's, and the user's remedy differs.
            const long verifyResult = SSL_get_verify_result(m_connection.get());
            if (m_verifyCertificates && verifyResult != X509_V_OK) {
                m_failureReason = X509_verify_cert_error_string(verifyResult);
                CloseAndThrow(ERR_SSL_VERIFY);
            }
            CloseAndThrow(ERR_SSL_CONNECT);
        }
        const ResultCode code = WaitForEvent(waitFor, GetConnectTimeout());
        // A stop is the owner's request, not a failure of the server: it
        // must reach the crawl engine as such, so that the URL is retried.
        if (code == ERR_SOCKET_LOCAL_CLOSED) {
            CloseAndThrow(code);
        }
        if (code != ERR_SUCCESS) {
            CloseAndThrow(ERR_SSL_CONNECT);
        }
    }
}

CEventSocket::Transfer CSslSocket::SendSome(const char* data, std::uint32_t length) {
    if (!m_connection) {
        return {0, 0, ERR_SSL_SEND};
    }
    ERR_clear_error();
    std::size_t written = 0;
    const int result = SSL_write_ex(m_connection.get(), data, length, &written);
    return Outcome(result, written, ERR_SSL_SEND);
}

CEventSocket::Transfer CSslSocket::ReceiveSome(char* buffer, std::uint32_t length) {
    if (!m_connection) {
        return {0, 0, ERR_SSL_RECEIVE};
    }
    ERR_clear_error();
    std::size_t read = 0;
    const int result = SSL_read_ex(m_connection.get(), buffer, length, &read);
    return Outcome(result, read, ERR_SSL_RECEIVE);
}

CEventSocket::Transfer CSslSocket::PeekSome(char* buffer, std::uint32_t length) {
    if (!m_connection) {
        return {0, 0, ERR_SSL_RECEIVE};
    }
    ERR_clear_error();
    std::size_t read = 0;
    const int result = SSL_peek_ex(m_connection.get(), buffer, length, &read);
    return Outcome(result, read, ERR_SSL_RECEIVE);
}

// The peer's close (alert or not) is a library failure, so a body that ends
// with the connection reports failure after its bytes were counted.
CEventSocket::Transfer CSslSocket::Outcome(int result, std::size_t count,
                                           ResultCode failure) const {
    if (result == 1) {
        return {static_cast<std::uint32_t>(count)};
    }
    const short waitFor = WaitEventsFor(SSL_get_error(m_connection.get(), result));
    return waitFor != 0 ? Transfer{0, waitFor} : Transfer{0, 0, failure};
}

ResultCode CSslSocket::CheckNetworkEvent(short /*pollEvents*/) const {
    // OpenSSL reads the socket's state itself on the next call.
    return ERR_SUCCESS;
}
