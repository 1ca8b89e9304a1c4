// Builds the help file of the downloaded site on a thread of its own while a
// modal dialog shows the phases and offers to cancel. The dialog stays open
// after a failed build until the user cancels it.
#pragma once

#include <QDialog>
#include <thread>

#include "chm/compile_chm_file.h"
#include "platform/wait_event.h"

class CUserPrompts;
class QLabel;
class QProgressBar;

class CCompileChmDialog : public QDialog, private CChmProgressSink {
    Q_OBJECT
public:
    // The build's messages and the question on Cancel go through prompts.
    CCompileChmDialog(CUserPrompts& prompts, QWidget* parent);
    // Stops a build that still runs.
    ~CCompileChmDialog() override;

    // True when the help file reached the request's target.
    bool Run(const CChmRequest& request);

    void reject() override;

private:
    // On the build's thread; each hands its report to the dialog's thread.
    void OnBegin(std::size_t range, LPARAM phase) override;
    void OnStep(LPARAM phase) override;
    void OnEnd(ResultCode result, LPARAM phase) override;
    void OnBuildEnded();
    void StopBuild();

    CUserPrompts& m_prompts;
    QLabel* m_label;
    QProgressBar* m_progress;
    CWaitEvent m_cancel;
    CChmOutcome m_outcome;
    std::thread m_build;
};
