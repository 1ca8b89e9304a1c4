#include "engine/download_manager.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <new>
#include <utility>

#include "base/file_stream.h"
#include "base/stream.h"
#include "engine/crawl_journal.h"
#include "engine/crawl_messages.h"
#include "engine/download_worker.h"
#include "engine/journal_replay.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"
#include "platform/message_target.h"
#include "storage/local_file_mapping.h"

namespace {

constexpr int kManagerPriority = 1;
constexpr int kWorkerPriority = 0;

CDownloadWorker::Timeouts TimeoutsFrom(const CProgramOptions& options) {
    CDownloadWorker::Timeouts timeouts;
    timeouts.connectMs = static_cast<std::uint32_t>(options.GetConnectionTimeout()) * 1000;
    timeouts.sendMs = static_cast<std::uint32_t>(options.GetRequestTimeout()) * 1000;
    timeouts.receiveMs = timeouts.sendMs;
    timeouts.transferMs = static_cast<std::uint32_t>(options.GetTransferLimit()) * 1000;
    return timeouts;
}

// A saved page, or one that the filters refused and that was read for its
// links only. Whatever a page that failed otherwise yielded is not followed.
bool YieldsLinks(const CDownloadTask& task) {
    return task.followLinks && (task.success || task.resultCode == ERR_CLIENT_RULE);
}

std::int32_t ModificationTimeOf(const CResponseInfo& response) {
    if (!response.modificationTimeKnown) {
        return -1;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(response.modificationTime));
}

}  // namespace

struct CDownloadManager::CWorkerSlot {
    std::unique_ptr<CDownloadWorker> worker;
    CFileStream output;
    // The task on its way to the worker: it has left the list or the retry
    // queue while the window is told about it, and a project saved meanwhile
    // must still hold it.
    CDownloadTask handedOut;
};

CDownloadManager::CDownloadManager(CProjectSettings& project, WorkerFactory factory)
    : m_project(project), m_factory(std::move(factory)), m_list(std::make_unique<CDownloadList>()) {
    if (!m_factory) {
        m_factory = [](CProjectSettings& settings) {
            return std::make_unique<CDownloadWorker>(settings);
        };
    }
}

CDownloadManager::~CDownloadManager() = default;

void CDownloadManager::Setup(CMessageTarget* window) {
    std::scoped_lock lock(m_lock);
    NewList();
    m_window = window;
    m_modified = false;
}

void CDownloadManager::Reset() {
    std::scoped_lock lock(m_lock);
    m_slots.clear();
    m_notifiers.clear();
    NewList();
    m_retryQueue.clear();
    m_deferred.clear();
    m_window = nullptr;
    m_modified = false;
}

bool CDownloadManager::BeginCrawl(const CProgramOptions& options) {
    WaitForLastCrawl();
    {
        std::scoped_lock lock(m_lock);
        m_options = options;
        m_list->Rewind();
        m_retryQueue.clear();
        m_deferred.clear();
        Record(JournalRecord::QueueCleared, {});
        m_modified = true;
    }
    // Every crawl asks each server for its robots.txt again and starts
    // with the cookies of the project's file.
    m_shares.robots.Clear();
    m_shares.pacer.Clear();
    m_shares.cookies.Clear();
    m_cookiesLoaded = false;
    return Start(kManagerPriority);
}

bool CDownloadManager::Resume(const CProgramOptions& options) {
    WaitForLastCrawl();
    {
        std::scoped_lock lock(m_lock);
        m_options = options;
    }
    return Start(kManagerPriority);
}

void CDownloadManager::WaitForLastCrawl() const {
    // WM_DL_FINISHED is posted from the thread's last hook, so a window that
    // starts again as soon as it sees that message can find the thread still
    // leaving; it sends nothing more, so this wait is short.
    WaitForEnd(INFINITE);
}

void CDownloadManager::Store(CStream& stream) {
    std::scoped_lock lock(m_lock);
    // The journal's records from here on are those the stored state lacks.
    if (m_journal != nullptr) {
        m_journal->BeginFold();
    }
    std::vector<CDownloadTask> held(m_deferred.begin(), m_deferred.end());
    for (const auto& slot : m_slots) {
        if (slot->worker->HoldsTask()) {
            held.push_back(slot->worker->CopyTask());
        } else if (slot->handedOut.HasUrl()) {
            held.push_back(slot->handedOut);
        }
    }
    stream << static_cast<std::int32_t>(held.size() + m_retryQueue.size());
    for (const CDownloadTask& task : held) {
        task.Store(stream);
    }
    for (const CDownloadTask& task : m_retryQueue) {
        task.Store(stream);
    }
    m_list->Store(stream);
    m_modified = false;
}

