#include "protocol/http_client.h"

#include <algorithm>
#include <ctime>
#include <new>

#include "base/stream.h"
#include "net/ssl_socket.h"
#include "protocol/auth_challenge.h"
#include "protocol/content_decoder.h"
#include "protocol/header_text.h"
#include "protocol/http_date.h"

namespace {

constexpr const char* kProtocolVersion = "HTTP/1.1";

int ParseStatusCode(std::string_view statusLine) {
    const std::size_t first = statusLine.find(' ');
    if (first == std::string_view::npos || first == 0) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    const std::size_t second = statusLine.find(' ', first + 1);
    if (second == std::string_view::npos) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    const auto code = ReadDecimal(statusLine.substr(first + 1, second - first - 1));
    if (!code) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    return *code;
}

// RFC 9110 has the client skip 1xx answers; 101 would switch protocols,
// which the client never asks for, so it is judged as a final answer.
bool IsInterimAnswer(std::string_view head) {
    const int status = ParseStatusCode(head.substr(0, head.find("\r\n")));
    return status >= 100 && status <= 199 && status != 101;
}

}  // namespace

ResultCode CHttpClient::Request(HttpMethod method, bool close) {
    StartRequest();
    ResultCode result = ERR_SUCCESS;
    try {
        RunPasses(method, close);
        const bool hasBody = HasBody(method);
        if (hasBody) {
            CheckBodyFraming();
            CheckContentCoding();
        }
        // A HEAD or 304 answer has no body: bytes behind it would be taken
        // for the head of the next answer on this connection.
        m_closeAfter = close || (!hasBody && HasPendingInput());
        m_bodyPending = hasBody;
        return ERR_SUCCESS;
    } catch (const CSocketException& error) {
        result = error.GetCode();
    } catch (const CProtocolException& error) {
        result = error.GetCode();
    } catch (const std::bad_alloc&) {
        result = ERR_NOT_ENOUGH_MEMORY;
    }
    NoteFailure();
    const bool keep = !close && IsErrorAnswer(result) && SkipErrorBody(method);
    NoteRetryAfter();
    m_responseHeaders.ClearAll();
    m_closeAfter = !keep;
    return result;
}

bool CHttpClient::HasBody(HttpMethod method) const {
    return method != METHOD_HEAD && m_status != 304;
}

// A request that failed before any answer names the URL it failed on, so
// that the user sees the https URL whose certificate was refused, not the
// http one that redirected there.
void CHttpClient::NoteFailure() {
    if (!m_responseInfo.valid) {
        m_responseInfo.url = m_currentUrl;
    }
    m_responseInfo.failureReason = ConnectionFailureReason();
}

void CHttpClient::StartRequest() {
    m_currentUrl = m_requestInfo.url;
    m_status = 0;
    m_retryAfterMs = 0;
    m_responseHeaders.ClearAll();
    m_responseInfo.Clear();
    m_redirectUrl.Clear();
    m_closeAfter = false;
    m_bodyPending = false;
    m_serverCloses = false;
    m_ambiguousFraming = false;
    m_contentCoding = CContentDecoder::Coding::kIdentity;
    StartTransferClock();
    m_siteChallenge = CAuthChallenge();
    m_proxyChallenge = CAuthChallenge();
    m_proxyNonceCount = 0;
    m_siteTried = false;
    m_proxyTried = false;
}

void CHttpClient::RunPasses(HttpMethod method, bool close) {
    int redirects = 0;
    for (;;) {
        const std::string target = RequestTarget();
        PrepareCredentials(method, target);
        ParseResponseHead(Exchange(method, target, BuildHeaderBlock(method, close)));
        NoteSiteAnswer();
        switch (EvaluateStatus(method)) {
            case PassOutcome::kDone:
                return;
            case PassOutcome::kRedirect:
                FollowRedirect(redirects);
                break;
            case PassOutcome::kSiteChallenge:
                AnswerSiteChallenge();
                break;
            case PassOutcome::kProxyChallenge:
                AnswerProxyChallenge();
                break;
        }
        EndPass();
    }
}

