#include "engine/download_worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <utility>

#include "base/ascii.h"
#include "base/file_stream.h"
#include "engine/crawl_shares.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"
#include "engine/robots_directives.h"
#include "html/link_extractor.h"
#include "html/page_budget.h"
#include "protocol/ftp_client.h"
#include "protocol/header_text.h"
#include "protocol/http_client.h"

namespace {

// The most of a robots.txt that is read; RFC 9309 asks for 500 KiB at least.
constexpr std::size_t kMaxRobotsSize = 512 * 1024;
// The most of a page that is searched for its meta robots element, which
// belongs in its head.
constexpr std::size_t kMaxMetaSearch = 256 * 1024;

// Keeps the start of a body in memory, dropping what goes beyond the limit.
class CBoundedTextStream : public CStream {
public:
    explicit CBoundedTextStream(std::size_t limit) : m_limit(limit) {}
    const std::string& Text() const { return m_text; }

    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t kept = std::min(count, m_limit - m_text.size());
        m_text.append(static_cast<const char*>(buffer), kept);
        return count;
    }
    bool ReadByte(std::uint8_t&) override { return false; }
    bool WriteByte(std::uint8_t byte) override {
        const char c = static_cast<char>(byte);
        return Write(&c, 1) == 1;
    }
    bool Seek(std::int64_t, int) override { return false; }
    std::int64_t GetPosition() override { return static_cast<std::int64_t>(m_text.size()); }
    void Flush() override {}
    std::int64_t GetLength() override { return static_cast<std::int64_t>(m_text.size()); }
    void SetLength(std::int64_t) override {}

private:
    std::size_t m_limit;
    std::string m_text;
};

// The address an anonymous FTP login gives as its password.
constexpr const char* kAnonymousPassword = "tarnwick@localhost";
constexpr std::int32_t kHtmlContentType = 3;
constexpr std::int32_t kCssContentType = 1;

// Passes a body on to the output file and counts every write into the task
// at once, so that a project saved while the body arrives records how far it
// got, not where the attempt began.
class CCountingStream : public CStream {
public:
    CCountingStream(CStream& target, std::function<void(std::uint32_t)> count)
        : m_target(target), m_count(std::move(count)) {}

    std::size_t Read(void* buffer, std::size_t count) override {
        return m_target.Read(buffer, count);
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t written = m_target.Write(buffer, count);
        m_count(static_cast<std::uint32_t>(written));
        return written;
    }
    bool ReadByte(std::uint8_t& byte) override { return m_target.ReadByte(byte); }
    bool WriteByte(std::uint8_t byte) override {
        const bool written = m_target.WriteByte(byte);
        m_count(written ? 1 : 0);
        return written;
    }
    bool Seek(std::int64_t offset, int origin) override { return m_target.Seek(offset, origin); }
    std::int64_t GetPosition() override { return m_target.GetPosition(); }
    void Flush() override { m_target.Flush(); }
    std::int64_t GetLength() override { return m_target.GetLength(); }
    void SetLength(std::int64_t length) override { m_target.SetLength(length); }

private:
    CStream& m_target;
    std::function<void(std::uint32_t)> m_count;
};

// The result of an open that failed without a stream code.
ResultCode LastSystemError() {
    return errno != 0 ? static_cast<ResultCode>(errno) : ERR_FILE_STREAM_OPEN;
}

// The length of a coded body is not the size of the file that it decodes
// to: until the body is decoded, the filters' limits have no size to judge.
CResponseInfo WithFileSize(const CResponseInfo& response) {
    CResponseInfo judged = response;
    if (judged.contentCoded) {
        judged.contentLength = 0;
        judged.contentLengthKnown = false;
    }
    return judged;
}

// Distinct names tried for a URL whose plain name another URL owns, before
// the URL fails rather than take a file that is not its own.
constexpr unsigned kMaxDistinctions = 16;

// A response whose type says HTML, or, when it has no type, whose name does.
bool IsPageResponse(const CResponseInfo& response) {
    if (response.contentTypeKnown) {
        return response.contentType == kHtmlContentType;
    }
    return IsHtmlExtension(response.url.GetFileExtension());
}

}  // namespace

CDownloadWorker::CDownloadWorker(CProjectSettings& project)
    : m_project(project), m_mapping(CFilePath(project.GetDownloadFolder())) {}

CDownloadWorker::~CDownloadWorker() = default;

