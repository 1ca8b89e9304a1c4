// One project's crawl on the command line, driven the way the main window
// drives it: the document owns settings and crawl, this session is its
// window. It starts or resumes the crawl, shows its progress, saves the
// project while it runs, pauses and saves on Ctrl+C (a second one stops the
// project), and once the crawl has ended updates the saved pages' links.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "cli/interrupt_watch.h"
#include "cli/progress_display.h"
#include "engine/crawl_observer.h"
#include "engine/quillmoor_doc.h"
#include "platform/message_target.h"

class CCrawlSession : private ICrawlObserver {
public:
    // Exit statuses of Run besides those that failed URLs call for.
    static constexpr int kCompleted = 0;
    static constexpr int kFailed = 1;
    static constexpr int kInterrupted = 130;

    // The queue binds to the calling thread, which must own none yet.
    // terminal: out is a terminal, where the progress is redrawn in place.
    CCrawlSession(std::ostream& out, std::ostream& err, bool terminal);
    ~CCrawlSession() override;
    CCrawlSession(const CCrawlSession&) = delete;
    CCrawlSession& operator=(const CCrawlSession&) = delete;

    // Each prints why it failed.
    bool Open(const std::string& path);
    bool Create(const std::string& path, const CProjectSettings& settings);

    // Starts a stopped project from its first URL (saving it first, so that
    // its download folder is on record) or resumes a paused one, and runs it
    // until it ends or is interrupted; the project is saved every
    // autosave while the crawl runs, and when the command ends. The crawl
    // works with options. A crawl that ran to its end returns the exit status
    // its failed URLs call for.
    int Run(std::chrono::milliseconds autosave, const CProgramOptions& options);
    // Stops a paused project: it ends as if its crawl had completed, so its
    // links are updated. Fails for a project that is not paused.
    int StopPaused();

    void SetVerbosity(CProgressDisplay::Verbosity verbosity) { m_verbosity = verbosity; }

    CQuillmoorDoc& GetDocument() { return m_doc; }
    std::ostream& GetOutputStream() { return m_out; }
    std::ostream& GetErrorStream() { return m_err; }

private:
    void OnCrawlFinished() override;
    void OnWorkerUrl(int worker, std::uint32_t task, std::string_view url) override;
    void OnWorkerSize(int worker, std::uint32_t task, std::uint32_t size) override;
    void OnWorkerBytes(int worker, CProgressNotifier& notifier) override;
    void OnFileSaved(int worker, const CDownloadTask& task) override;
    void OnUrlFailed(int worker, const CDownloadTask& task) override;
    bool StartCrawl(const CProgramOptions& options);
    // Pumps the crawl's messages; false when an interrupt came first.
    bool PumpCrawl(std::chrono::milliseconds autosave);
    void AutoSave();
    int PauseAndSave();
    int Complete(int status);
    void SaveAtEnd();
    void MakeDisplay();
    std::string SummaryLine() const;

    std::ostream& m_out;
    std::ostream& m_err;
    // Takes what quiet leaves out.
    std::ostream m_discard{nullptr};
    const bool m_terminal;
    CProgressDisplay::Verbosity m_verbosity = CProgressDisplay::Verbosity::kNormal;
    std::chrono::steady_clock::time_point m_started;
    CMessageQueue m_queue;
    CInterruptWatch m_interrupts;
    CMessageTarget m_window;
    // Handles the crawl's messages until the document is gone.
    std::unique_ptr<CProgressDisplay> m_display;
    CQuillmoorDoc m_doc;
    bool m_finished = false;
    bool m_autoSaveFailed = false;
};
