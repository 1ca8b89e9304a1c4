// One worker thread of a crawl: waits for a task, downloads its URL with the
// client that the scheme selects, saves the body under the URL's local name,
// collects the links of pages (those the filters refuse are read but not
// saved), and leaves its result in the task for the manager to collect.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/url.h"
#include "engine/download_task.h"
#include "engine/found_links.h"
#include "engine/link_item.h"
#include "engine/program_options.h"
#include "engine/robots_cache.h"
#include "platform/critical_section.h"
#include "platform/notifying_thread.h"
#include "platform/wait_event.h"
#include "protocol/http_method.h"
#include "protocol/http_request_info.h"
#include "protocol/response_info.h"
#include "storage/local_file_mapping.h"

class CFileStream;
class CFtpClient;
class CHttpClient;
class CLinkExtractor;
class CProgressNotifier;
class CProjectSettings;
class CProtectionSpaces;
struct CCrawlShares;

class CDownloadWorker : public CNotifyingThread {
public:
    // The pause after a failed attempt, cut short by a stop.
    static constexpr std::uint32_t kRetryPauseMs = 2000;
    // Buffer of the output file stream.
    static constexpr std::size_t kOutputBufferSize = 8192;

    struct Timeouts {
        std::uint32_t connectMs = 0;
        std::uint32_t sendMs = 0;
        std::uint32_t receiveMs = 0;
        // What one whole response may take; 0 for no limit.
        std::uint32_t transferMs = 0;
    };

    // The project must not change while the worker runs; its rules record
    // why they last refused.
    explicit CDownloadWorker(CProjectSettings& project);
    ~CDownloadWorker() override;

    // Before the first start: the sockets' time-outs, the crawl's copy of the
    // program settings, the slot's output stream and notifier (neither
    // owned), which also receives the events of the worker's clients. False
    // when the link extractor cannot be created.
    bool Setup(const Timeouts& timeouts, const CProgramOptions& options, CFileStream* output,
               CProgressNotifier* notifier);
    // Set (not owned) whenever a task is finished, so that the manager can
    // collect it at once instead of at its next poll.
    void SetFinishedEvent(CWaitEvent* event) { m_finishedEvent = event; }

    // Asked before a body is written whether the local path may hold the
    // body of the listed URL, fetched from the other URL (after redirects);
    // false when another URL owns that file. Without it every name is free.
    using PathClaim =
        std::function<bool(const std::string& localPath, const CUrl& listed, const CUrl& fetched)>;
    void SetPathClaim(PathClaim claim) { m_pathClaim = std::move(claim); }
    // The crawl's store of the protection spaces where the site accepted its
    // credentials (not owned), shared by every worker's clients; set before
    // the first start.
    void SetProtectionSpaces(CProtectionSpaces* spaces) { m_protectionSpaces = spaces; }
    // What the crawl's workers share (not owned): robots.txt, the pauses
    // between requests, the rate limit and the cookies; set before the
    // first start. Without it the worker asks for no robots.txt, waits for
    // nothing and keeps no cookie.
    void SetCrawlShares(CCrawlShares* shares) { m_shares = shares; }

    // The manager's side; each takes the worker's lock.
    // Copies the task in with a cleared result and wakes the worker.
    void Assign(const CDownloadTask& task);
    bool HoldsTask() const;
    CDownloadTask CopyTask() const;
    // Frees the worker for the next task.
    void ClearTask();
    // Not working on a task: the task event is not set.
    bool IsIdle() const { return !m_taskEvent.IsSet(); }
    // The links that the last page read yielded, in page order.
    CFoundLinks TakeFoundLinks();

protected:
    ResultCode Run() override;
    // Creates the three clients on the worker's own thread.
    void Initialize() override;
    ResultCode Finalize() override;

    // One attempt at the task's URL: the scheme picks the client.
    virtual ResultCode DownloadOnce();
    // Waits between two attempts; false when a stop cut the wait short.
    virtual bool PauseBeforeRetry();

    // The task's fields under the worker's lock.
    void AddBytesReceived(std::uint32_t count);
    void SetSavedNames(std::string localUrl, std::string localPath, std::string storedPath);
    void SetFoundLinks(CFoundLinks links);
    // Records how the page that was just read for links was written back.
    void NotePageWriting();
    // The head of the current attempt's response, copied into the task when
    // the attempt ends.
    void SetResponse(const CResponseInfo& response) { m_response = response; }

private:
    void RunTask();
    // Removes what a failed task wrote to its local file unless a later
    // attempt continues it.
    void RemoveCutFile(ResultCode result);
    bool IsFinal(ResultCode result) const;
    // A client error that the server would give again at once; 408 and 429
    // ask the client to come back later.
    bool IsFinalHttpAnswer(ResultCode result) const;
    static bool IsUnchangingFailure(ResultCode result);
    static bool IsLocalFileFailure(ResultCode result);
    static bool IsSystemErrorNumber(ResultCode result);
    void RecordAttempt(ResultCode result);
    void FinishTask();
    // More redirects in this attempt than one client may follow.
    bool TooManyRedirects(int schemeSwitches) const;

