// The command line's stand-in for the link update dialog: runs the pass on
// its thread, shows how far it got, and cancels it on Ctrl+C.
#pragma once

#include <ostream>
#include <string>

#include "engine/crawl_observer.h"
#include "platform/message_target.h"

class CDownloadList;
class CInterruptWatch;

class CUpdateHtmlProgress : private ICrawlObserver {
public:
    CUpdateHtmlProgress(CMessageQueue& queue, std::ostream& out, bool terminal);

    // Rewrites the links of the list's saved pages below downloadFolder.
    // True when the pass ran to its end; false when it was cancelled by an
    // interrupt (its pages so far stay rewritten) or could not start.
    bool Run(CDownloadList& list, const std::string& downloadFolder, CInterruptWatch& interrupts);

private:
    void OnUpdateBegin(long fileCount) override;
    void OnUpdateStep() override;
    void OnUpdateEnd() override;
    void ShowCount();

    CMessageQueue& m_queue;
    std::ostream& m_out;
    const bool m_terminal;
    CMessageTarget m_target;
    long m_total = 0;
    long m_done = 0;
    bool m_ended = false;
};
