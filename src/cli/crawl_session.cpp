#include "cli/crawl_session.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "cli/mirror_options.h"
#include "cli/printable_text.h"
#include "cli/update_html_progress.h"
#include "engine/download_task.h"
#include "engine/filter_list.h"
#include "engine/progress_notifier.h"
#include "engine/result_text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTickPeriod = std::chrono::seconds(1);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
// How long posted progress may wait after a pump for the next one, so that a
// fast crawl wakes this thread once for many responses instead of for each.
constexpr std::uint32_t kPostedHoldMs = 20;

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// "4.2 s", "3 min 5 s", "2 h 7 min".
std::string FormatDuration(std::chrono::milliseconds elapsed) {
    const long long seconds = elapsed.count() / 1000;
    char text[48];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(elapsed.count()) / 1000);
    } else if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%lld min %lld s", seconds / 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld h %lld min", seconds / 3600, seconds % 3600 / 60);
    }
    return text;
}

std::uint32_t MillisecondsUntil(Clock::time_point when) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
    return static_cast<std::uint32_t>(std::max<long>(0, wait.count()));
}

// A big page elsewhere in the crawl may hold nearly all the memory there is
// for a moment; a progress line that cannot be built then is dropped, since
// the crawl matters more than its display.
template <class Show>
void ShowBestEffort(Show&& show) noexcept {
    try {
        show();
    } catch (const std::bad_alloc&) {
    }
}

FailureContext FailureContextOf(const CProjectSettings& settings, const CProgramOptions& options) {
    FailureContext context;
    context.siteCredentials = !settings.GetUser().empty();
    context.connectTimeout = options.GetConnectionTimeout();
    context.requestTimeout = options.GetRequestTimeout();
    context.transferLimit = options.GetTransferLimit();
    CFilterList filters;
    settings.GetRules().CopyFiltersTo(filters);
    context.filterGroups = DescribeFilterGroups(filters);
    return context;
}

}  // namespace

CCrawlSession::CCrawlSession(std::ostream& out, std::ostream& err, bool terminal)
    : m_out(out),
      m_err(err),
      m_terminal(terminal),
      m_window(m_queue,
               [this](UINT message, WPARAM wParam, LPARAM lParam) {
                   DispatchCrawlMessage(message, wParam, lParam, *this);
                   return LRESULT{0};
               }),
      m_doc(&m_window) {}

CCrawlSession::~CCrawlSession() = default;

bool CCrawlSession::Open(const std::string& path) {
    if (m_doc.OpenDocument(path)) {
        return true;
    }
    m_err << "tarnwick-cli: " << PrintableText(path) << ": "
          << CQuillmoorDoc::GetLoadErrorMessage(m_doc.GetLoadError()) << "\n";
    return false;
}

bool CCrawlSession::Create(const std::string& path, const CProjectSettings& settings) {
    if (m_doc.NewProject(path, settings)) {
        return true;
    }
    m_err << "tarnwick-cli: the project file " << PrintableText(path) << " could not be written\n";
    return false;
}

void CCrawlSession::OnCrawlFinished() {
    // The end message of a pause is not the end of the crawl.
    m_finished = m_doc.GetController().OnCrawlFinished() || m_finished;
}

void CCrawlSession::OnWorkerUrl(int worker, std::uint32_t task, std::string_view url) {
    if (m_display) {
        ShowBestEffort([&] { m_display->SetWorkerUrl(worker, task, std::string(url)); });
    }
}

void CCrawlSession::OnWorkerSize(int worker, std::uint32_t task, std::uint32_t size) {
    if (m_display) {
        ShowBestEffort([&] { m_display->SetWorkerSize(worker, task, size); });
    }
}

void CCrawlSession::OnWorkerBytes(int worker, CProgressNotifier& notifier) {
    if (m_display) {
        m_display->AddBytes(notifier.TakeUnreportedBytes());
        ShowBestEffort([&] {
            m_display->SetWorkerProgress(worker, notifier.GetRunningCount(),
                                         notifier.GetExpectedSize());
        });
    }
}

void CCrawlSession::OnFileSaved(int worker, const CDownloadTask& task) {
    if (m_display) {
        ShowBestEffort([&] { m_display->FileSaved(worker, task); });
    }
}

void CCrawlSession::OnUrlFailed(int worker, const CDownloadTask& task) {
    if (m_display) {
        ShowBestEffort([&] { m_display->UrlFailed(worker, task); });
    }
}

void CCrawlSession::MakeDisplay() {
    m_display = std::make_unique<CProgressDisplay>(
        m_out, m_terminal, m_doc.GetSettings().GetThreadCount(), TerminalWidth());
    m_display->SetErrorStream(m_err);
    m_display->SetVerbosity(m_verbosity);
    m_started = Clock::now();
}