// The intermediate response's body is never read, so its connection cannot
// carry the next pass.
void CHttpClient::EndPass() {
    m_closeAfter = true;
    Notify(EVT_HTTP_FINISHED);
    Close();
    m_responseHeaders.ClearAll();
    m_closeAfter = false;
    m_status = 0;
}

// A server may close a kept connection while it idles; the request then
// meets the close before any answer. Such a request is sent once more on a
// new connection, which is safe for the methods that the client uses.
std::string CHttpClient::Exchange(HttpMethod method, const std::string& target,
                                  const std::string& headers) {
    const CSocketAddress address = ServerAddress();
    const bool reused = IsConnected() && GetCurrentAddress() == address;
    if (!reused) {
        ConnectTo(address);
    }
    std::string block;
    try {
        SendAndReadHead(method, target, headers, block);
    } catch (const CSocketException& error) {
        if (!reused || !block.empty() || error.GetCode() == ERR_SOCKET_LOCAL_CLOSED ||
            error.GetCode() == ERR_SOCKET_TIMEOUT) {
            throw;
        }
        LimitSocketTo(GetTransferDeadline());
        ConnectTo(address);
        SendAndReadHead(method, target, headers, block);
    }
    LimitSocketTo(GetTransferDeadline());
    return block;
}

// Connecting has its own time-out; the head's time starts with the request.
void CHttpClient::SendAndReadHead(HttpMethod method, const std::string& target,
                                  const std::string& headers, std::string& block) {
    LimitSocketTo(HeadDeadline());
    SendRequest(method, target, headers);
    for (int interim = 0;; ++interim) {
        ReadHeaderBlock(block);
        if (!block.ends_with("\r\n\r\n") || !IsInterimAnswer(block)) {
            return;
        }
        if (interim == kMaxInterimAnswers) {
            ThrowProtocolException(ERR_HTTP_STATUS);
        }
    }
}

CSocketAddress CHttpClient::ServerAddress() const {
    if (m_requestInfo.UsesProxy()) {
        return m_requestInfo.proxy;
    }
    const int port = m_currentUrl.GetPort();
    return CSocketAddress(m_currentUrl.GetHost(), port != 0 ? port : m_currentUrl.GetDefaultPort());
}

// A fragment names a place inside the resource and never goes on the wire:
// servers such as apache answer 400 to a target that holds one. Elsewhere in
// the printed form a "#" is escaped, so the first one starts the fragment.
std::string CHttpClient::RequestTarget() const {
    if (m_requestInfo.UsesProxy()) {
        const std::string url = m_currentUrl.GetUrl();
        return url.substr(0, url.find('#'));
    }
    const std::string target = m_currentUrl.GetEscapedPath() + m_currentUrl.GetEscapedQuery();
    return target.empty() ? "/" : target;
}

std::string CHttpClient::BuildHeaderBlock(HttpMethod method, bool close) const {
    CHttpHeaders headers;
    AddConditions(headers, method);
    headers.SetHost(m_currentUrl.GetHost(), m_currentUrl.GetPort());
    headers.SetAuthorization(IsOnSiteServer() ? m_siteCredentials : CAuthCredentials());
    headers.SetProxyAuthorization(m_proxyCredentials);
    headers.SetUserAgent(m_requestInfo.userAgent);
    headers.SetConnectionClose(close);
    headers.SetRange(m_requestInfo.rangeFrom, m_requestInfo.rangeTo, m_requestInfo.rangeKind);
    if (IsOnSiteServer()) {
        AddSiteHeaders(headers);
    }
    if (m_cookieJar != nullptr) {
        headers.AddLine("Cookie", m_cookieJar->HeaderFor(m_currentUrl, std::time(nullptr)));
    }
    return headers.FormatHeaderBlock();
}