bool CDownloadWorker::Setup(const Timeouts& timeouts, const CProgramOptions& options,
                            CFileStream* output, CProgressNotifier* notifier) {
    try {
        m_linkExtractor = std::make_unique<CLinkExtractor>(m_project.GetRules());
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::scoped_lock lock(m_lock);
    m_notifier = notifier;
    SetEventSink(notifier);
    m_taskEvent.Reset();
    m_output = output;
    m_timeouts = timeouts;
    m_options = options;
    m_linkExtractor->SetPageRequisites(m_options.GetPageRequisites());
    return true;
}

void CDownloadWorker::Initialize() {
    m_httpClient = std::make_unique<CHttpClient>();
    m_httpsClient = std::make_unique<CHttpsClient>(m_options.GetVerifyCertificates());
    m_ftpClient = std::make_unique<CFtpClient>();
    for (CProtocolClient* client : {static_cast<CProtocolClient*>(m_httpClient.get()),
                                    static_cast<CProtocolClient*>(m_httpsClient.get())}) {
        client->Attach(GetEventSink(), &GetStopEvent());
        client->SetTimeouts(m_timeouts.connectMs, m_timeouts.sendMs, m_timeouts.receiveMs);
        client->SetTransferLimit(m_timeouts.transferMs);
    }
    if (m_protectionSpaces != nullptr) {
        m_httpClient->UseProtectionSpaces(*m_protectionSpaces);
        m_httpsClient->UseProtectionSpaces(*m_protectionSpaces);
    }
    if (m_shares != nullptr) {
        m_httpClient->UseCookieJar(&m_shares->cookies);
        m_httpsClient->UseCookieJar(&m_shares->cookies);
    }
    m_ftpClient->Attach(GetEventSink(), &GetStopEvent());
    m_ftpClient->SetTimeouts(m_timeouts.connectMs, m_timeouts.sendMs, m_timeouts.receiveMs);
    m_ftpClient->SetTransferLimit(m_timeouts.transferMs);
}

ResultCode CDownloadWorker::Finalize() {
    m_httpClient.reset();
    m_httpsClient.reset();
    m_ftpClient.reset();
    return ERR_SUCCESS;
}

void CDownloadWorker::Assign(const CDownloadTask& task) {
    std::scoped_lock lock(m_lock);
    m_task = task;
    m_task.success = false;
    m_task.resultCode = ERR_SUCCESS;
    m_foundLinks = {};
    m_taskEvent.Set();
}

bool CDownloadWorker::HoldsTask() const {
    std::scoped_lock lock(m_lock);
    return m_task.HasUrl();
}

CDownloadTask CDownloadWorker::CopyTask() const {
    std::scoped_lock lock(m_lock);
    return m_task;
}

void CDownloadWorker::ClearTask() {
    std::scoped_lock lock(m_lock);
    m_task.Clear();
    m_foundLinks = {};
}

CFoundLinks CDownloadWorker::TakeFoundLinks() {
    std::scoped_lock lock(m_lock);
    return std::exchange(m_foundLinks, {});
}

void CDownloadWorker::SetBytesReceived(std::int32_t count) {
    std::scoped_lock lock(m_lock);
    m_task.bytesReceived = count;
}

std::int32_t CDownloadWorker::GetKnownModificationTime() const {
    std::scoped_lock lock(m_lock);
    return m_task.knownModificationTime;
}

std::string CDownloadWorker::GetLocalPath() const {
    std::scoped_lock lock(m_lock);
    return m_task.localPath;
}

void CDownloadWorker::AddBytesReceived(std::uint32_t count) {
    std::scoped_lock lock(m_lock);
    m_task.bytesReceived += static_cast<std::int32_t>(count);
}

void CDownloadWorker::SetSavedNames(std::string localUrl, std::string localPath,
                                    std::string storedPath) {
    std::scoped_lock lock(m_lock);
    m_task.localUrl = std::move(localUrl);
    m_task.localPath = std::move(localPath);
    m_task.storedPath = std::move(storedPath);
}

void CDownloadWorker::NotePageWriting() {
    // A page that did not keep its own markup was kept as it was served.
    const PageWriting writing = !m_linkExtractor->KeptOwnMarkup()    ? PageWriting::Unknown
                                : m_linkExtractor->IsOwnMarkupUtf8() ? PageWriting::OwnMarkupUtf8
                                                                     : PageWriting::OwnMarkupAscii;
    std::scoped_lock lock(m_lock);
    m_task.pageWriting = writing;
}

void CDownloadWorker::SetFoundLinks(CFoundLinks links) {
    std::scoped_lock lock(m_lock);
    m_foundLinks = std::move(links);
}

ResultCode CDownloadWorker::Run() {
    const CWaitEvent* const events[] = {&GetStopEvent(), &m_taskEvent};
    while (WaitForAny(events, INFINITE) == WAIT_OBJECT_0 + 1) {
        RunTask();
        FinishTask();
    }
    return ERR_SUCCESS;
}

void CDownloadWorker::RunTask() {
    // A retry count of 0 still means one attempt: no attempt at all would
    // hand back a task that is neither done nor failed, queued for ever.
    const int attempts = std::max(1, m_options.GetRetries());
    m_wroteLocalFile = false;
    ResultCode result = ERR_SUCCESS;
    for (int attempt = 1;; ++attempt) {
        m_httpStatus = 0;
        // An attempt that fails before an answer (a name that does not
        // resolve, a refused connection) has no response of its own; the
        // previous task's would name another URL as the failed one.
        m_response.Clear();
        result = DownloadOnce();
        // A stop ends network waits with ERR_SOCKET_LOCAL_CLOSED; any other
        // failure while a stop is pending (a time-out, a connection the stop
        // cut) is the stop's doing too. Either way the URL is tried again
        // later rather than reported as failed.
        if (result == ERR_SOCKET_LOCAL_CLOSED || (!IsFinal(result) && IsStopRequested())) {
            result = ERR_ATTEMPT_INTERRUPTED;
        }
        RecordAttempt(result);
        // No attempt follows the last one, so nothing is gained by waiting.
        if (IsFinal(result) || attempt >= attempts || !PauseBeforeRetry()) {
            break;
        }
    }
    RemoveCutFile(result);
}

// Only an interrupted task goes back to the queue with its count, and only
// its next attempt continues the body with a range; after any other failure
// the next run starts the body afresh, so the bytes on disk are a cut file.
void CDownloadWorker::RemoveCutFile(ResultCode result) {
    // A range continues the coded bytes, not the decoded ones in the file.
    const bool resumable = result == ERR_ATTEMPT_INTERRUPTED && !m_response.contentCoded;
    if (!m_wroteLocalFile || result == ERR_SUCCESS || resumable || result == ERR_PAGE_NOT_PARSED) {
        return;
    }
    std::scoped_lock lock(m_lock);
    m_mapping.GetFolder().RemoveFile(m_task.localPath);
    m_task.bytesReceived = 0;
    m_task.fileRemoved = true;
}

bool CDownloadWorker::PauseBeforeRetry() {
    return WaitForStop(kRetryPauseMs) != WAIT_OBJECT_0;
}

// Lack of memory is not retried: an attempt soon after meets the same
// shortage, and once a page's body is on disk it would only ask the server
// for the bytes after its end.
bool CDownloadWorker::IsFinal(ResultCode result) const {
    // A redirect that ends in a scheme no client fetches is the server's
    // answer, not a passing fault.
    return result == ERR_SUCCESS || result == ERR_ATTEMPT_INTERRUPTED ||
           result == ERR_CLIENT_RULE || result == ERR_ROBOTS_DISALLOWED ||
           result == ERR_PAGE_NOT_PARSED || result == ERR_NOT_MODIFIED ||
           result == ERR_HTTP_REDIRECT_PROTOCOL || result == ERR_NOT_ENOUGH_MEMORY ||
           result == ERR_UNSAFE_LOCAL_PATH || IsFinalHttpAnswer(result) ||
           IsUnchangingFailure(result);
}

// Neither a name that does not exist, nor a certificate that does not
// verify, nor a loop of redirects, nor a coding the client cannot decode,
// nor a local file that cannot be written turns out differently two seconds
// later; retrying would only multiply the requests.
bool CDownloadWorker::IsUnchangingFailure(ResultCode result) {
    return result == ERR_HOST_NOT_FOUND || result == ERR_SSL_VERIFY ||
           result == ERR_HTTP_REDIRECT_LOOP || result == ERR_HTTP_CONTENT_ENCODING ||
           IsLocalFileFailure(result);
}

// A part file shorter than its count (a seek failure) is not among them:
// the next attempt starts that body afresh.
bool CDownloadWorker::IsLocalFileFailure(ResultCode result) {
    return result == ERR_FILE_STREAM_OPEN || result == ERR_FILE_STREAM_WRITE ||
           result == ERR_FILE_STREAM_RESIZE || IsSystemErrorNumber(result);
}

// An open that failed without a stream code reports the system's number.
bool CDownloadWorker::IsSystemErrorNumber(ResultCode result) {
    return result != ERR_SUCCESS && result < ERR_FILE_STREAM_OPEN;
}

bool CDownloadWorker::IsFinalHttpAnswer(ResultCode result) const {
    return result == ERR_HTTP_CLIENT_ERROR && m_httpStatus != 408 && m_httpStatus != 429;
}

void CDownloadWorker::RecordAttempt(ResultCode result) {
    std::scoped_lock lock(m_lock);
    m_task.success = result == ERR_SUCCESS;
    m_task.response = m_response;
    m_task.resultCode = result;
}

void CDownloadWorker::FinishTask() {
    m_taskEvent.Reset();
    if (m_finishedEvent != nullptr) {
        m_finishedEvent->Set();
    }
}

ResultCode CDownloadWorker::DownloadOnce() {
    CUrl url;
    {
        std::scoped_lock lock(m_lock);
        url = m_task.item.GetUrl();
        m_task.pageWriting = PageWriting::Unknown;
    }
    if (m_notifier != nullptr) {
        m_notifier->TakeRedirectCount();
    }
    m_secureSite.Clear();
    for (int switches = 1;; ++switches) {
        ResultCode result = ERR_SUCCESS;
        switch (url.GetScheme()) {
            case SchemeHttp:
                result = FetchHttp(url, false);
                break;
            case SchemeHttps:
                result = FetchHttp(url, true);
                break;
            case SchemeFtp:
                return FetchFtp(url);
            default:
                // A URL of another scheme is none of the crawl's business; a
                // redirect to one (mailto:, news:) leaves nothing to save.
                return switches == 1 ? ERR_SUCCESS : ERR_HTTP_REDIRECT_PROTOCOL;
        }
        if (result != ERR_HTTP_REDIRECT_PROTOCOL) {
            return result;
        }
        // A switch of scheme starts a new request whose client counts its
        // redirects from 0 again; the attempt as a whole gets one bound.
        if (TooManyRedirects(switches)) {
            return ERR_HTTP_REDIRECT_LOOP;
        }
        NoteSecureSite(m_response.url, m_redirectTarget);
        url = m_redirectTarget;
    }
}

bool CDownloadWorker::TooManyRedirects(int schemeSwitches) const {
    const int redirects = m_notifier != nullptr ? m_notifier->GetRedirectCount() : schemeSwitches;
    return redirects > CHttpClient::kMaxRedirects;
}

ResultCode CDownloadWorker::FetchHttp(const CUrl& url, bool tls) {
    CHttpClient& client = tls ? *m_httpsClient : *m_httpClient;
    m_linksOnly = false;
    m_noFollow = false;
    if (const ResultCode verdict = CheckRobots(client, url); verdict != ERR_SUCCESS) {
        return verdict;
    }
    const std::int32_t offset = ResumeOffset();
    const std::int32_t known = GetKnownModificationTime();
    PrepareRequest(client, url, offset, AsksIfModified(known, offset) ? known : -1);
    ResultCode result = RequestBody(client, known);
    if (result == ERR_SUCCESS) {
        // A page read for its links is parsed whole, so it never continues
        // the bytes of a file kept on disk.
        result = ReceiveHttpBody(client, m_linksOnly ? 0 : offset);
        // The file holds decoded bytes, which no range of the coded body
        // continues: the next attempt starts the body afresh.
        if (result != ERR_SUCCESS && m_response.contentCoded) {
            SetBytesReceived(0);
        }
    }
    FinishExchange(client);
    if (result == ERR_HTTP_REDIRECT_PROTOCOL) {
        m_redirectTarget = client.GetRedirectUrl();
    }
    if (result == ERR_SUCCESS) {
        result = ExtractPageLinks();
    }
    if (result == ERR_SUCCESS && !m_linksOnly) {
        DateSavedFile();
    }
    result = CloseOutput(result);
    if (result == ERR_SUCCESS && m_response.contentCoded && !m_linksOnly) {
        result = CheckDecodedSize();
    }
    // The filters' verdict stands: the page was read, not saved.
    return m_linksOnly && result == ERR_SUCCESS ? ERR_CLIENT_RULE : result;
}

// The head gave the length of the coded bytes, but the filters' sizes are
// those of the files kept: a file that decoded past them is refused after
// all, its links already read as a refused page's are.
ResultCode CDownloadWorker::CheckDecodedSize() {
    CResponseInfo decoded = m_response;
    decoded.contentLength = static_cast<std::uint32_t>(CopyTask().bytesReceived);
    decoded.contentLengthKnown = true;
    return m_project.GetRules().CheckFilter(decoded) ? ERR_SUCCESS : ERR_CLIENT_RULE;
}

void CDownloadWorker::PrepareRequest(CHttpClient& client, const CUrl& url,
                                     std::int32_t resumeOffset, std::int64_t ifModifiedSince) {
    m_requestInfo.Reset();
    if (IsSiteServer(url)) {
        m_requestInfo.SetUrl(url, m_project.GetUser(), m_project.GetPassword());
    } else {
        m_requestInfo.SetUrl(url, {}, {});
    }
    if (resumeOffset > 0) {
        m_requestInfo.SetRange(resumeOffset, 0, RANGE_FROM_OFFSET);
    }
    m_requestInfo.ifModifiedSince = ifModifiedSince;
    if (m_options.IsProxyInUse()) {
        m_requestInfo.SetProxy(CSocketAddress(m_options.GetProxyHost(),
                                              static_cast<std::int32_t>(m_options.GetProxyPort())),
                               m_options.GetProxyUser(), m_options.GetProxyPassword());
    }
    m_requestInfo.SetUserAgent(m_options.UserAgentString());
    if (IsSiteServer(url)) {
        m_requestInfo.siteHeaders = m_project.GetHeaders();
    }
    client.SetRequestInfo(m_requestInfo);
}

// The project's user and password are for the starting server: any other
// host that asked for them, or that a link or redirect leads to, would learn
// the site's password.
bool CDownloadWorker::IsSiteServer(const CUrl& url) const {
    return IsSameServer(url, m_project.GetStartUrl()) ||
           (m_secureSite.HasUrl() && IsSameServer(url, m_secureSite));
}

// The site's own move to https on the same host keeps its password for the
// rest of the attempt.
void CDownloadWorker::NoteSecureSite(const CUrl& from, const CUrl& to) {
    if (IsSiteServer(from) && to.GetScheme() == SchemeHttps &&
        EqualsIgnoreCase(from.GetHost(), to.GetHost())) {
        m_secureSite = to;
    }
}

ResultCode CDownloadWorker::RequestBody(CHttpClient& client, std::int32_t knownModificationTime) {
    bool checked = false;
    if (SendsHead()) {
        const ResultCode result =
            ReadRefusedPageForLinks(RequestHead(client, knownModificationTime, checked));
        if (result != ERR_SUCCESS) {
            return result;
        }
    }
    ResultCode result = PacedRequest(client, METHOD_GET);
    if (result != ERR_SUCCESS && client.GetStatus() == 416 &&
        m_requestInfo.rangeKind != RANGE_NONE) {
        result = RequestWholeBody(client);
    }
    m_response = client.GetResponseInfo();
    m_httpStatus = client.GetStatus();
    NoteRobotsTag(client, result);
    if (result == ERR_SUCCESS && m_httpStatus == 304) {
        return KeepUnchanged(knownModificationTime);
    }
    // Without a HEAD the rules judge the GET's head, before any byte is saved.
    if (result == ERR_SUCCESS && !checked) {
        result = ReadRefusedPageForLinks(CheckResponse(m_response, knownModificationTime));
    }
    return result;
}

// A range from a file's end is refused when the file is whole already: a
// kill can land after a body's last byte reached the disk and before the
// crawl recorded it. Like any range the server cannot serve, the body is
// then asked for whole, which also tells its type for the links.
ResultCode CDownloadWorker::RequestWholeBody(CHttpClient& client) {
    FinishExchange(client);
    m_requestInfo.SetRange(0, 0, RANGE_NONE);
    client.SetRequestInfo(m_requestInfo);
    return PacedRequest(client, METHOD_GET);
}

// The files that the filters want are often reachable only through pages
// that they refuse, so such a page is read for its links all the same, and
// whatever its size: the filters' sizes are those of the files kept.
ResultCode CDownloadWorker::ReadRefusedPageForLinks(ResultCode verdict) {
    if (verdict != ERR_CLIENT_RULE || !FollowsLinks() || !IsPageResponse(m_response)) {
        return verdict;
    }
    m_linksOnly = true;
    return ERR_SUCCESS;
}

bool CDownloadWorker::FollowsLinks() const {
    std::scoped_lock lock(m_lock);
    return m_task.followLinks;
}

// The GET's head answers every question of the rules but two: whether an
// unchanged file is sent again, which a conditional GET asks in the same
// round trip, and whether a file over a size limit is sent at all, which is
// worth a round trip of its own.
bool CDownloadWorker::SendsHead() const {
    return m_options.GetHeadRequests() || m_project.GetRules().AnySizeLimitEnabled();
}

// A range continues bytes whose copy is being replaced, so only a whole
// body is asked for on condition.
bool CDownloadWorker::AsksIfModified(std::int32_t knownModificationTime,
                                     std::int32_t resumeOffset) const {
    return !m_options.GetHeadRequests() && knownModificationTime != -1 && resumeOffset == 0;
}

// A 304 need not repeat the time that the request named, but it vouches for
// it: the record of the file says what a HEAD's equal time would have said.
ResultCode CDownloadWorker::KeepUnchanged(std::int32_t knownModificationTime) {
    if (!m_response.modificationTimeKnown) {
        m_response.modificationTime = knownModificationTime;
        m_response.modificationTimeKnown = true;
    }
    return ERR_NOT_MODIFIED;
}

ResultCode CDownloadWorker::RequestHead(CHttpClient& client, std::int32_t knownModificationTime,
                                        bool& checked) {
    ResultCode result = PacedRequest(client, METHOD_HEAD);
    m_response = client.GetResponseInfo();
    FinishExchange(client);
    checked = result == ERR_SUCCESS;
    if (checked) {
        result = CheckResponse(m_response, knownModificationTime);
    }
    // A server may refuse HEAD and still serve GET, so an HTTP error of the
    // HEAD is not the last word; everything else is, a name that does not
    // exist included, although its code is among the HTTP ones. A loop of
    // redirects ends the attempt as it does when it switches schemes.
    const bool httpError = result >= ERR_HTTP_HEADER && result <= 0x200103FF &&
                           result != ERR_HTTP_REDIRECT_PROTOCOL &&
                           result != ERR_HTTP_REDIRECT_LOOP && result != ERR_HOST_NOT_FOUND;
    return httpError ? ERR_SUCCESS : result;
}

ResultCode CDownloadWorker::ReceiveHttpBody(CHttpClient& client, std::int32_t resumeOffset) {
    std::int32_t start = BodyStart(client, resumeOffset);
    if (start < 0) {
        // A partial body that begins past the bytes on disk cannot be
        // joined to them: fetch the whole body instead.
        FinishExchange(client);
        m_requestInfo.SetRange(0, 0, RANGE_NONE);
        client.SetRequestInfo(m_requestInfo);
        const ResultCode result = PacedRequest(client, METHOD_GET);
        m_response = client.GetResponseInfo();
        if (result != ERR_SUCCESS) {
            return result;
        }
        start = BodyStart(client, 0);
        if (start != 0) {
            return ERR_HTTP_STATUS;
        }
    }
    // A server that ignored the range sends the whole body (start 0), one
    // that answered an earlier range overwrites from there; either way the
    // file holds exactly the bytes before start.
    SetBytesReceived(start);
    // A body that continues bytes on disk stays in their file, whatever name
    // the mapping gives the URL now (a project saved by an earlier version).
    const bool continues = start > 0 && !GetLocalPath().empty();
    const ResultCode mapped = m_linksOnly || continues ? ERR_SUCCESS : MapResponseToLocal();
    if (mapped != ERR_SUCCESS) {
        return mapped;
    }
    const ResultCode opened = m_linksOnly ? OpenScratchOutput() : OpenOutput(start);
    if (opened != ERR_SUCCESS) {
        return opened;
    }
    std::uint32_t received = 0;
    CCountingStream body(*m_output, [this](std::uint32_t count) { CountBodyBytes(count); });
    return client.ReadBody(&body, received);
}

std::int32_t CDownloadWorker::BodyStart(const CHttpClient& client, std::int32_t resumeOffset) {
    if (client.GetStatus() != 206) {
        return 0;
    }
    // Part of a coded body does not decode on its own.
    if (client.GetResponseInfo().contentCoded) {
        return -1;
    }
    std::int32_t first = 0, last = 0, total = 0;
    if (!client.GetResponseHeaders().GetContentRange(first, last, total) || first < 0 ||
        first > resumeOffset) {
        return -1;
    }
    return first;
}

ResultCode CDownloadWorker::OpenOutput(std::int32_t offset) {
    const std::string path = GetLocalPath();
    errno = 0;
    CFileDescriptor file =
        m_mapping.GetFolder().OpenFile(path, offset == 0 ? O_RDWR | O_CREAT : O_RDWR, true);
    if (!file.IsValid()) {
        return errno == ELOOP ? ERR_UNSAFE_LOCAL_PATH : ResultCode{ERR_FILE_STREAM_OPEN};
    }
    try {
        m_output->Open(std::move(file),
                       offset == 0 ? CFileStream::modeReadWriteCreate : CFileStream::modeReadWrite,
                       false, kOutputBufferSize);
        NoteLocalFileWritten();
        if (offset == 0) {
            return ERR_SUCCESS;
        }
        // Bytes past the offset belong to no answer of this attempt.
        if (m_output->GetLength() < offset) {
            m_output->Close();
            SetBytesReceived(0);
            return ERR_FILE_STREAM_SEEK;
        }
        m_output->SetLength(offset);
        m_output->Seek(offset, CStream::kBegin);
    } catch (const CStreamException& e) {
        m_output->Close();
        return e.GetCode();
    } catch (const std::bad_alloc&) {
        m_output->Close();
        return LastSystemError();
    }
    return ERR_SUCCESS;
}

// The copy that the known modification time describes is gone once the file
// is opened for this body, so a later attempt must not call it unchanged.
void CDownloadWorker::NoteLocalFileWritten() {
    m_wroteLocalFile = true;
    std::scoped_lock lock(m_lock);
    m_task.knownModificationTime = -1;
}

// A page read only for its links gets a file without a name, in the download
// folder rather than a temporary one that may be small: nothing of it is left
// behind, however the crawl ends, and it cannot meet a file that is kept.
ResultCode CDownloadWorker::OpenScratchOutput() {
    std::string name = CFilePath(m_project.GetDownloadFolder()).GetFolderPath() + ".page-XXXXXX";
    errno = 0;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return LastSystemError();
    }
    ::unlink(name.c_str());
    ResultCode result = ERR_SUCCESS;
    try {
        m_output->Attach(fd, CFileStream::modeReadWrite);
    } catch (const CStreamException& e) {
        result = e.GetCode();
    }
    ::close(fd);
    return result;
}

