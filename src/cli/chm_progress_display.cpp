#include "cli/chm_progress_display.h"

#include "chm/chm_builder.h"
#include "chm/chm_compilation.h"

CChmProgressDisplay::CChmProgressDisplay(std::ostream& out, std::ostream& err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal) {}

void CChmProgressDisplay::OnBegin(std::size_t range, LPARAM phase) {
    // A phase begins only after the one before it ended well; that end is
    // posted and this begin is sent, so it can still be on its way.
    CompletePhase();
    if (const char* label = GetChmPhaseLabel(phase)) {
        m_label = label;
    }
    m_phase = phase;
    m_range = range;
    m_position = 0;
    m_ended = false;
    Show();
}

void CChmProgressDisplay::OnStep(LPARAM phase) {
    // The counting phase's total is unknown until it ends, late steps belong
    // to a phase already shown complete, and a progress bar never goes past
    // its top.
    if (phase == kChmPhaseCount || phase != m_phase || m_ended || m_position >= m_range) {
        return;
    }
    ++m_position;
    if (m_terminal) {
        Show();
    }
}

void CChmProgressDisplay::OnEnd(ResultCode result, LPARAM phase) {
    if (phase == m_phase) {
        CompletePhase();
    }
    if (const char* message = GetChmEndMessage(result, phase)) {
        m_err << message << "\n" << std::flush;
        m_showedMessage = true;
    }
}

void CChmProgressDisplay::CompletePhase() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_position = m_range;
    if (m_terminal || m_range > 0) {
        Show();
    }
    CloseLine();
}

void CChmProgressDisplay::Finish() {
    CloseLine();
}

std::string CChmProgressDisplay::Line() const {
    if (m_range == 0) {
        return m_label;
    }
    return m_label + " " + std::to_string(m_position) + "/" + std::to_string(m_range);
}

void CChmProgressDisplay::Show() {
    if (m_terminal) {
        // Back to the line's start, the new text, then the old text's rest
        // erased.
        m_out << "\r" << Line() << "\x1b[K" << std::flush;
        m_lineOpen = true;
    } else {
        m_out << Line() << "\n" << std::flush;
    }
}

void CChmProgressDisplay::CloseLine() {
    if (m_lineOpen) {
        m_out << "\n" << std::flush;
        m_lineOpen = false;
    }
}