// A HEAD asks for no coding, so that its Content-Length is the size of the
// file that the GET saves once decoded, which the filters' limits judge.
void CHttpClient::AddConditions(CHttpHeaders& headers, HttpMethod method) const {
    if (method != METHOD_GET) {
        return;
    }
    const bool whole = m_requestInfo.rangeKind == RANGE_NONE;
    headers.SetValue(HEADER_ACCEPT_ENCODING, whole ? kAcceptedCodings : "identity");
    if (IsConditional(method)) {
        headers.SetValue(HEADER_IF_MODIFIED_SINCE, FormatHttpDate(m_requestInfo.ifModifiedSince));
    }
}

bool CHttpClient::IsConditional(HttpMethod method) const {
    return method == METHOD_GET && m_requestInfo.rangeKind == RANGE_NONE &&
           m_requestInfo.ifModifiedSince >= 0;
}

void CHttpClient::AddSiteHeaders(CHttpHeaders& headers) const {
    for (const auto& [name, value] : m_requestInfo.siteHeaders) {
        const int index = FindHeaderIndex(name);
        // A line break would let the value add lines of its own.
        if (value.find_first_of("\r\n") != std::string::npos) {
            continue;
        }
        if (index >= 0) {
            headers.SetValue(index, value);
        } else {
            headers.AddLine(name, value);
        }
    }
}

void CHttpClient::SendRequest(HttpMethod method, const std::string& target,
                              const std::string& headers) {
    Send(std::string(GetMethodText(method)) + " " + target + " " + kProtocolVersion + "\r\n" +
         headers + "\r\n");
    Notify(EVT_HTTP_REQUEST_SENT, headers);
}

void CHttpClient::ParseResponseHead(std::string_view block) {
    // A head without its blank line did not fit.
    if (!block.ends_with("\r\n\r\n")) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    const std::size_t lineEnd = block.find("\r\n");
    if (lineEnd == std::string_view::npos || lineEnd == 0 || lineEnd + 2 == block.size()) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    const std::string_view statusLine = block.substr(0, lineEnd);
    const std::string_view headerText = block.substr(lineEnd + 2);
    m_status = ParseStatusCode(statusLine);
    Notify(EVT_HTTP_RESPONSE_HEADERS, headerText);
    m_responseHeaders.ParseHeaderBlock(headerText);
    if (m_cookieJar != nullptr) {
        m_cookieJar->Store(m_currentUrl, m_responseHeaders.GetSetCookies(), std::time(nullptr));
    }
    if (!m_responseHeaders.HasAnyHeader()) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    // An HTTP/1.0 server closes the connection after its answer unless it
    // says that it keeps it.
    m_serverCloses = statusLine.starts_with("HTTP/1.0 ") &&
                     !EqualsIgnoreCase(m_responseHeaders.GetValue(HEADER_CONNECTION), "keep-alive");
    FillResponseInfo();
}

void CHttpClient::FillResponseInfo() {
    m_responseInfo.Clear();
    m_responseInfo.valid = true;
    m_responseInfo.url = m_currentUrl;
    m_responseInfo.status = m_status;
    // RFC 9112: a transfer coding overrides any Content-Length.
    const bool coded = !m_responseHeaders.GetValue(HEADER_TRANSFER_ENCODING).empty();
    m_responseInfo.modificationTimeKnown =
        m_responseHeaders.GetLastModified(m_responseInfo.modificationTime);
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t length = 0;
    if (m_responseHeaders.GetContentRange(first, last, length)) {
        m_responseInfo.contentLengthKnown = length != 0;
    } else if (!coded) {
        m_responseInfo.contentLengthKnown = m_responseHeaders.GetContentLength(length);
    }
    m_responseInfo.contentLength = m_responseInfo.contentLengthKnown ? length : 0;
    ContentTypeCode type = CONTENT_TYPE_OTHER;
    m_responseInfo.contentTypeKnown = m_responseHeaders.GetContentType(type);
    m_responseInfo.contentType = type;
    m_responseInfo.charset = m_responseHeaders.GetCharset();
    m_responseInfo.contentCoded =
        CContentDecoder::ParseCoding(m_responseHeaders.GetValue(HEADER_CONTENT_ENCODING)) !=
        CContentDecoder::Coding::kIdentity;
}