ResultCode CDownloadWorker::CloseOutput(ResultCode result) {
    try {
        m_output->Close();
    } catch (const CStreamException& e) {
        // The last bytes never reached the disk (a full disk, a size
        // limit): the file is not saved, and an earlier failure says more.
        return result == ERR_SUCCESS ? e.GetCode() : result;
    }
    return result;
}

ResultCode CDownloadWorker::ExtractPageLinks() {
    CDownloadTask task = CopyTask();
    if (task.followLinks && IsStyleSheet(task.localPath)) {
        return ExtractResourceLinks(task, &CLinkExtractor::ExtractStyleSheetLinks);
    }
    if (task.followLinks && IsScript(task.localPath)) {
        return ExtractResourceLinks(task, &CLinkExtractor::ExtractScriptLinks);
    }
    const bool isPage =
        m_linksOnly ||
        (m_response.contentTypeKnown && m_response.contentType == kHtmlContentType) ||
        IsHtmlExtension(CFilePath(task.localPath).GetExt());
    if (!task.followLinks || !isPage) {
        return ERR_SUCCESS;
    }
    // Each worker parses its own documents, which libxml2 allows once it is
    // initialised, so pages are parsed side by side as far as the budget
    // for their trees allows.
    try {
        m_output->Flush();
        m_output->Seek(0, CStream::kBegin);
        const CPageBudget::CShare share(GetCrawlPageBudget(),
                                        static_cast<std::size_t>(m_output->GetLength()));
        const bool parsed = m_linkExtractor->ExtractLinks(*m_output, m_response.url.GetSourceText(),
                                                          task.item, m_response.charset);
        SetFoundLinks(m_linkExtractor->TakeFoundLinks());
        const std::string written = m_linkExtractor->TakeWrittenPage();
        if (parsed) {
            NotePageWriting();
            DropLinksOfNoFollowPage(written);
        }
        return parsed ? ERR_SUCCESS : static_cast<ResultCode>(ERR_PAGE_NOT_PARSED);
    } catch (const CStreamException&) {
        return ERR_PAGE_NOT_PARSED;
    } catch (const CHtmlException&) {
        return ERR_PAGE_NOT_PARSED;
    } catch (const std::bad_alloc&) {
        // A page too big for the memory left fails alone; its links, read
        // only in part, are dropped so that nothing follows from them.
        m_linkExtractor->TakeFoundLinks();
        return ERR_NOT_ENOUGH_MEMORY;
    }
}