    ResultCode FetchHttp(const CUrl& url, bool tls);
    // 0 when robots.txt lets the crawler fetch url, or robots are not obeyed.
    ResultCode CheckRobots(CHttpClient& client, const CUrl& url);
    CRobotsCache::Fetched FetchRobots(CHttpClient& client, const CUrl& url);
    // The request, sent when its server's pause is over; a Retry-After
    // holds the server back.
    ResultCode PacedRequest(CHttpClient& client, HttpMethod method);
    void FinishExchange(CHttpClient& client);
    void NoteRobotsTag(const CHttpClient& client, ResultCode result);
    // A page whose X-Robots-Tag or meta robots says nofollow yields no links.
    // page: the saved page's bytes.
    void DropLinksOfNoFollowPage(std::string_view page);
    // Counts body bytes into the task and keeps the crawl at its rate.
    void CountBodyBytes(std::uint32_t count);
    bool IsIncludedByPattern(const CUrl& url) const;
    ResultCode FetchFtp(const CUrl& url);
    ResultCode CheckResponse(const CResponseInfo& response, std::int32_t knownModificationTime);
    ResultCode CheckDecodedSize();
    // ifModifiedSince: the time that a GET sends as its condition, -1 for none.
    void PrepareRequest(CHttpClient& client, const CUrl& url, std::int32_t resumeOffset,
                        std::int64_t ifModifiedSince = -1);
    // Whether url gets the project's user and password.
    bool IsSiteServer(const CUrl& url) const;
    // After a redirect to another scheme from one URL to the next.
    void NoteSecureSite(const CUrl& from, const CUrl& to);
    // HEAD when it can change the outcome, CheckResponse, and GET unless the
    // HEAD's result ends the attempt.
    ResultCode RequestBody(CHttpClient& client, std::int32_t knownModificationTime);
    ResultCode RequestWholeBody(CHttpClient& client);
    // Success, and the attempt reads the page for its links only, when the
    // verdict is the filters' refusal of an HTML page whose links the task
    // follows; otherwise the verdict.
    ResultCode ReadRefusedPageForLinks(ResultCode verdict);
    bool FollowsLinks() const;
    bool SendsHead() const;
    // With HEAD requests off, a file saved before is asked for on condition
    // that it changed since.
    bool AsksIfModified(std::int32_t knownModificationTime, std::int32_t resumeOffset) const;
    ResultCode KeepUnchanged(std::int32_t knownModificationTime);
    // The HEAD's failure or verdict when it ends the attempt, else success;
    // checked tells whether the rules judged its head.
    ResultCode RequestHead(CHttpClient& client, std::int32_t knownModificationTime, bool& checked);
    ResultCode ReceiveHttpBody(CHttpClient& client, std::int32_t resumeOffset);
    // Where the GET's body belongs in the file that holds resumeOffset
    // bytes; -1 when it would leave a gap after them.
    static std::int32_t BodyStart(const CHttpClient& client, std::int32_t resumeOffset);
    // Opens the task's local file for a body that is written from offset
    // on, never through a link; ERR_UNSAFE_LOCAL_PATH when one is in the way.
    ResultCode OpenOutput(std::int32_t offset);
    void NoteLocalFileWritten();
    // Opens a file that is gone once the output is closed.
    ResultCode OpenScratchOutput();
    ResultCode ExtractPageLinks();
    // A sheet served as text/css, or named .css when the type is unknown,
    // while page requisites are fetched.
    bool IsStyleSheet(const std::string& localPath) const;
    bool IsScript(const std::string& localPath) const;
    using ResourceLinkReader = bool (CLinkExtractor::*)(CStream&, std::string_view,
                                                        const CLinkItem&);
    ResultCode ExtractResourceLinks(const CDownloadTask& task, ResourceLinkReader reader);
    // Closes the output; a failed final flush fails a successful attempt.
    ResultCode CloseOutput(ResultCode result);
    void DateSavedFile();

    // The bytes of an earlier attempt that the next one can continue from:
    // the task's count when its local file still holds that many, else 0.
    std::int32_t ResumeOffset();
    // -1 when no plain file is at path.
    std::int64_t SavedFileSize(const std::string& path) const;
    void SetBytesReceived(std::int32_t count);
    std::int32_t GetKnownModificationTime() const;
    // The task's names, the first of the mapping's names that no other URL
    // owns.
    using NameMapper = std::function<void(unsigned distinction, std::string& localUrl,
                                          std::string& localPath, std::string& storedPath)>;
    ResultCode MapResponseToLocal();
    ResultCode MapFtpUrlToLocal(const CUrl& url);
    ResultCode MapToOwnFile(const CUrl& fetched, const NameMapper& map);
    std::string GetLocalPath() const;

    CProjectSettings& m_project;
    const CLocalFileMapping m_mapping;

    mutable CCriticalSection m_lock;
    CDownloadTask m_task;
    CFoundLinks m_foundLinks;
    CWaitEvent m_taskEvent;
    CWaitEvent* m_finishedEvent = nullptr;
    PathClaim m_pathClaim;
    CProtectionSpaces* m_protectionSpaces = nullptr;
    CCrawlShares* m_shares = nullptr;
    // The server whose turn the current exchange holds; empty for none.
    std::string m_turnServer;
    // The answer's X-Robots-Tag says its links are not followed.
    bool m_noFollow = false;

    std::unique_ptr<CLinkExtractor> m_linkExtractor;
    CProgressNotifier* m_notifier = nullptr;
    CResponseInfo m_response;
    CFileStream* m_output = nullptr;
    Timeouts m_timeouts;
    CProgramOptions m_options;
    // The status of the attempt's last HTTP answer; 0 when there was none.
    int m_httpStatus = 0;
    // The attempt reads a page that the filters refuse, for its links only.
    bool m_linksOnly = false;
    // The task has opened its local file for a body.
    bool m_wroteLocalFile = false;
    std::unique_ptr<CHttpClient> m_httpClient;
    std::unique_ptr<CHttpClient> m_httpsClient;
    std::unique_ptr<CFtpClient> m_ftpClient;
    CHttpRequestInfo m_requestInfo;
    CUrl m_redirectTarget;
    // Within one attempt: where the starting server moved to over https.
    CUrl m_secureSite;
};