// RFC 9112 section 6.3: without a transfer coding, a Content-Length that is
// not one number (two different values, in one line or in two) leaves the
// body's end unknown, and the answer is refused before anything is written.
void CHttpClient::CheckBodyFraming() {
    if (m_responseHeaders.GetValue(HEADER_CONTENT_LENGTH).empty()) {
        return;
    }
    TransferCoding coding = TRANSFER_CODING_OTHER;
    if (m_responseHeaders.GetTransferCoding(coding)) {
        m_ambiguousFraming = true;
        return;
    }
    std::int32_t length = 0;
    if (!m_responseHeaders.GetContentLength(length)) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
}

// A body in a coding that cannot be undone would be saved as bytes that no
// reader of the file can use, so the answer is refused before any is written.
void CHttpClient::CheckContentCoding() {
    const auto coding =
        CContentDecoder::ParseCoding(m_responseHeaders.GetValue(HEADER_CONTENT_ENCODING));
    if (!coding) {
        ThrowProtocolException(ERR_HTTP_CONTENT_ENCODING);
    }
    m_contentCoding = *coding;
}

CHttpClient::PassOutcome CHttpClient::EvaluateStatus(HttpMethod method) const {
    if (m_status == 200 || m_status == 206) {
        return PassOutcome::kDone;
    }
    // Only a conditional request can be told that nothing changed; to any
    // other, 304 is a redirect without a target.
    if (m_status == 304 && IsConditional(method)) {
        return PassOutcome::kDone;
    }
    // 308 is 301 that keeps the method, as 307 is to 302; the client asks
    // with GET and HEAD only, so all four are followed alike.
    if (m_status >= 300 && m_status <= 308) {
        return PassOutcome::kRedirect;
    }
    if (m_status == 401) {
        return PassOutcome::kSiteChallenge;
    }
    if (m_status == 407) {
        return PassOutcome::kProxyChallenge;
    }
    if (m_status >= 400 && m_status <= 499) {
        ThrowProtocolException(ERR_HTTP_CLIENT_ERROR);
    }
    if (m_status >= 500 && m_status <= 599) {
        ThrowProtocolException(ERR_HTTP_SERVER_ERROR);
    }
    ThrowProtocolException(ERR_HTTP_STATUS);
}

void CHttpClient::NoteRetryAfter() {
    std::int64_t seconds = 0;
    if ((m_status == 429 || m_status == 503) &&
        m_responseHeaders.GetRetryAfter(std::time(nullptr), seconds)) {
        m_retryAfterMs =
            static_cast<std::uint32_t>(std::min(seconds, kMaxRetryAfterSeconds)) * 1000;
    }
}

bool CHttpClient::IsErrorAnswer(ResultCode result) const {
    return (result == ERR_HTTP_CLIENT_ERROR || result == ERR_HTTP_SERVER_ERROR) &&
           m_status >= 400 && m_status <= 599;
}

// A site with many broken links must not cost a connection, and over TLS a
// handshake, per link: a short error body is read and dropped so that the
// connection carries the next request. One that is long, or whose end only
// the server's close would show, is not worth the wait.
bool CHttpClient::SkipErrorBody(HttpMethod method) {
    if (m_serverCloses || m_responseHeaders.IsConnectionClose()) {
        return false;
    }
    if (method == METHOD_HEAD) {
        return !HasPendingInput();
    }
    if (!HasShortBody()) {
        return false;
    }
    m_contentCoding = CContentDecoder::Coding::kIdentity;
    m_bodyLimit = kMaxSkippedBodySize;
    std::uint32_t received = 0;
    const bool read = ReadBody(nullptr, received) == ERR_SUCCESS;
    m_bodyLimit = kMaxBodySize;
    return read;
}