bool CDownloadWorker::IsStyleSheet(const std::string& localPath) const {
    if (!m_options.GetPageRequisites()) {
        return false;
    }
    return m_response.contentTypeKnown ? m_response.contentType == kCssContentType
                                       : EqualsIgnoreCase(CFilePath(localPath).GetExt(), ".css");
}

bool CDownloadWorker::IsScript(const std::string& localPath) const {
    const std::string extension = CFilePath(localPath).GetExt();
    return m_options.GetPageRequisites() &&
           (EqualsIgnoreCase(extension, ".js") || EqualsIgnoreCase(extension, ".mjs"));
}

// A style sheet or a script names the files it needs in its own syntax; one
// that cannot be read is kept as saved, its links unread.
ResultCode CDownloadWorker::ExtractResourceLinks(const CDownloadTask& task,
                                                 ResourceLinkReader reader) {
    try {
        m_output->Flush();
        const bool read =
            (*m_linkExtractor.*reader)(*m_output, m_response.url.GetSourceText(), task.item);
        SetFoundLinks(m_linkExtractor->TakeFoundLinks());
        return read ? ERR_SUCCESS : static_cast<ResultCode>(ERR_PAGE_NOT_PARSED);
    } catch (const CStreamException&) {
        return ERR_PAGE_NOT_PARSED;
    } catch (const std::bad_alloc&) {
        m_linkExtractor->TakeFoundLinks();
        return ERR_NOT_ENOUGH_MEMORY;
    }
}

