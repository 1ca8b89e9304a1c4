// Result codes shared by every layer and the exception classes that carry them.
#pragma once

#include <cstdint>
#include <exception>

using ResultCode = std::uint32_t;

// Codes of the form 0x2001GGNN; GG names the layer that raised the code.
enum : ResultCode {
    ERR_SUCCESS = 0,
    // Windows' code for lack of memory, kept for callers that compare with it.
    ERR_NOT_ENOUGH_MEMORY = 14,

    ERR_FILE_STREAM_OPEN = 0x20010000,
    ERR_FILE_STREAM_READ = 0x20010001,
    ERR_FILE_STREAM_WRITE = 0x20010002,
    ERR_FILE_STREAM_SEEK = 0x20010003,
    ERR_FILE_STREAM_RESIZE = 0x20010004,
    ERR_MEMORY_STREAM_OPEN = 0x20010010,
    ERR_MEMORY_STREAM_SEEK = 0x20010011,
    ERR_MEMORY_STREAM_RESIZE = 0x20010012,
    ERR_STREAM_DATA = 0x20010020,

    ERR_SOCKET_CREATE = 0x20010100,
    ERR_SOCKET_DNS = 0x20010101,
    ERR_SOCKET_CONNECT = 0x20010102,
    ERR_SOCKET_SEND = 0x20010103,
    ERR_SOCKET_RECEIVE = 0x20010104,
    ERR_SOCKET_TIMEOUT = 0x20010105,
    ERR_SOCKET_REMOTE_CLOSED = 0x20010106,
    ERR_SOCKET_LOCAL_CLOSED = 0x20010107,
    ERR_SOCKET_UNKNOWN = 0x20010108,

    ERR_SSL_CONNECT = 0x20010200,
    ERR_SSL_SEND = 0x20010201,
    ERR_SSL_RECEIVE = 0x20010202,
    ERR_SSL_UNKNOWN = 0x20010203,
    // The handshake failed because the server's certificate did not verify.
    ERR_SSL_VERIFY = 0x20010204,

    ERR_HTTP_HEADER = 0x20010300,
    ERR_HTTP_STATUS = 0x20010301,
    ERR_HTTP_CLIENT_ERROR = 0x20010302,
    ERR_HTTP_SERVER_ERROR = 0x20010303,
    ERR_HTTP_REDIRECT_PROTOCOL = 0x20010304,
    // More redirects than one request may follow: the server sends the
    // client round in a loop.
    ERR_HTTP_REDIRECT_LOOP = 0x20010305,
    // The chunk sizes and line ends of a chunked body do not add up.
    ERR_HTTP_CHUNKED_BODY = 0x20010306,
    // The body is in a content coding that the client cannot decode.
    ERR_HTTP_CONTENT_ENCODING = 0x20010307,
    // The compressed body does not decode.
    ERR_HTTP_CONTENT_CORRUPT = 0x20010308,
    // The decoded body outgrows the largest body the client keeps.
    ERR_HTTP_BODY_TOO_LARGE = 0x20010309,
    // The name server says that the host name does not exist; carried by
    // CSocketException, as the other look-up failures are.
    ERR_HOST_NOT_FOUND = 0x2001030A,
    // No connection within the connect time-out, as opposed to a request
    // that got no answer in time (ERR_SOCKET_TIMEOUT); the user raises a
    // different setting for each. Carried by CSocketException.
    ERR_CONNECT_TIMEOUT = 0x20010310,

    ERR_REPLY_NEGATIVE = 0x20010400,
    ERR_REPLY_UNEXPECTED = 0x20010401,
    ERR_REPLY_SYNTAX = 0x20010402,
    ERR_REPLY_REST_REFUSED = 0x20010404,

    ERR_HTML_ADD_NODE = 0x20010A00,
    ERR_HTML_ADD_ATTRIBUTE = 0x20010A01,
    ERR_HTML_SET_ATTRIBUTE = 0x20010A02,

    ERR_CHM_NO_FILES = 0x20010B00,
    ERR_CHM_LOAD_COMPILER = 0x20010B01,
    ERR_CHM_COMPILE = 0x20010B02,
    ERR_CHM_STOPPED = 0x20010B03,

    ERR_CLIENT_RULE = 0x20010F00,
    // The site's robots.txt keeps the crawler away from the URL; like a
    // filter's refusal, a skip and no failure.
    ERR_ROBOTS_DISALLOWED = 0x20010F01,
};

// A URL that the project's rules or the site's robots.txt keep out of the
// mirror: shown as skipped, and no failure of the crawl.
inline bool IsSkipResult(ResultCode code) {
    return code == ERR_CLIENT_RULE || code == ERR_ROBOTS_DISALLOWED;
}

// Base of the coded exceptions. Each object carries exactly one code and
// turns it into the fixed English message of its class.
class CException : public std::exception {
public:
    explicit CException(ResultCode code) : m_code(code) {}

    ResultCode GetCode() const { return m_code; }

    // Writes the message of the code into buffer, cut to capacity - 1
    // characters. Returns false (buffer untouched) for a code that the
    // class does not know. helpContext is accepted and left untouched.
    virtual bool GetErrorMessage(char* buffer, unsigned capacity,
                                 unsigned* helpContext = nullptr) const = 0;

    const char* what() const noexcept override;

protected:
    // Formats message into the class's own buffer of bufferSize characters
    // and copies it, cut if needed, into the caller's buffer. False (buffer
    // untouched) when there is no message, that is for an unknown code.
    static bool CopyMessage(const char* message, unsigned bufferSize, char* buffer,
                            unsigned capacity);

private:
    ResultCode m_code;
};

class CSocketException : public CException {
public:
    using CException::CException;
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
};

class CProtocolException : public CException {
public:
    using CException::CException;
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
};

class CStreamException : public CException {
public:
    using CException::CException;
    // Always true; a code outside the stream table yields an empty text.
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
};

class CHtmlException : public CException {
public:
    using CException::CException;
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
};

[[noreturn]] void ThrowSocketException(ResultCode code);
[[noreturn]] void ThrowProtocolException(ResultCode code);
[[noreturn]] void ThrowStreamException(ResultCode code);
[[noreturn]] void ThrowHtmlException(ResultCode code);

// FTP: a reply code from 400 to 599 is a negative reply, anything else unexpected.
[[noreturn]] void ThrowReplyException(unsigned replyCode);

// The message of any of the system's codes, whichever class carries it;
// empty for a code without a message (operating-system numbers included).
const char* GetResultMessage(ResultCode code);
