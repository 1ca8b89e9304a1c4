// HTTP/1.1 client for one worker thread: sends HEAD and GET requests directly
// or through a proxy, follows redirects within its scheme, answers Basic and
// Digest challenges, and streams the body into a caller's stream. A
// connection left open by one exchange is reused by the next one to the same
// server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/url.h"
#include "protocol/auth_credentials.h"
#include "protocol/content_decoder.h"
#include "protocol/cookie_jar.h"
#include "protocol/http_headers.h"
#include "protocol/http_method.h"
#include "protocol/http_request_info.h"
#include "protocol/protection_spaces.h"
#include "protocol/protocol_client.h"
#include "protocol/response_info.h"

class CSslSocket;
class CStream;

// Progress events raised through the client's sink (source 0).
enum : std::uint32_t {
    EVT_HTTP_REQUEST_SENT = 513,      // text: the request's header lines
    EVT_HTTP_RESPONSE_HEADERS = 514,  // text: the response's header lines
    EVT_HTTP_BODY_LENGTH = 515,       // length: the body's length, 0 when it runs to the end
    EVT_HTTP_RANGE_START = 516,       // length: the first byte of partial content
    EVT_HTTP_CHUNK_START = 517,       // length: the chunk's size
    EVT_HTTP_CHUNK_END = 518,
    EVT_HTTP_REDIRECT = 519,  // text: the new URL
    EVT_HTTP_FINISHED = 520,  // an exchange, or a redirect or authentication pass, ended
};

class CHttpClient : public CProtocolClient {
public:
    static constexpr std::uint32_t kReceiveBufferSize = 0x8000;
    // A server that keeps redirecting must not hold a worker for ever.
    static constexpr int kMaxRedirects = 20;
    // Interim (1xx) answers skipped before the final one; a server must not
    // hold a worker with them for ever.
    static constexpr int kMaxInterimAnswers = 10;
    // An error answer's body up to this size is read so that its connection
    // carries the next request; a longer one closes the connection.
    static constexpr std::uint32_t kMaxSkippedBodySize = 0x10000;
    // The longest that a Retry-After is obeyed: a server must not park a
    // crawl for good.
    static constexpr std::int64_t kMaxRetryAfterSeconds = 300;

    void SetRequestInfo(const CHttpRequestInfo& info) { m_requestInfo = info; }
    // The store of accepted protection spaces that this client shares with
    // others (not owned); until then the client keeps its own.
    void UseProtectionSpaces(CProtectionSpaces& spaces) { m_spaces = &spaces; }
    // The crawl's cookies (not owned): every pass, redirects included,
    // sends those that match its URL and keeps those that its answer sets.
    // Without one the client sends and keeps no cookie.
    void UseCookieJar(CCookieJar* jar) { m_cookieJar = jar; }

    // The content codings that a GET for a whole body asks for; a range asks
    // for none, as a part of a coded body cannot be joined to decoded bytes.
    static constexpr const char* kAcceptedCodings = "gzip, deflate";

    // Sends the request and reads the response head, following redirects and
    // answering challenges; the body stays pending, except after a 304 to an
    // "If-Modified-Since", which has none. close asks the server to
    // close the connection after this exchange. Returns 0 or the failure's
    // code (14 for lack of memory). Finish must follow every call.
    ResultCode Request(HttpMethod method, bool close);
    const CResponseInfo& GetResponseInfo() const { return m_responseInfo; }
    // Reads the pending body into stream (null drops it), undoing a gzip or
    // deflate content coding; received counts the body bytes as they came,
    // also on failure.
    ResultCode ReadBody(CStream* stream, std::uint32_t& received);
    // Ends the exchange; the connection stays open for the next request
    // unless this exchange needs it closed.
    void Finish();
    // After ERR_HTTP_REDIRECT_PROTOCOL: the URL for the client of its scheme.
    const CUrl& GetRedirectUrl() const { return m_redirectUrl; }

    int GetStatus() const { return m_status; }
    // After a 429 or 503 answer: the milliseconds its Retry-After asks the
    // client to wait, at most kMaxRetryAfterSeconds; 0 without one.
    std::uint32_t GetRetryAfterMs() const { return m_retryAfterMs; }
    const CHttpHeaders& GetResponseHeaders() const { return m_responseHeaders; }

protected:
    // What the socket knows of why the connection failed; empty when nothing.
    virtual std::string ConnectionFailureReason() const { return {}; }

private:
    enum class PassOutcome { kDone, kRedirect, kSiteChallenge, kProxyChallenge };

    void NoteFailure();