ResultCode CDownloadWorker::FetchFtp(const CUrl& url) {
    const std::int32_t known = GetKnownModificationTime();
    const std::int32_t offset = ResumeOffset();
    m_response.Clear();
    m_ftpClient->SetCredentials(url, {}, {}, kAnonymousPassword);
    ResultCode result = m_ftpClient->Open();
    if (result != ERR_SUCCESS) {
        return result;
    }
    // A listing that does not say enough leaves the rules nothing to judge.
    if (m_ftpClient->GetFileInfo(m_response) == ERR_SUCCESS) {
        result = CheckResponse(m_response, known);
    }
    if (result == ERR_SUCCESS) {
        SetBytesReceived(offset);
        result = MapFtpUrlToLocal(url);
    }
    if (result == ERR_SUCCESS) {
        result = OpenOutput(offset);
    }
    if (result == ERR_SUCCESS) {
        std::uint32_t received = 0;
        CCountingStream body(*m_output, [this](std::uint32_t count) { CountBodyBytes(count); });
        result = m_ftpClient->Download(body, received, static_cast<std::uint32_t>(offset));
    }
    m_ftpClient->Quit();
    if (result == ERR_SUCCESS) {
        DateSavedFile();
    }
    return CloseOutput(result);
}

// The file carries the server's time rather than the download's, so that
// tools that go by the time see only what changed on the server as new. It
// is dated through the descriptor still open, once its last byte is
// written, rather than found again by its path.
void CDownloadWorker::DateSavedFile() {
    if (m_response.modificationTimeKnown && m_output->IsOpen()) {
        m_output->SetModificationTime(
            timespec{static_cast<time_t>(m_response.modificationTime), 0});
    }
}