void CDownloadManager::Load(CStream& stream) {
    std::scoped_lock lock(m_lock);
    std::int32_t count = 0;
    stream >> count;
    if (count < 0) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    // Nothing changes unless the whole section reads.
    std::deque<CDownloadTask> queue;
    for (std::int32_t i = 0; i < count; ++i) {
        queue.emplace_back().Load(stream);
    }
    m_list->Load(stream);
    m_retryQueue.insert(m_retryQueue.end(), std::make_move_iterator(queue.begin()),
                        std::make_move_iterator(queue.end()));
    m_modified = false;
}

void CDownloadManager::SetJournal(CCrawlJournal* journal) {
    std::scoped_lock lock(m_lock);
    m_journal = journal;
    m_list->SetChanges(journal);
}

void CDownloadManager::RecordState(int state) {
    CStringStream payload;
    payload << static_cast<std::int32_t>(state);
    Record(JournalRecord::State, std::move(payload.Bytes()));
}

void CDownloadManager::NewList() {
    m_list = std::make_unique<CDownloadList>();
    m_list->SetChanges(m_journal);
    Record(JournalRecord::Cleared, {});
}

void CDownloadManager::Record(JournalRecord type, std::string payload, bool urgent) {
    if (m_journal != nullptr) {
        m_journal->Append(type, std::move(payload), urgent);
    }
}

void CDownloadManager::RecordProgress() {
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextProgress) {
        return;
    }
    m_nextProgress = now + CCrawlJournal::kBatchDelay;
    std::scoped_lock lock(m_lock);
    if (m_journal == nullptr) {
        return;
    }
    for (const auto& slot : m_slots) {
        if (!slot->worker->HoldsTask()) {
            continue;
        }
        const CDownloadTask task = slot->worker->CopyTask();
        if (!task.localPath.empty() && task.bytesReceived > 0) {
            CStringStream payload;
            task.Store(payload);
            Record(JournalRecord::Progress, std::move(payload.Bytes()));
        }
    }
}

bool CDownloadManager::IsModified() const {
    std::scoped_lock lock(m_lock);
    return m_modified;
}

CDownloadList::Stats CDownloadManager::GetStats() const {
    std::scoped_lock lock(m_lock);
    return m_list->GetStats();
}

std::size_t CDownloadManager::GetRetryCount() const {
    std::scoped_lock lock(m_lock);
    return m_retryQueue.size();
}

