#include "cli/crawl_session.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "cli/update_html_progress.h"
#include "engine/crawl_messages.h"
#include "engine/download_task.h"
#include "engine/progress_notifier.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTickPeriod = std::chrono::seconds(1);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

std::uint32_t MillisecondsUntil(Clock::time_point when) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
    return static_cast<std::uint32_t>(std::max<long>(0, wait.count()));
}

}  // namespace

CCrawlSession::CCrawlSession(std::ostream& out, std::ostream& err)
    : m_out(out),
      m_err(err),
      m_terminal(::isatty(STDOUT_FILENO) == 1),
      m_window(m_queue,
               [this](UINT message, WPARAM wParam, LPARAM lParam) {
                   return Handle(message, static_cast<int>(wParam), lParam);
               }),
      m_doc(&m_window) {}

CCrawlSession::~CCrawlSession() = default;

bool CCrawlSession::Open(const std::string& path) {
    if (m_doc.OpenDocument(path)) {
        return true;
    }
    m_err << "tarnwick-cli: " << path << ": "
          << CQuillmoorDoc::GetLoadErrorMessage(m_doc.GetLoadError()) << "\n";
    return false;
}

bool CCrawlSession::Create(const std::string& path, const CProjectSettings& settings) {
    if (m_doc.NewProject(path, settings)) {
        return true;
    }
    m_err << "tarnwick-cli: the project file " << path << " could not be written\n";
    return false;
}

LRESULT CCrawlSession::Handle(UINT message, int index, LPARAM lParam) {
    if (message == WM_DL_FINISHED) {
        // The end message of a pause is not the end of the crawl.
        m_finished = m_doc.GetController().OnCrawlFinished() || m_finished;
        return 0;
    }
    if (!m_display) {
        return 0;
    }
    switch (message) {
        case WM_DL_THREAD_URL:
            m_display->SetWorkerUrl(index, reinterpret_cast<const char*>(lParam));
            break;
        case WM_DL_THREAD_PROGRESS:
            m_display->SetWorkerSize(index, static_cast<std::uint32_t>(lParam));
            break;
        case WM_DL_BYTES: {
            auto* notifier = reinterpret_cast<CProgressNotifier*>(lParam);
            m_display->AddBytes(notifier->TakeUnreportedBytes());
            m_display->SetWorkerProgress(index, notifier->GetRunningCount(),
                                         notifier->GetExpectedSize());
            break;
        }
        case WM_DL_FILE_SAVED:
            m_display->FileSaved(index, *reinterpret_cast<const CDownloadTask*>(lParam));
            break;
        case WM_DL_URL_DONE:
            m_display->UrlFailed(index, *reinterpret_cast<const CDownloadTask*>(lParam));
            break;
        default:
            break;
    }
    return 0;
}

int CCrawlSession::Run(std::chrono::milliseconds autosave, const CProgramOptions& options) {
    const CProjectSettings& settings = m_doc.GetSettings();
    m_display = std::make_unique<CProgressDisplay>(m_out, m_terminal, settings.GetThreadCount(),
                                                   TerminalWidth());
    const bool resume = m_doc.GetController().GetState() == Paused;
    m_out << (resume ? "Resuming " : "Starting ") << settings.GetStartUrl().GetSourceText()
          << " into " << settings.GetDownloadFolder() << " with " << settings.GetThreadCount()
          << " threads\n";
    if (!StartCrawl(options)) {
        return kFailed;
    }
    if (!PumpCrawl(autosave)) {
        return PauseAndSave();
    }
    return Complete(kCompleted);
}

bool CCrawlSession::StartCrawl(const CProgramOptions& options) {
    CCrawlController& controller = m_doc.GetController();
    if (controller.GetState() == Paused) {
        CInterruptsBlocked blocked;
        if (controller.Resume(options)) {
            return true;
        }
        m_err << "tarnwick-cli: the crawl could not be resumed\n";
        return false;
    }
    if (!m_doc.Save()) {
        m_err << "tarnwick-cli: " << m_doc.GetPathName() << " could not be saved\n";
        return false;
    }
    CInterruptsBlocked blocked;
    if (controller.Start(options)) {
        return true;
    }
    m_err << "tarnwick-cli: cannot create the download folder "
          << m_doc.GetSettings().GetDownloadFolder() << "\n";
    return false;
}

bool CCrawlSession::PumpCrawl(std::chrono::milliseconds autosave) {
    const CWaitEvent* const events[] = {&m_queue.GetInputEvent(), &m_interrupts.GetEvent()};
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    Clock::time_point nextRedraw = Clock::now();
    Clock::time_point nextSave = Clock::now() + autosave;
    while (!m_finished) {
        const Clock::time_point now = Clock::now();
        if (now >= nextTick) {
            m_display->Tick();
            nextTick += kTickPeriod;
        }
        if (now >= nextRedraw) {
            m_display->Redraw();
            nextRedraw = now + kRedrawPeriod;
        }
        if (now >= nextSave) {
            AutoSave();
            nextSave = Clock::now() + autosave;
        }
        const std::uint32_t wait = MillisecondsUntil(std::min({nextTick, nextRedraw, nextSave}));
        if (WaitForAny(events, wait) == WAIT_OBJECT_0 + 1) {
            return false;
        }
        m_queue.PumpMessages();
    }
    return true;
}

void CCrawlSession::AutoSave() {
    // A running crawl is stored as paused, so that a crash reopens it there.
    if (m_doc.GetController().GetState() != Running || m_doc.Save() || m_autoSaveFailed) {
        return;
    }
    m_autoSaveFailed = true;
    m_display->PrintLine("Warning: " + m_doc.GetPathName() + " could not be saved");
}

int CCrawlSession::PauseAndSave() {
    m_display->PrintLine("Interrupted: pausing the crawl...");
    m_display->PrintLine("(Ctrl+C again stops the project instead)");
    m_doc.GetController().Pause();
    // A crawl that ended before the pause has its end message queued.
    m_queue.PumpMessages();
    if (m_finished) {
        return Complete(kInterrupted);
    }
    if (m_interrupts.GetCount() > 1) {
        // Stopping a paused crawl ends the project as if it had completed.
        m_doc.GetController().Stop();
        return Complete(kInterrupted);
    }
    m_display->Finish();
    SaveAtEnd();
    m_out << "Paused: " << m_display->GetFilesSaved() << " files were downloaded.\n"
          << "Resume with: tarnwick-cli start " << m_doc.GetPathName() << "\n";
    return kInterrupted;
}

int CCrawlSession::Complete(int status) {
    m_display->Finish();
    m_interrupts.Acknowledge();
    CCrawlController& controller = m_doc.GetController();
    CUpdateHtmlProgress progress(m_queue, m_out, m_terminal);
    progress.Run(controller.GetManager()->GetList(), m_doc.GetSettings().GetDownloadFolder(),
                 m_interrupts);
    // The rewritten flags changed outside the crawl's own bookkeeping.
    m_doc.SetModifiedFlag(true);
    SaveAtEnd();
    m_out << "Project completed: " << m_display->GetFilesSaved() << " files were downloaded.\n";
    return status;
}

void CCrawlSession::SaveAtEnd() {
    if (!m_doc.Save()) {
        m_err << "tarnwick-cli: " << m_doc.GetPathName() << " could not be saved\n";
    }
}