ResultCode CDownloadWorker::CheckResponse(const CResponseInfo& response,
                                          std::int32_t knownModificationTime) {
    // A URL that a pattern includes is wanted whatever the file groups say.
    if (!IsIncludedByPattern(response.url) &&
        !m_project.GetRules().CheckFilter(WithFileSize(response))) {
        return ERR_CLIENT_RULE;
    }
    if (knownModificationTime != -1 && response.modificationTimeKnown &&
        response.modificationTime == static_cast<std::int64_t>(knownModificationTime)) {
        return ERR_NOT_MODIFIED;
    }
    return ERR_SUCCESS;
}

std::int32_t CDownloadWorker::ResumeOffset() {
    std::scoped_lock lock(m_lock);
    // The count may have been saved with bytes that a crash kept from the
    // disk; what did reach it is the start of the body, so go on from there.
    const std::int64_t onDisk = std::max<std::int64_t>(SavedFileSize(m_task.localPath), 0);
    m_task.bytesReceived = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::max<std::int32_t>(m_task.bytesReceived, 0), onDisk));
    return m_task.bytesReceived;
}

std::int64_t CDownloadWorker::SavedFileSize(const std::string& path) const {
    const CFileDescriptor file = m_mapping.GetFolder().OpenFile(path, O_RDONLY, false);
    struct stat status {};
    return file.IsValid() && ::fstat(file.Get(), &status) == 0 ? status.st_size : -1;
}