ResultCode CDownloadManager::OnThreadStart(std::uint32_t /*threadId*/) {
    const auto count = static_cast<std::size_t>(std::max(0, m_project.GetThreadCount()));
    std::scoped_lock lock(m_lock);
    m_slots.clear();
    // The user name and password may have changed since the last run.
    m_protectionSpaces.Clear();
    m_shares.pacer.Configure(m_options.GetWaitMs(), m_options.GetRandomWait());
    m_shares.rate.SetRate(m_options.GetLimitRate());
    LoadCookies();
    try {
        CollectPathOwners();
        for (std::size_t index = 0; index < count; ++index) {
            if (!CreateSlot(index)) {
                m_slots.clear();
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        m_slots.clear();
    }
    return ERR_SUCCESS;
}

void CDownloadManager::CollectPathOwners() {
    m_pathOwners.Clear();
    const CLocalFileMapping mapping(CFilePath(m_project.GetDownloadFolder()));
    m_list->ForEachEntry([&](const CDownloadEntry& entry) {
        if (entry.HasStoredPath()) {
            const CUrl url = entry.GetUrl();
            std::string localPath;
            mapping.StoredToLocalPath(url, entry.GetStoredPath(), localPath);
            if (!localPath.empty()) {
                m_pathOwners.Add(localPath, url);
            }
        }
    });
    for (const CDownloadTask& task : m_retryQueue) {
        if (!task.localPath.empty()) {
            m_pathOwners.Add(task.localPath, task.item.GetUrl());
        }
    }
}

bool CDownloadManager::ClaimLocalPath(const std::string& localPath, const CUrl& listed,
                                      const CUrl& fetched) {
    std::scoped_lock lock(m_lock);
    return m_pathOwners.Claim(localPath, listed, fetched);
}

bool CDownloadManager::CreateSlot(std::size_t index) {
    auto slot = std::make_unique<CWorkerSlot>();
    slot->worker = m_factory(m_project);
    slot->worker->SetFinishedEvent(&m_workerFinished);
    slot->worker->SetProtectionSpaces(&m_protectionSpaces);
    slot->worker->SetCrawlShares(&m_shares);
    slot->worker->SetPathClaim(
        [this](const std::string& localPath, const CUrl& listed, const CUrl& fetched) {
            return ClaimLocalPath(localPath, listed, fetched);
        });
    if (!slot->worker->Setup(TimeoutsFrom(m_options), m_options, &slot->output,
                             NotifierFor(index))) {
        return false;
    }
    m_slots.push_back(std::move(slot));
    return true;
}

CProgressNotifier* CDownloadManager::NotifierFor(std::size_t index) {
    while (m_notifiers.size() <= index) {
        m_notifiers.push_back(
            std::make_unique<CProgressNotifier>(static_cast<int>(m_notifiers.size()), m_window));
    }
    return m_notifiers[index].get();
}

void CDownloadManager::OnThreadEnd(std::uint32_t /*threadId*/, ResultCode /*exitCode*/) {
    {
        std::scoped_lock lock(m_lock);
        m_slots.clear();
        // What waited for its server is tried first when the crawl resumes.
        m_retryQueue.insert(m_retryQueue.begin(), m_deferred.begin(), m_deferred.end());
        m_deferred.clear();
    }
    SaveCookies();
    PostMessage(m_window, WM_DL_FINISHED);
}

ResultCode CDownloadManager::Run() {
    m_passes = 0;
    m_unchanged = 0;
    AddStartingUrl();
    StartWorkers();
    PostMessage(m_window, WM_DL_STARTED);
    // The first pass hands out at once instead of after a poll's wait.
    m_workerFinished.Set();
    const CWaitEvent* const events[] = {&GetStopEvent(), &m_workerFinished};
    while (true) {
        const std::uint32_t wait = WaitForAny(events, kPollMs);
        if (wait != WAIT_OBJECT_0 + 1 && wait != WAIT_TIMEOUT) {
            break;
        }
        // Reset before the pass: a worker that finishes during it sets the
        // event again, and the next wait returns at once.
        m_workerFinished.Reset();
        if (m_slots.empty() || !Poll()) {
            break;
        }
        RecordProgress();
    }
    for (const auto& slot : m_slots) {
        slot->worker->Stop();
    }
    for (std::size_t index = 0; index < m_slots.size(); ++index) {
        Collect(index);
    }
    SendNotices();
    return ERR_SUCCESS;
}

void CDownloadManager::AddStartingUrl() {
    const CLinkItem first(RemoveFragment(m_project.GetStartUrl()), 0, true);
    std::scoped_lock lock(m_lock);
    m_list->Add(first);
}

void CDownloadManager::StartWorkers() {
    // A worker whose thread cannot start would look busy for ever.
    std::scoped_lock lock(m_lock);
    std::erase_if(m_slots, [](const auto& slot) { return !slot->worker->Start(kWorkerPriority); });
}

bool CDownloadManager::Poll() {
    ++m_passes;
    bool active = false;
    m_handedOut.clear();
    for (std::size_t index = 0; index < m_slots.size(); ++index) {
        CDownloadWorker& worker = *m_slots[index]->worker;
        if (!worker.IsIdle()) {
            active = true;
            continue;
        }
        Collect(index);
        if (HandOut(index)) {
            m_handedOut.push_back(index);
        }
    }
    // The window hears of a URL before its worker can report on it.
    SendNotices();
    for (const std::size_t index : m_handedOut) {
        Assign(index);
    }
    // Tasks held back for their servers keep the crawl going.
    std::scoped_lock lock(m_lock);
    return active || !m_handedOut.empty() || !m_deferred.empty();
}

bool CDownloadManager::HandOut(std::size_t index) {
    CWorkerSlot& slot = *m_slots[index];
    if (!NextTask(slot.handedOut)) {
        return false;
    }
    CCrawlNotice& notice = m_notices.emplace_back();
    notice.message = WM_DL_THREAD_URL;
    notice.worker = static_cast<int>(index);
    notice.taskNumber = NotifierFor(index)->BeginTask();
    notice.url = slot.handedOut.item.GetUrl().GetSourceText();
    return true;
}

void CDownloadManager::Assign(std::size_t index) {
    CWorkerSlot& slot = *m_slots[index];
    // Only this thread changes the task, and only under the lock.
    std::scoped_lock lock(m_lock);
    slot.worker->Assign(slot.handedOut);
    slot.handedOut.Clear();
}

void CDownloadManager::SendNotices() {
    if (m_notices.empty()) {
        return;
    }
    SendMessage(m_window, WM_DL_NOTICES, 0, reinterpret_cast<LPARAM>(&m_notices));
    m_notices.clear();
}

bool CDownloadManager::NextTask(CDownloadTask& task) {
    std::scoped_lock lock(m_lock);
    if (TakeReadyDeferredTask(task)) {
        m_modified = true;
        return true;
    }
    while (m_deferred.size() < kMaxDeferredTasks) {
        if (!m_retryQueue.empty()) {
            task = std::move(m_retryQueue.front());
            m_retryQueue.pop_front();
            CStringStream payload;
            payload << task.item.GetUrl().GetSourceText();
            Record(JournalRecord::TakenFromQueue, std::move(payload.Bytes()));
        } else {
            CLinkItem item;
            if (!m_list->Next(item)) {
                return false;
            }
            task.Clear();
            task.knownModificationTime = m_list->GetKnownModTime(item.GetUrl());
            task.item = std::move(item);
        }
        m_modified = true;
        if (!DeferWhilePaused(task)) {
            return true;
        }
    }
    return false;
}

bool CDownloadManager::DeferWhilePaused(CDownloadTask& task) {
    const CUrl& url = task.item.GetUrl();
    if (url.GetScheme() != SchemeHttp && url.GetScheme() != SchemeHttps) {
        return false;
    }
    if (m_shares.pacer.TimeUntilFree(ServerKeyOf(url)) == 0) {
        return false;
    }
    m_deferred.push_back(std::move(task));
    return true;
}

bool CDownloadManager::TakeReadyDeferredTask(CDownloadTask& task) {
    const auto ready = std::find_if(m_deferred.begin(), m_deferred.end(), [&](const auto& held) {
        return m_shares.pacer.TimeUntilFree(ServerKeyOf(held.item.GetUrl())) == 0;
    });
    if (ready == m_deferred.end()) {
        return false;
    }
    task = std::move(*ready);
    m_deferred.erase(ready);
    return true;
}

void CDownloadManager::Collect(std::size_t index) {
    CDownloadWorker& worker = *m_slots[index]->worker;
    CScopedLock lock(m_lock);
    if (!worker.HoldsTask()) {
        return;
    }
    CDownloadTask task = worker.CopyTask();
    m_modified = true;
    const UINT message = RecordResult(task, worker);
    worker.ClearTask();
    lock.unlock();
    if (message != 0) {
        CCrawlNotice& notice = m_notices.emplace_back();
        notice.message = message;
        notice.worker = static_cast<int>(index);
        notice.task = std::move(task);
    }
}

UINT CDownloadManager::RecordResult(CDownloadTask& task, CDownloadWorker& worker) {
    const CUrl& url = task.item.GetUrl();
    if (YieldsLinks(task)) {
        try {
            AddFoundLinks(worker);
        } catch (const std::bad_alloc&) {
            task.success = false;
            task.resultCode = ERR_NOT_ENOUGH_MEMORY;
        }
    }
    const std::int32_t modificationTime = ModificationTimeOf(task.response);
    const bool requeued = !task.success && (task.resultCode == ERR_ATTEMPT_INTERRUPTED ||
                                            task.resultCode == ERR_SUCCESS);
    // A saved file is on disk now: its record goes out at once, so that a
    // kill from here on does not fetch it again.
    Record(JournalRecord::Collected, CollectedRecord(task, modificationTime, requeued),
           task.success);
    if (task.success) {
        m_list->MarkDone(url, task.storedPath, modificationTime, task.bytesReceived,
                         task.pageWriting);
        return WM_DL_FILE_SAVED;
    }
    switch (task.resultCode) {
        case ERR_NOT_MODIFIED:
            ++m_unchanged;
            return 0;
        case ERR_ATTEMPT_INTERRUPTED:
        case ERR_SUCCESS:
            m_list->MarkError(url, task.resultCode);
            m_retryQueue.push_back(task);
            return 0;
        default:
            m_list->MarkError(url, task.resultCode);
            if (task.fileRemoved) {
                m_list->ForgetFile(url, task.storedPath);
            }
            return WM_DL_URL_DONE;
    }
}

// An excluded URL is never requested, so it is not even listed.
void CDownloadManager::AddFoundLinks(CDownloadWorker& worker) {
    const CUrlPatterns& patterns = m_project.GetUrlPatterns();
    for (const CFoundLinks::Link link : worker.TakeFoundLinks()) {
        if (patterns.Decide(link.urlText) != CUrlPatterns::Verdict::Exclude) {
            m_list->Add(link.urlText, link.level, link.internal, link.requisiteDepth);
        }
    }
}

// A resumed crawl keeps the cookies that it has; a project just opened
// has none yet and takes them from its file.
void CDownloadManager::LoadCookies() {
    if (m_cookiesLoaded) {
        return;
    }
    m_cookiesLoaded = true;
    const std::string& file = m_project.GetCookiesFile();
    if (!file.empty()) {
        m_shares.cookies.LoadNetscapeFile(file);
    }
}

void CDownloadManager::SaveCookies() {
    const std::string& file = m_options.GetSaveCookiesFile();
    if (!file.empty()) {
        m_shares.cookies.SaveNetscapeFile(file, std::time(nullptr));
    }
}
