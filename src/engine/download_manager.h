// The thread that runs a crawl: it hands one URL at a time to each idle
// worker, collects each worker's result into the download list, appends the
// links that pages yielded, and reports every step to the main window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/crawl_messages.h"
#include "engine/crawl_shares.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "engine/path_owners.h"
#include "engine/program_options.h"
#include "platform/critical_section.h"
#include "platform/message_queue.h"
#include "platform/wait_event.h"
#include "platform/worker_thread.h"
#include "protocol/protection_spaces.h"

class CCrawlJournal;
enum class JournalRecord : std::uint8_t;
class CDownloadWorker;
class CFileStream;
class CMessageTarget;
class CProgressNotifier;
class CProjectSettings;
class CStream;

class CDownloadManager : public CWorkerThread {
public:
    // The longest that a poll waits for a stop or a finished worker.
    static constexpr std::uint32_t kPollMs = 250;
    // The most tasks held back for pausing servers; beyond them the workers
    // wait for a server to be free rather than read the list on.
    static constexpr std::size_t kMaxDeferredTasks = 256;

    // Builds the worker of one slot; the tests put a scripted fetch behind it.
    using WorkerFactory = std::function<std::unique_ptr<CDownloadWorker>(CProjectSettings&)>;

    // The project must not change while a crawl runs.
    explicit CDownloadManager(CProjectSettings& project, WorkerFactory factory = {});
    // Owners stop the thread first.
    ~CDownloadManager() override;

    // An empty list that reports to window.
    void Setup(CMessageTarget* window);
    // Deletes the workers, the list and the retry queue and forgets the window.
    virtual void Reset();
    // Each crawl works with its own copy of the program settings, so that
    // settings saved while it runs take effect at the next start.
    // A crawl from the list's first entry with an empty retry queue.
    bool BeginCrawl(const CProgramOptions& options);
    // Continues from the retry queue, then the list from its cursor.
    bool Resume(const CProgramOptions& options);

    // The manager's section of the project file: the tasks under way (those
    // the workers hold or are being handed, then the retry queue), then the list. Loaded tasks go
    // to the retry queue, so they are fetched first when the crawl resumes.
    void Store(CStream& stream);
    void Load(CStream& stream);
    bool IsModified() const;

    // Every change of the list and the queue goes to the journal too, which
    // outlives the manager or is taken away first; null for none.
    void SetJournal(CCrawlJournal* journal);
    // Under the lock, for making a journal's changes again after a load.
    template <typename Edit>
    void EditQueue(Edit edit) {
        std::scoped_lock lock(m_lock);
        edit(*m_list, m_retryQueue);
    }
    // Tells the journal of a run state the controller moved to.
    void RecordState(int state);

    // The list as the views and the rewriting pass see it; only while no
    // crawl runs, or under GetLock().
    CDownloadList& GetList() { return *m_list; }
    CCriticalSection& GetLock() { return m_lock; }
    CDownloadList::Stats GetStats() const;
    std::size_t GetRetryCount() const;
    // Polling passes of the last crawl; a test sees when the crawl ended.
    std::uint64_t GetPassCount() const { return m_passes; }
    // Files of the last crawl that had not changed since they were saved;
    // the window is told of them only by this count.
    std::uint32_t GetUnchangedCount() const { return m_unchanged; }
    // The crawl's cookies, robots.txt files and pauses; the cookies, say,
    // to show or save them once the crawl has ended.
    CCrawlShares& GetShares() { return m_shares; }

protected:
    ResultCode OnThreadStart(std::uint32_t threadId) override;
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override;
    ResultCode Run() override;

private:
    struct CWorkerSlot;

    void WaitForLastCrawl() const;
    bool CreateSlot(std::size_t index);
    // The files that the list and the interrupted tasks hold, each owned by
    // its URL, before a worker claims a new one.
    void CollectPathOwners();
    bool ClaimLocalPath(const std::string& localPath, const CUrl& listed, const CUrl& fetched);
    CProgressNotifier* NotifierFor(std::size_t index);
    void AddStartingUrl();
    void StartWorkers();
    // One pass over the slots; false when no worker was busy and nothing was
    // handed out, which ends the crawl.
    bool Poll();
    // Takes the slot's next task from the queue and tells the window of it
    // with the pass's other notices; false when there is none.
    bool HandOut(std::size_t index);
    // Gives the worker the task that the window has been told of.
    void Assign(std::size_t index);
    bool NextTask(CDownloadTask& task);
    // A task whose server is pausing waits aside, so that the worker takes
    // another server's task; false when the task may go now.
    bool DeferWhilePaused(CDownloadTask& task);
    bool TakeReadyDeferredTask(CDownloadTask& task);
    // The crawl's cookies start from the project's cookies file.
    void LoadCookies();
    void SaveCookies();
    void Collect(std::size_t index);
    // Tells the window what the pass collected and handed out, in one message.
    void SendNotices();
    // What the window is told about a collected task; 0 for nothing. A page
    // whose links do not fit in memory turns the task into a failure.
    UINT RecordResult(CDownloadTask& task, CDownloadWorker& worker);
    void AddFoundLinks(CDownloadWorker& worker);
    void NewList();
    // How far each busy worker got, so that a killed crawl resumes its
    // files where their bytes end; once a second.
    void RecordProgress();
    void Record(JournalRecord type, std::string payload, bool urgent = false);

    CProjectSettings& m_project;
    WorkerFactory m_factory;
    CMessageTarget* m_window = nullptr;
    CProgramOptions m_options;
    std::unique_ptr<CDownloadList> m_list;
    std::vector<std::unique_ptr<CWorkerSlot>> m_slots;
    // Outlive the slots: a WM_DL_BYTES still queued after the crawl points
    // at one of them.
    std::vector<std::unique_ptr<CProgressNotifier>> m_notifiers;
    std::deque<CDownloadTask> m_retryQueue;
    // Tasks held back while their server pauses; guarded by the lock and
    // stored with the retry queue.
    std::deque<CDownloadTask> m_deferred;
    // Shared by every worker; each part locks itself.
    CCrawlShares m_shares;
    // The cookies of this crawl came from the project's file already.
    bool m_cookiesLoaded = false;
    // Guarded by the lock, as the list is.
    CPathOwners m_pathOwners;
    // Where the site took its credentials in this run of the crawl; it locks
    // itself, as every worker's clients use it.
    CProtectionSpaces m_protectionSpaces;
    mutable CCriticalSection m_lock;
    bool m_modified = false;
    // Set by a worker that finished a task, so that the poll runs at once.
    CWaitEvent m_workerFinished;
    std::atomic<std::uint64_t> m_passes{0};
    std::atomic<std::uint32_t> m_unchanged{0};
    // What the window has yet to be told; only the manager's thread uses it.
    CCrawlNotices m_notices;
    std::vector<std::size_t> m_handedOut;
    CCrawlJournal* m_journal = nullptr;
    std::chrono::steady_clock::time_point m_nextProgress;
};
