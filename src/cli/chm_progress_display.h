// What the command line shows while a help file is built, in place of the
// Compile CHM File dialog: the phase's label and how many of its steps are
// done (redrawn in place on a terminal, plain lines elsewhere), and the
// dialog's messages word for word.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "chm/compile_chm_file.h"

class CChmProgressDisplay : public CChmProgressSink {
public:
    // Progress goes to out, the dialog's messages to err.
    CChmProgressDisplay(std::ostream& out, std::ostream& err, bool terminal);

    void OnBegin(std::size_t range, LPARAM phase) override;
    void OnStep(LPARAM phase) override;
    void OnEnd(ResultCode result, LPARAM phase) override;

    // A phase that a stop or an error ended has no end report: its live
    // line is closed here, so that later output starts on a line of its own.
    void Finish();

    // Whether a message already told the user why the build failed.
    bool ShowedMessage() const { return m_showedMessage; }

private:
    // The current phase's line shown at the top of its range, and closed.
    void CompletePhase();
    std::string Line() const;
    void Show();
    void CloseLine();

    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_terminal;
    // The counting phase has no label of its own: this one stays until the
    // next phase brings its own.
    std::string m_label = "Counting the files...";
    LPARAM m_phase = 0;
    bool m_ended = true;
    std::size_t m_range = 0;
    std::size_t m_position = 0;
    bool m_lineOpen = false;
    bool m_showedMessage = false;
};
