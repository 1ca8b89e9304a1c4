#include "cli/mirror_command.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/mirror_options.h"
#include "cli/progress_display.h"
#include "engine/crawl_controller.h"
#include "engine/crawl_messages.h"
#include "engine/download_task.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"
#include "platform/message_target.h"
#include "platform/wait_event.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTickPeriod = std::chrono::seconds(1);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

// The descriptor that the SIGINT handler writes to; a write is all that a
// signal handler may do here.
int g_interruptFd = -1;

void OnInterrupt(int /*signal*/) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_interruptFd, &one, sizeof one);
}

// Routes Ctrl+C to an event for the life of the crawl, then restores the
// previous handler.
class CInterruptGuard {
public:
    explicit CInterruptGuard(CWaitEvent& event) {
        g_interruptFd = event.GetFd();
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previous);
    }
    ~CInterruptGuard() {
        ::sigaction(SIGINT, &m_previous, nullptr);
        g_interruptFd = -1;
    }
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

private:
    struct sigaction m_previous {};
};

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// The window of the command line: turns the crawl's messages into the display.
class CMirrorWindow {
public:
    CMirrorWindow(CMessageQueue& queue, CProgressDisplay& display, CCrawlController& controller)
        : m_display(display),
          m_controller(controller),
          m_target(queue, [this](UINT message, WPARAM wParam, LPARAM lParam) {
              return Handle(message, static_cast<int>(wParam), lParam);
          }) {}

    CMessageTarget* Target() { return &m_target; }
    bool IsCompleted() const { return m_completed; }

private:
    LRESULT Handle(UINT message, int index, LPARAM lParam) {
        switch (message) {
            case WM_DL_THREAD_URL:
                m_display.SetWorkerUrl(index, reinterpret_cast<const char*>(lParam));
                break;
            case WM_DL_THREAD_PROGRESS:
                m_display.SetWorkerSize(index, static_cast<std::uint32_t>(lParam));
                break;
            case WM_DL_BYTES: {
                auto* notifier = reinterpret_cast<CProgressNotifier*>(lParam);
                m_display.AddBytes(notifier->TakeUnreportedBytes());
                m_display.SetWorkerProgress(index, notifier->GetRunningCount(),
                                            notifier->GetExpectedSize());
                break;
            }
            case WM_DL_FILE_SAVED:
                m_display.FileSaved(index, *reinterpret_cast<const CDownloadTask*>(lParam));
                break;
            case WM_DL_URL_DONE:
                m_display.UrlFailed(index, *reinterpret_cast<const CDownloadTask*>(lParam));
                break;
            case WM_DL_FINISHED:
                m_completed = m_controller.OnCrawlFinished() || m_completed;
                break;
            default:
                break;
        }
        return 0;
    }

    CProgressDisplay& m_display;
    CCrawlController& m_controller;
    CMessageTarget m_target;
    bool m_completed = false;
};

// Pumps the window messages until the crawl completes or Ctrl+C arrives;
// true when it completed.
bool PumpCrawl(CMessageQueue& queue, CMirrorWindow& window, CProgressDisplay& display,
               const CWaitEvent& interrupt) {
    const CWaitEvent* const events[] = {&queue.GetInputEvent(), &interrupt};
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    Clock::time_point nextRedraw = Clock::now();
    while (!window.IsCompleted()) {
        const Clock::time_point now = Clock::now();
        if (now >= nextTick) {
            display.Tick();
            nextTick += kTickPeriod;
        }
        if (now >= nextRedraw) {
            display.Redraw();
            nextRedraw = now + kRedrawPeriod;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(nextTick, nextRedraw) - Clock::now());
        if (WaitForAny(events, static_cast<std::uint32_t>(std::max<long>(0, wait.count()))) ==
            WAIT_OBJECT_0 + 1) {
            return false;
        }
        queue.PumpMessages();
    }
    return true;
}

}  // namespace

int RunMirror(const CMirrorOptions& options, std::ostream& out, std::ostream& err) {
    GetProgramOptions().Load();
    CProjectSettings project;
    std::string error;
    if (!BuildProject(options, project, error)) {
        err << "tarnwick-cli: " << error << "\n";
        return 1;
    }
    CMessageQueue queue;
    CWaitEvent interrupt;
    CInterruptGuard guard(interrupt);
    CProgressDisplay display(out, ::isatty(STDOUT_FILENO) == 1, project.GetThreadCount(),
                             TerminalWidth());
    CCrawlController controller(project);
    CMirrorWindow window(queue, display, controller);
    controller.New(window.Target());

    out << "Mirroring " << project.GetStartUrl().GetSourceText() << " into "
        << project.GetDownloadFolder() << " with " << project.GetThreadCount() << " threads\n";
    if (!controller.Start()) {
        err << "tarnwick-cli: cannot create the download folder " << project.GetDownloadFolder()
            << "\n";
        return 1;
    }
    if (!PumpCrawl(queue, window, display, interrupt)) {
        display.PrintLine("Interrupted: pausing the crawl...");
        controller.Pause();
        // A crawl that ended before the pause has its end message queued.
        queue.PumpMessages();
        if (!window.IsCompleted()) {
            display.Finish();
            out << "Paused: " << display.GetFilesSaved() << " files were downloaded.\n";
            return 130;
        }
    }
    display.Finish();
    out << "Project completed: " << display.GetFilesSaved() << " files were downloaded.\n";
    return 0;
}