// Chunks are counted as they come, so a chunked body qualifies until it
// outgrows the limit.
bool CHttpClient::HasShortBody() const {
    const bool hasLength = !m_responseHeaders.GetValue(HEADER_CONTENT_LENGTH).empty();
    TransferCoding coding = TRANSFER_CODING_OTHER;
    if (m_responseHeaders.GetTransferCoding(coding)) {
        return coding == TRANSFER_CODING_CHUNKED && !hasLength;
    }
    std::int32_t length = 0;
    return hasLength && m_responseHeaders.GetContentLength(length) &&
           static_cast<std::uint32_t>(length) <= kMaxSkippedBodySize;
}

void CHttpClient::FollowRedirect(int& redirects) {
    const std::string& location = m_responseHeaders.GetLocation();
    CUrl next;
    if (location.empty() ||
        (!next.Parse(location) && !next.ResolveRelative(m_currentUrl.GetSourceText(), location))) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    if (redirects == kMaxRedirects) {
        ThrowProtocolException(ERR_HTTP_REDIRECT_LOOP);
    }
    ++redirects;
    Notify(EVT_HTTP_REDIRECT, next.GetSourceText());
    if (next.GetScheme() != m_requestInfo.url.GetScheme()) {
        m_redirectUrl = next;
        ThrowProtocolException(ERR_HTTP_REDIRECT_PROTOCOL);
    }
    m_currentUrl = next;
}

void CHttpClient::AnswerSiteChallenge() {
    CAuthChallenge challenge;
    m_responseHeaders.GetWwwChallenge(challenge);
    if (m_siteTried || !IsOnSiteServer() ||
        (m_requestInfo.user.empty() && m_requestInfo.password.empty()) ||
        challenge.scheme == AUTH_SCHEME_UNKNOWN) {
        ThrowProtocolException(ERR_HTTP_CLIENT_ERROR);
    }
    m_siteChallenge = challenge;
    m_siteTried = true;
}

// The site's password is for the server that the request was meant for; a
// redirect elsewhere must not hand it to another host.
bool CHttpClient::IsOnSiteServer() const {
    return IsSameServer(m_currentUrl, m_requestInfo.url);
}

void CHttpClient::AnswerProxyChallenge() {
    CAuthChallenge challenge;
    m_responseHeaders.GetProxyChallenge(challenge);
    if (m_proxyTried || !m_requestInfo.UsesProxy() ||
        (m_requestInfo.proxyUser.empty() && m_requestInfo.proxyPassword.empty()) ||
        challenge.scheme == AUTH_SCHEME_UNKNOWN) {
        ThrowProtocolException(ERR_HTTP_CLIENT_ERROR);
    }
    m_proxyChallenge = challenge;
    m_proxyTried = true;
}

// Each pass gets credentials of its own: a Digest answer names the pass's
// target and counts its use of the nonce.
void CHttpClient::PrepareCredentials(HttpMethod method, const std::string& target) {
    PrepareSiteCredentials(method, target);
    m_proxyCredentials = CAuthCredentials();
    if (m_proxyTried) {
        BuildCredentials(m_proxyChallenge, method, target, m_requestInfo.proxyUser,
                         m_requestInfo.proxyPassword, ++m_proxyNonceCount, m_proxyCredentials);
    }
}

void CHttpClient::PrepareSiteCredentials(HttpMethod method, const std::string& target) {
    m_siteCredentials = CAuthCredentials();
    m_sentChallenge = CAuthChallenge();
    if (!IsOnSiteServer() || (m_requestInfo.user.empty() && m_requestInfo.password.empty())) {
        return;
    }
    if (m_siteTried) {
        m_sentChallenge = m_siteChallenge;
        m_sentNonceCount = m_spaces->NextNonceCount(m_currentUrl, m_siteChallenge.nonce);
    } else if (const auto match = m_spaces->Find(m_currentUrl)) {
        m_sentChallenge = match->challenge;
        m_sentNonceCount = match->nonceCount;
    } else {
        return;
    }
    BuildCredentials(m_sentChallenge, method, target, m_requestInfo.user, m_requestInfo.password,
                     m_sentNonceCount, m_siteCredentials);
}

