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
#include "engine/quillmoor_doc.h"
#include "platform/message_target.h"

class CCrawlSession {
public:
    // Exit statuses of Run.
    static constexpr int kCompleted = 0;
    static constexpr int kFailed = 1;
    static constexpr int kInterrupted = 130;

    // The queue binds to the calling thread, which must own none yet.
    CCrawlSession(std::ostream& out, std::ostream& err);
    ~CCrawlSession();
    CCrawlSession(const CCrawlSession&) = delete;
    CCrawlSession& operator=(const CCrawlSession&) = delete;

    // Each prints why it failed.
    bool Open(const std::string& path);
    bool Create(const std::string& path, const CProjectSettings& settings);

    // Starts a stopped project from its first URL (saving it first, so that
    // its download folder is on record) or resumes a paused one, and runs it
    // until it ends or is interrupted; the project is saved every
    // autosave while the crawl runs, and when the command ends. The crawl
    // works with options.
    int Run(std::chrono::milliseconds autosave, const CProgramOptions& options);

    CQuillmoorDoc& GetDocument() { return m_doc; }

private:
    LRESULT Handle(UINT message, int index, LPARAM lParam);
    bool StartCrawl(const CProgramOptions& options);
    // Pumps the crawl's messages; false when an interrupt came first.
    bool PumpCrawl(std::chrono::milliseconds autosave);
    void AutoSave();
    int PauseAndSave();
    int Complete(int status);
    void SaveAtEnd();

    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_terminal;
    CMessageQueue m_queue;
    CInterruptWatch m_interrupts;
    CMessageTarget m_window;
    // Handles the crawl's messages until the document is gone.
    std::unique_ptr<CProgressDisplay> m_display;
    CQuillmoorDoc m_doc;
    bool m_finished = false;
    bool m_autoSaveFailed = false;
};