ResultCode CDownloadWorker::MapResponseToLocal() {
    const int type = m_response.contentTypeKnown ? m_response.contentType : 0;
    return MapToOwnFile(m_response.url, [&](unsigned distinction, std::string& localUrl,
                                            std::string& localPath, std::string& storedPath) {
        m_mapping.MapUrlToLocal(m_response.url, type, localUrl, localPath, storedPath, distinction);
    });
}

ResultCode CDownloadWorker::MapFtpUrlToLocal(const CUrl& url) {
    return MapToOwnFile(url, [&](unsigned distinction, std::string& localUrl,
                                 std::string& localPath, std::string& storedPath) {
        m_mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath, distinction);
    });
}

ResultCode CDownloadWorker::MapToOwnFile(const CUrl& fetched, const NameMapper& map) {
    const CUrl listed = CopyTask().item.GetUrl();
    std::string localUrl, localPath, storedPath;
    for (unsigned distinction = 0; distinction <= kMaxDistinctions; ++distinction) {
        map(distinction, localUrl, localPath, storedPath);
        if (!m_pathClaim || m_pathClaim(localPath, listed, fetched)) {
            SetSavedNames(std::move(localUrl), std::move(localPath), std::move(storedPath));
            return ERR_SUCCESS;
        }
    }
    return ERR_FILE_STREAM_OPEN;
}