void CHttpClient::NoteSiteAnswer() {
    if (m_siteCredentials.scheme != AUTH_SCHEME_UNKNOWN && m_status != 401 && m_status != 407) {
        m_spaces->Accept(m_currentUrl, m_sentChallenge, m_sentNonceCount);
    }
}

ResultCode CHttpClient::ReadBody(CStream* stream, std::uint32_t& received) {
    received = 0;
    m_bodyPending = false;
    ResultCode result = ERR_SUCCESS;
    try {
        m_receiveBuffer = std::make_unique<char[]>(kReceiveBufferSize);
        if (stream != nullptr && m_contentCoding != CContentDecoder::Coding::kIdentity) {
            m_decoder = std::make_unique<CContentDecoder>(m_contentCoding, *stream, kMaxBodySize);
        }
        ReadBodyBytes(stream, received);
        if (m_decoder) {
            m_decoder->Finish();
        }
    } catch (const CSocketException& error) {
        result = error.GetCode();
    } catch (const CStreamException& error) {
        result = error.GetCode();
    } catch (const CProtocolException& error) {
        result = error.GetCode();
    } catch (const std::bad_alloc&) {
        result = ERR_NOT_ENOUGH_MEMORY;
    }
    m_receiveBuffer.reset();
    m_decoder.reset();
    if (stream != nullptr) {
        try {
            stream->Flush();
        } catch (const CStreamException& error) {
            result = result != ERR_SUCCESS ? result : error.GetCode();
        }
    }
    if (result != ERR_SUCCESS) {
        m_closeAfter = true;
    }
    return result;
}

void CHttpClient::ReadBodyBytes(CStream* stream, std::uint32_t& received) {
    // Whatever its head says, a 304 ends there (RFC 9112 section 6.3).
    if (m_status == 304) {
        return;
    }
    if (m_status == 206) {
        ReadRange(stream, received);
        return;
    }
    TransferCoding coding = TRANSFER_CODING_OTHER;
    if (!m_responseHeaders.GetTransferCoding(coding)) {
        if (m_responseHeaders.GetValue(HEADER_CONTENT_LENGTH).empty()) {
            ReadToEnd(stream, received);
            return;
        }
        std::int32_t length = 0;
        if (!m_responseHeaders.GetContentLength(length)) {
            ThrowProtocolException(ERR_HTTP_HEADER);
        }
        ReadKnownLength(stream, static_cast<std::uint32_t>(length), received);
    } else if (coding == TRANSFER_CODING_CHUNKED) {
        ReadChunked(stream, received);
    } else {
        // A body in a coding that is not read must not be taken for the next
        // response on this connection.
        m_closeAfter = true;
    }
}

void CHttpClient::ReadRange(CStream* stream, std::uint32_t& received) {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t total = 0;
    // Without a usable range the body's length and place are unknown. A
    // range that ends at the last 32-bit position makes a file one byte
    // longer than its count can say.
    if (!m_responseHeaders.GetContentRange(first, last, total) ||
        static_cast<std::uint32_t>(last) >= kMaxBodySize) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    Notify(EVT_HTTP_RANGE_START, static_cast<std::uint32_t>(first));
    ReadKnownLength(stream, static_cast<std::uint32_t>(last - first) + 1, received);
}

void CHttpClient::ReadKnownLength(CStream* stream, std::uint32_t length, std::uint32_t& received) {
    if (stream != nullptr) {
        Notify(EVT_HTTP_BODY_LENGTH, length);
    }
    CopyBytes(stream, length, received);
}

void CHttpClient::ReadToEnd(CStream* stream, std::uint32_t& received) {
    if (stream != nullptr) {
        Notify(EVT_HTTP_BODY_LENGTH, 0u);
    }
    m_closeAfter = true;
    for (;;) {
        std::uint32_t count = 0;
        try {
            Receive(m_receiveBuffer.get(), kReceiveBufferSize, count);
        } catch (const CSocketException& error) {
            if (error.GetCode() != ERR_SOCKET_REMOTE_CLOSED) {
                throw;
            }
            Deliver(stream, count, received);
            return;
        }
        Deliver(stream, count, received);
    }
}

