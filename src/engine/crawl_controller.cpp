#include "engine/crawl_controller.h"

#include "base/stream.h"
#include "engine/crawl_messages.h"
#include "engine/journal_replay.h"
#include "engine/project_settings.h"
#include "platform/message_target.h"
#include "storage/file_path.h"

CCrawlController::CCrawlController(CProjectSettings& project,
                                   CDownloadManager::WorkerFactory factory)
    : m_project(project), m_factory(std::move(factory)) {}

CCrawlController::~CCrawlController() {
    if (m_manager && m_state != Stopped) {
        m_manager->Stop();
    }
}

void CCrawlController::New(CMessageTarget* window) {
    if (m_manager) {
        m_manager->Stop();
    }
    m_window = window;
    m_manager = std::make_unique<CDownloadManager>(m_project, m_factory);
    m_manager->Setup(window);
    SetState(Stopped);
}

bool CCrawlController::Start(const CProgramOptions& options) {
    if (!m_manager || m_state != Stopped) {
        return false;
    }
    const std::string folder = m_project.GetDownloadFolder();
    if (folder.empty() || (!FolderExists(folder) && !CreateFolderPath(folder))) {
        return false;
    }
    SetState(Running);
    if (!m_manager->BeginCrawl(options)) {
        SetState(Stopped);
        return false;
    }
    return true;
}

bool CCrawlController::Pause() {
    if (m_state != Running || !m_manager->Stop()) {
        return false;
    }
    SetState(Paused);
    return true;
}

bool CCrawlController::Resume(const CProgramOptions& options) {
    if (m_state != Paused) {
        return false;
    }
    SetState(Running);
    if (!m_manager->Resume(options)) {
        SetState(Paused);
        return false;
    }
    return true;
}

bool CCrawlController::Stop() {
    if (m_state == Paused) {
        SetState(Stopped);
        SendMessage(m_window, WM_DL_FINISHED);
        return true;
    }
    if (m_state != Running || !m_manager->Stop()) {
        return false;
    }
    SetState(Stopped);
    return true;
}

bool CCrawlController::ClearUrls() {
    if (!m_manager || m_state == Running || m_manager->GetStats().queued == 0) {
        return false;
    }
    m_manager->Reset();
    m_manager->Setup(m_window);
    SetState(Stopped);
    return true;
}

bool CCrawlController::OnCrawlFinished() {
    if (m_state == Paused) {
        return false;
    }
    if (m_state == Running) {
        SetState(Stopped);
    }
    return true;
}

bool CCrawlController::IsModified() const {
    return m_modified || (m_manager && m_manager->IsModified());
}

CDownloadList::Stats CCrawlController::GetStats() const {
    return m_manager ? m_manager->GetStats() : CDownloadList::Stats{};
}

void CCrawlController::Store(CStream& stream) {
    // The document writes this section only for a controller with a manager.
    stream << static_cast<std::int32_t>(m_state == Running ? Paused : m_state);
    m_manager->Store(stream);
    m_modified = false;
}

void CCrawlController::Load(CStream& stream, CMessageTarget* window) {
    New(window);
    std::int32_t state = 0;
    stream >> state;
    if (state < Stopped || state > Paused) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    m_manager->Load(stream);
    // No thread runs after a load, so a crawl stored as running can only
    // come back paused; left Running, no command could move it on.
    m_state = state == Running ? Paused : static_cast<ProjectRunState>(state);
    m_modified = false;
}

void CCrawlController::SetState(ProjectRunState state) {
    if (state != m_state) {
        m_state = state;
        m_modified = true;
        if (m_manager) {
            m_manager->RecordState(state);
        }
    }
}

std::size_t CCrawlController::Replay(const std::vector<CJournalEntry>& records) {
    std::size_t made = 0;
    m_manager->EditQueue([&](CDownloadList& list, std::deque<CDownloadTask>& queue) {
        CJournalReplay replay(list, queue, m_state);
        while (made < records.size() && replay.Apply(records[made])) {
            ++made;
        }
        replay.Finish();
    });
    m_modified = m_modified || made > 0;
    return made;
}