// robots.txt is read once per server and crawl, into memory: it becomes part
// of the mirror only when a page links to it.
ResultCode CDownloadWorker::CheckRobots(CHttpClient& client, const CUrl& url) {
    if (m_shares == nullptr || !m_options.GetRobots()) {
        return ERR_SUCCESS;
    }
    const std::string server = ServerKeyOf(url);
    CRobotsRules rules;
    const ResultCode result = m_shares->robots.GetRules(
        server, [&] { return FetchRobots(client, url); }, std::max(1, m_options.GetRetries()),
        rules);
    if (result != ERR_SUCCESS) {
        return result;
    }
    if (rules.GetCrawlDelayMs() != 0) {
        m_shares->pacer.SetMinimumGap(server, rules.GetCrawlDelayMs());
    }
    std::string target = url.GetEscapedPath() + url.GetEscapedQuery();
    return rules.IsAllowed(target) ? ERR_SUCCESS : static_cast<ResultCode>(ERR_ROBOTS_DISALLOWED);
}

CRobotsCache::Fetched CDownloadWorker::FetchRobots(CHttpClient& client, const CUrl& url) {
    CRobotsCache::Fetched fetched;
    CUrl robotsUrl;
    if (!robotsUrl.ResolveRelative(url.GetSourceText(), "/robots.txt")) {
        return fetched;
    }
    PrepareRequest(client, robotsUrl, 0);
    fetched.result = PacedRequest(client, METHOD_GET);
    if (fetched.result == ERR_SUCCESS) {
        CBoundedTextStream body(kMaxRobotsSize);
        std::uint32_t received = 0;
        fetched.result = client.ReadBody(&body, received);
        fetched.body = body.Text();
    }
    FinishExchange(client);
    return fetched;
}

ResultCode CDownloadWorker::PacedRequest(CHttpClient& client, HttpMethod method) {
    if (m_shares == nullptr) {
        return client.Request(method, false);
    }
    const std::string server = ServerKeyOf(m_requestInfo.url);
    for (;;) {
        const std::uint32_t wait = m_shares->pacer.TryTakeTurn(server);
        if (wait == 0) {
            break;
        }
        if (WaitForStop(wait) == WAIT_OBJECT_0) {
            return ERR_SOCKET_LOCAL_CLOSED;
        }
    }
    m_turnServer = server;
    const ResultCode result = client.Request(method, false);
    if (client.GetRetryAfterMs() != 0) {
        m_shares->pacer.HoldOff(server, client.GetRetryAfterMs());
    }
    return result;
}

// The next request to the server waits from the end of this exchange, body
// and all, so that the server sees the pause between its answer and the
// next question.
void CDownloadWorker::FinishExchange(CHttpClient& client) {
    client.Finish();
    if (m_shares != nullptr && !m_turnServer.empty()) {
        m_shares->pacer.EndTurn(m_turnServer);
    }
    m_turnServer.clear();
}

void CDownloadWorker::NoteRobotsTag(const CHttpClient& client, ResultCode result) {
    m_noFollow = result == ERR_SUCCESS && m_options.GetRobots() &&
                 DirectivesSayNoFollow(client.GetResponseHeaders().GetRobotsTag());
}

void CDownloadWorker::DropLinksOfNoFollowPage(std::string_view page) {
    if (!m_options.GetRobots()) {
        return;
    }
    if (!m_noFollow) {
        m_noFollow = PageSaysNoFollow(page.substr(0, kMaxMetaSearch));
    }
    if (m_noFollow) {
        SetFoundLinks({});
    }
}

void CDownloadWorker::CountBodyBytes(std::uint32_t count) {
    AddBytesReceived(count);
    if (m_shares == nullptr) {
        return;
    }
    // A stop is seen by the next network wait, which ends the attempt.
    if (const std::uint32_t pause = m_shares->rate.Take(count); pause != 0) {
        WaitForStop(pause);
    }
}

bool CDownloadWorker::IsIncludedByPattern(const CUrl& url) const {
    return m_project.GetUrlPatterns().Decide(url.GetSourceText()) == CUrlPatterns::Verdict::Include;
}