void CHttpClient::ReadChunked(CStream* stream, std::uint32_t& received) {
    for (std::uint32_t size = ReadChunkSize(); size != 0; size = ReadChunkSize()) {
        if (stream != nullptr) {
            Notify(EVT_HTTP_CHUNK_START, size);
        }
        CopyBytes(stream, size, received);
        Notify(EVT_HTTP_CHUNK_END);
        ReadChunkEnd();
    }
    SkipTrailer();
}

// The size is hexadecimal up to the first other character, so extensions
// after ";" are ignored. A size that is missing, negative or beyond the
// 32-bit count is refused before anything is read for it.
std::uint32_t CHttpClient::ReadChunkSize() {
    std::string line;
    ReadLine(line);
    if (!line.ends_with("\r\n")) {
        ThrowProtocolException(ERR_HTTP_CHUNKED_BODY);
    }
    const auto size = ReadHexadecimal(line);
    if (!size) {
        ThrowProtocolException(ERR_HTTP_CHUNKED_BODY);
    }
    return static_cast<std::uint32_t>(*size);
}

// Anything but the line end after the data means the size was wrong, and
// what was written is not the body that the server meant.
void CHttpClient::ReadChunkEnd() {
    std::string line;
    ReadLine(line);
    if (line != "\r\n") {
        ThrowProtocolException(ERR_HTTP_CHUNKED_BODY);
    }
}

// Trailer fields are not used, but they must not stay on the connection.
// They get no more room than a head, or a server could feed lines for ever.
void CHttpClient::SkipTrailer() {
    std::string line;
    std::size_t size = 0;
    do {
        ReadLine(line);
        size += line.size();
        if (size > kMaxHeadSize) {
            ThrowProtocolException(ERR_HTTP_CHUNKED_BODY);
        }
    } while (line != "\r\n");
}

void CHttpClient::CopyBytes(CStream* stream, std::uint32_t length, std::uint32_t& received) {
    while (length > 0) {
        std::uint32_t count = 0;
        try {
            Receive(m_receiveBuffer.get(), std::min(length, kReceiveBufferSize), count);
        } catch (const CSocketException&) {
            // What did arrive is kept, so that a resumed download starts after it.
            Deliver(stream, count, received);
            throw;
        }
        Deliver(stream, count, received);
        length -= count;
    }
}

// The count is of the bytes as they came; a decoder bounds what they decode to.
void CHttpClient::Deliver(CStream* stream, std::uint32_t length, std::uint32_t& received) {
    if (length > m_bodyLimit - received) {
        ThrowProtocolException(ERR_HTTP_HEADER);
    }
    if (m_decoder) {
        m_decoder->Write(m_receiveBuffer.get(), length);
    } else if (stream != nullptr && length > 0) {
        stream->Write(m_receiveBuffer.get(), length);
    }
    received += length;
}

void CHttpClient::Finish() {
    Notify(EVT_HTTP_FINISHED);
    if (m_closeAfter || m_bodyPending || m_serverCloses || m_ambiguousFraming ||
        m_responseHeaders.IsConnectionClose()) {
        Close();
    }
    StopTransferClock();
    m_responseHeaders.ClearAll();
    m_closeAfter = false;
    m_bodyPending = false;
    m_serverCloses = false;
    m_ambiguousFraming = false;
    m_contentCoding = CContentDecoder::Coding::kIdentity;
    m_status = 0;
}

std::unique_ptr<CEventSocket> CHttpsClient::CreateSocket() {
    auto socket = std::make_unique<CSslSocket>(m_verifyCertificates);
    m_sslSocket = socket.get();
    return socket;
}

std::string CHttpsClient::ConnectionFailureReason() const {
    return m_sslSocket != nullptr ? m_sslSocket->GetFailureReason() : std::string();
}