int CCrawlSession::Run(std::chrono::milliseconds autosave, const CProgramOptions& options) {
    const CProjectSettings& settings = m_doc.GetSettings();
    MakeDisplay();
    m_display->SetFailureContext(FailureContextOf(settings, options));
    const bool resume = m_doc.GetController().GetState() == Paused;
    if (m_verbosity != CProgressDisplay::Verbosity::kQuiet) {
        m_out << (resume ? "Resuming " : "Starting ")
              << PrintableText(HideUrlPassword(settings.GetStartUrl().GetSourceText())) << " into "
              << PrintableText(settings.GetDownloadFolder()) << " with "
              << settings.GetThreadCount() << " threads\n";
    }
    if (!StartCrawl(options)) {
        return kFailed;
    }
    if (!PumpCrawl(autosave)) {
        return PauseAndSave();
    }
    return Complete(kCompleted);
}

int CCrawlSession::StopPaused() {
    if (m_doc.GetController().GetState() != Paused) {
        m_err << "tarnwick-cli: " << m_doc.GetPathName() << " is not paused\n";
        return kFailed;
    }
    MakeDisplay();
    m_doc.GetController().Stop();
    m_queue.PumpMessages();
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
        m_err << "tarnwick-cli: " << PrintableText(m_doc.GetPathName()) << " could not be saved\n";
        return false;
    }
    CInterruptsBlocked blocked;
    if (controller.Start(options)) {
        return true;
    }
    m_err << "tarnwick-cli: cannot create the download folder "
          << PrintableText(m_doc.GetSettings().GetDownloadFolder()) << "\n";
    return false;
}

bool CCrawlSession::PumpCrawl(std::chrono::milliseconds autosave) {
    const CWaitEvent* const events[] = {&m_queue.GetInputEvent(), &m_interrupts.GetEvent()};
    // A sent message holds up the thread that sent it, so it never waits.
    std::vector<const CWaitEvent*> sentOnly{&m_interrupts.GetEvent()};
    m_queue.AppendWakeEvents(QS_SENDMESSAGE, sentOnly);
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    Clock::time_point nextRedraw = Clock::now();
    m_doc.SetAutoSaveInterval(autosave);
    while (!m_finished) {
        const Clock::time_point now = Clock::now();
        if (now >= nextTick) {
            ShowBestEffort([&] { m_display->Tick(); });
            nextTick += kTickPeriod;
        }
        if (now >= nextRedraw) {
            ShowBestEffort([&] { m_display->Redraw(); });
            nextRedraw = now + kRedrawPeriod;
        }
        AutoSave();
        const std::uint32_t wait =
            MillisecondsUntil(std::min({nextTick, nextRedraw, m_doc.GetAutoSaveDue()}));
        if (WaitForAny(events, wait) == WAIT_OBJECT_0 + 1) {
            return false;
        }
        m_queue.PumpMessages();
        if (!m_finished && WaitForAny(sentOnly, kPostedHoldMs) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return true;
}

void CCrawlSession::AutoSave() {
    if (m_doc.AutoSaveIfDue() || m_autoSaveFailed) {
        return;
    }
    m_autoSaveFailed = true;
    ShowBestEffort(
        [&] { m_display->PrintError("Warning: " + m_doc.GetPathName() + " could not be saved"); });
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
    m_out << "Paused: " << CProgressDisplay::CountOf(m_display->GetFilesSaved(), "file")
          << (m_display->GetFilesSaved() == 1 ? " was" : " were") << " downloaded.\n"
          << "Resume with: tarnwick-cli start " << PrintableText(m_doc.GetPathName()) << "\n";
    return kInterrupted;
}

int CCrawlSession::Complete(int status) {
    m_display->Finish();
    m_interrupts.Acknowledge();
    CCrawlController& controller = m_doc.GetController();
    // The pass may take long: killed during it, the project must still know
    // every page fetched since the last autosave, or the next start would
    // fetch them again and leave their links absolute until then. A failure
    // here is reported by the save after the pass.
    m_doc.Save();
    const bool quiet = m_verbosity == CProgressDisplay::Verbosity::kQuiet;
    CUpdateHtmlProgress progress(m_queue, quiet ? m_discard : m_out, m_terminal && !quiet);
    progress.Run(controller.GetManager()->GetList(), m_doc.GetSettings().GetDownloadFolder(),
                 m_interrupts);
    // The rewritten flags changed outside the crawl's own bookkeeping.
    m_doc.SetModifiedFlag(true);
    SaveAtEnd();
    const int result = status == kCompleted ? m_display->GetExitStatus() : status;
    // A run that went well says nothing when asked to be quiet, so that a
    // job scheduler mails only trouble.
    if (!quiet || result != kCompleted) {
        m_out << "Project completed: " << m_display->GetFilesSaved() << " files were downloaded.\n"
              << SummaryLine() << "\n";
    }
    return result;
}

std::string CCrawlSession::SummaryLine() const {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started);
    return CProgressDisplay::CountOf(m_display->GetFilesSaved(), "file") + " saved, " +
           CProgressDisplay::FormatBytes(m_display->GetBytesTotal()) + " in " +
           FormatDuration(elapsed) + ", " +
           CProgressDisplay::CountOf(m_display->GetUrlsFailed(), "URL") + " failed";
}

void CCrawlSession::SaveAtEnd() {
    if (!m_doc.Save()) {
        m_err << "tarnwick-cli: " << PrintableText(m_doc.GetPathName()) << " could not be saved\n";
    }
}