    void StartRequest();
    void RunPasses(HttpMethod method, bool close);
    void EndPass();
    std::string Exchange(HttpMethod method, const std::string& target, const std::string& headers);
    // Sends the request and reads the head of its final answer by the head's deadline.
    void SendAndReadHead(HttpMethod method, const std::string& target, const std::string& headers,
                         std::string& block);
    CSocketAddress ServerAddress() const;
    std::string RequestTarget() const;
    std::string BuildHeaderBlock(HttpMethod method, bool close) const;
    void AddConditions(CHttpHeaders& headers, HttpMethod method) const;
    bool HasBody(HttpMethod method) const;
    void AddSiteHeaders(CHttpHeaders& headers) const;
    void SendRequest(HttpMethod method, const std::string& target, const std::string& headers);
    void ParseResponseHead(std::string_view block);
    // A body's length must be beyond doubt before any of it is written.
    void CheckBodyFraming();
    void CheckContentCoding();
    void FillResponseInfo();
    PassOutcome EvaluateStatus(HttpMethod method) const;
    bool IsConditional(HttpMethod method) const;
    bool IsErrorAnswer(ResultCode result) const;
    void NoteRetryAfter();
    // True when the connection can carry the next request.
    bool SkipErrorBody(HttpMethod method);
    bool HasShortBody() const;
    void FollowRedirect(int& redirects);
    void AnswerSiteChallenge();
    bool IsOnSiteServer() const;
    void AnswerProxyChallenge();
    // The credentials of the next pass: the challenges answered in this
    // request, else, for the site, the protection space of the pass's URL.
    void PrepareCredentials(HttpMethod method, const std::string& target);
    void PrepareSiteCredentials(HttpMethod method, const std::string& target);
    // An answer other than 401 or 407 to site credentials accepts them.
    void NoteSiteAnswer();

    void ReadBodyBytes(CStream* stream, std::uint32_t& received);
    void ReadRange(CStream* stream, std::uint32_t& received);
    void ReadKnownLength(CStream* stream, std::uint32_t length, std::uint32_t& received);
    void ReadToEnd(CStream* stream, std::uint32_t& received);
    void ReadChunked(CStream* stream, std::uint32_t& received);
    std::uint32_t ReadChunkSize();
    void ReadChunkEnd();
    void SkipTrailer();
    void CopyBytes(CStream* stream, std::uint32_t length, std::uint32_t& received);
    void Deliver(CStream* stream, std::uint32_t length, std::uint32_t& received);

    std::unique_ptr<char[]> m_receiveBuffer;
    std::unique_ptr<CContentDecoder> m_decoder;
    CContentDecoder::Coding m_contentCoding = CContentDecoder::Coding::kIdentity;
    std::uint32_t m_bodyLimit = kMaxBodySize;
    CHttpRequestInfo m_requestInfo;
    bool m_closeAfter = false;
    // A GET's body that nobody read would be taken for the next response.
    bool m_bodyPending = false;
    bool m_serverCloses = false;
    // Transfer-Encoding and Content-Length together: a party on the way may
    // have taken the body to end elsewhere, so the connection is not reused.
    bool m_ambiguousFraming = false;
    int m_status = 0;
    std::uint32_t m_retryAfterMs = 0;
    CHttpHeaders m_responseHeaders;
    CResponseInfo m_responseInfo;
    CUrl m_redirectUrl;

    CCookieJar* m_cookieJar = nullptr;
    CProtectionSpaces m_ownSpaces;
    CProtectionSpaces* m_spaces = &m_ownSpaces;

    // The state of one Request: the URL of the current pass, the challenges
    // answered so far and the credentials that the current pass carries.
    CUrl m_currentUrl;
    CAuthChallenge m_siteChallenge;
    CAuthChallenge m_proxyChallenge;
    std::uint32_t m_proxyNonceCount = 0;
    CAuthCredentials m_siteCredentials;
    CAuthCredentials m_proxyCredentials;
    // What the site credentials of the current pass answer.
    CAuthChallenge m_sentChallenge;
    std::uint32_t m_sentNonceCount = 0;
    bool m_siteTried = false;
    bool m_proxyTried = false;
};

// The same client over TLS, checking server certificates unless told not to.
class CHttpsClient : public CHttpClient {
public:
    explicit CHttpsClient(bool verifyCertificates = true)
        : m_verifyCertificates(verifyCertificates) {}

protected:
    std::unique_ptr<CEventSocket> CreateSocket() override;
    std::string ConnectionFailureReason() const override;

private:
    bool m_verifyCertificates;
    // The socket that CreateSocket made, owned by the base.
    const CSslSocket* m_sslSocket = nullptr;
};
