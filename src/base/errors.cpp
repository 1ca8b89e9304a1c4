#include "base/errors.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct CodeMessage {
    ResultCode code;
    const char* message;
};

constexpr CodeMessage kSocketMessages[] = {
    {ERR_SOCKET_CREATE, "Can not create the socket!"},
    {ERR_SOCKET_DNS, "DNS failure!"},
    {ERR_SOCKET_CONNECT, "Can not connect to the server!"},
    {ERR_SOCKET_SEND, "Error occurred during data sending!"},
    {ERR_SOCKET_RECEIVE, "Error occurred during data receiving!"},
    {ERR_SOCKET_TIMEOUT, "Operation timeout!"},
    {ERR_SOCKET_REMOTE_CLOSED, "The remote peer socket closed!"},
    {ERR_SOCKET_LOCAL_CLOSED, "The local socket closed!"},
    {ERR_SOCKET_UNKNOWN, "Unknown socket error!"},
    {ERR_SSL_CONNECT, "Error occurred during SSL connecting!"},
    {ERR_SSL_SEND, "Error occurred during SSL seding!"},
    {ERR_SSL_RECEIVE, "Error occurred during SSL receiving!"},
    {ERR_SSL_UNKNOWN, "Unknown SSL error!"},
    {ERR_SSL_VERIFY, "The server's certificate could not be verified!"},
    {ERR_HOST_NOT_FOUND, "The host name does not exist!"},
    {ERR_CONNECT_TIMEOUT, "Connection timeout!"},
};

constexpr CodeMessage kProtocolMessages[] = {
    {ERR_HTTP_HEADER, "HTTP Response header error!"},
    {ERR_HTTP_STATUS, "HTTP Status code error!"},
    {ERR_HTTP_CLIENT_ERROR, "The HTTP request contains bad syntax or cannot be fulfilled!"},
    {ERR_HTTP_SERVER_ERROR, "The server failed to fulfill an apparently valid request!"},
    {ERR_HTTP_REDIRECT_PROTOCOL,
     "The request is redirected to an URL that uses different protocol!"},
    {ERR_HTTP_REDIRECT_LOOP, "The server redirects the request in a loop!"},
    {ERR_HTTP_CHUNKED_BODY, "The chunked body of the answer is malformed!"},
    {ERR_HTTP_CONTENT_ENCODING, "The answer is compressed in an encoding that is not supported!"},
    {ERR_HTTP_CONTENT_CORRUPT, "The compressed body of the answer is corrupt!"},
    {ERR_HTTP_BODY_TOO_LARGE, "The decompressed body of the answer is too large!"},
    {ERR_REPLY_NEGATIVE, "The server responds with a negative reply!"},
    {ERR_REPLY_UNEXPECTED, "The server responds with an unexpected reply!"},
    {ERR_REPLY_SYNTAX, "Syntax error in the reply!"},
    {ERR_CLIENT_RULE, "Client rule violation!"},
    {ERR_ROBOTS_DISALLOWED, "The site's robots.txt disallows this URL!"},
};

constexpr CodeMessage kStreamMessages[] = {
    {ERR_FILE_STREAM_OPEN, "Error opening file stream."},
    {ERR_FILE_STREAM_READ, "Error reading data from file stream."},
    {ERR_FILE_STREAM_WRITE, "Error writing data to file stream."},
    {ERR_FILE_STREAM_SEEK, "Error seeking in file stream."},
    {ERR_FILE_STREAM_RESIZE, "Error resizing file stream."},
    {ERR_MEMORY_STREAM_OPEN, "Error opening memory stream."},
    {ERR_MEMORY_STREAM_SEEK, "Error seeking in memory stream."},
    {ERR_MEMORY_STREAM_RESIZE, "Error resizing memory stream."},
    {ERR_STREAM_DATA, "Data error in stream."},
};

constexpr CodeMessage kHtmlMessages[] = {
    {ERR_HTML_ADD_NODE, "Error adding HTML node."},
    {ERR_HTML_ADD_ATTRIBUTE, "Error adding HTML attribute."},
    {ERR_HTML_SET_ATTRIBUTE, "Error setting HTML attribute."},
};

// Not carried by any exception class; the compile dialog shows these.
constexpr CodeMessage kChmMessages[] = {
    {ERR_CHM_NO_FILES, "No file to compile!"},
    {ERR_CHM_LOAD_COMPILER, "Can't load the compiler!"},
    {ERR_CHM_COMPILE, "Error compiling the files!"},
};

template <std::size_t N>
const char* FindMessage(const CodeMessage (&table)[N], ResultCode code) {
    const auto* found =
        std::find_if(std::begin(table), std::end(table),
                     [code](const CodeMessage& entry) { return entry.code == code; });
    return found == std::end(table) ? nullptr : found->message;
}

constexpr unsigned kSmallMessageBuffer = 64;
constexpr unsigned kProtocolMessageBuffer = 128;

}  // namespace

const char* CException::what() const noexcept {
    const char* message = GetResultMessage(m_code);
    return *message ? message : "Unknown error";
}

bool CException::CopyMessage(const char* message, unsigned bufferSize, char* buffer,
                             unsigned capacity) {
    if (message == nullptr) {
        return false;
    }
    if (capacity == 0) {
        return true;
    }
    // The class formats into a buffer of its own first, so a message never
    // exceeds that buffer's size either.
    std::size_t length = std::min<std::size_t>(std::strlen(message), bufferSize - 1);
    length = std::min<std::size_t>(length, capacity - 1);
    std::memcpy(buffer, message, length);
    buffer[length] = '\0';
    return true;
}

bool CSocketException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    return CopyMessage(FindMessage(kSocketMessages, GetCode()), kSmallMessageBuffer, buffer,
                       capacity);
}

bool CProtocolException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    return CopyMessage(FindMessage(kProtocolMessages, GetCode()), kProtocolMessageBuffer, buffer,
                       capacity);
}

bool CStreamException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    const char* message = FindMessage(kStreamMessages, GetCode());
    return CopyMessage(message ? message : "", kSmallMessageBuffer, buffer, capacity);
}

bool CHtmlException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    return CopyMessage(FindMessage(kHtmlMessages, GetCode()), kSmallMessageBuffer, buffer,
                       capacity);
}

void ThrowSocketException(ResultCode code) {
    throw CSocketException(code);
}
void ThrowProtocolException(ResultCode code) {
    throw CProtocolException(code);
}
void ThrowStreamException(ResultCode code) {
    throw CStreamException(code);
}
void ThrowHtmlException(ResultCode code) {
    throw CHtmlException(code);
}

void ThrowReplyException(unsigned replyCode) {
    ThrowProtocolException(replyCode >= 400 && replyCode <= 599 ? ERR_REPLY_NEGATIVE
                                                                : ERR_REPLY_UNEXPECTED);
}

const char* GetResultMessage(ResultCode code) {
    for (const char* message :
         {FindMessage(kSocketMessages, code), FindMessage(kProtocolMessages, code),
          FindMessage(kStreamMessages, code), FindMessage(kHtmlMessages, code),
          FindMessage(kChmMessages, code)}) {
        if (message != nullptr) {
            return message;
        }
    }
    return "";
}
