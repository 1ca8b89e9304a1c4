#include "cli/update_html_progress.h"

#include "cli/interrupt_watch.h"
#include "cli/progress_display.h"
#include "html/update_html_thread.h"
#include "storage/file_path.h"

namespace {

constexpr std::uint32_t kStepHoldMs = 20;

}  // namespace

CUpdateHtmlProgress::CUpdateHtmlProgress(CMessageQueue& queue, std::ostream& out, bool terminal)
    : m_queue(queue),
      m_out(out),
      m_terminal(terminal),
      m_target(queue, [this](UINT message, WPARAM wParam, LPARAM lParam) {
          DispatchCrawlMessage(message, wParam, lParam, *this);
          return LRESULT{0};
      }) {}

bool CUpdateHtmlProgress::Run(CDownloadList& list, const std::string& downloadFolder,
                              CInterruptWatch& interrupts) {
    m_total = m_done = 0;
    m_ended = false;
    CUpdateHtmlThread thread(list, CFilePath(downloadFolder), &m_target);
    {
        CInterruptsBlocked blocked;
        if (!thread.Start(0)) {
            m_out << "The links could not be updated.\n";
            return false;
        }
    }
    const CWaitEvent* const events[] = {&m_queue.GetInputEvent(), &interrupts.GetEvent()};
    const CWaitEvent* const interrupt[] = {&interrupts.GetEvent()};
    while (!m_ended) {
        bool interrupted = WaitForAny(events, INFINITE) == WAIT_OBJECT_0 + 1;
        if (!interrupted) {
            m_queue.PumpMessages();
            // The steps of many files are taken in one pump: after a pump
            // they wait a moment for the next, so this thread is not woken
            // for each.
            interrupted = !m_ended && WaitForAny(interrupt, kStepHoldMs) == WAIT_OBJECT_0;
        }
        if (interrupted) {
            thread.Stop();
            m_out << (m_terminal ? "\n" : "") << "Link update cancelled after " << m_done << " of "
                  << CProgressDisplay::CountOf(m_total, "file") << ".\n";
            return false;
        }
    }
    return true;
}

void CUpdateHtmlProgress::OnUpdateBegin(long fileCount) {
    m_total = fileCount;
    m_out << "Updating the links of " << CProgressDisplay::CountOf(m_total, "file")
          << (m_terminal ? "" : "\n");
    m_out.flush();
}

void CUpdateHtmlProgress::OnUpdateStep() {
    ++m_done;
    ShowCount();
}

void CUpdateHtmlProgress::OnUpdateEnd() {
    m_ended = true;
    m_out << (m_terminal ? "\n" : "") << "Links updated.\n";
    m_out.flush();
}

void CUpdateHtmlProgress::ShowCount() {
    if (m_terminal) {
        m_out << "\rUpdating the links of " << m_total << " files: " << m_done;
        m_out.flush();
    }
}
