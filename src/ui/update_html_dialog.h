// Runs the link update of the saved pages on its thread while a modal dialog
// shows how far it got and offers to cancel it.
#pragma once

#include <QDialog>
#include <string>

#include "engine/crawl_observer.h"
#include "platform/message_target.h"

class CDownloadList;
class CUpdateHtmlThread;
class CUserPrompts;
class QProgressBar;

class CUpdateHtmlDialog : public QDialog, private ICrawlObserver {
    Q_OBJECT
public:
    // The pass reports through queue, which the caller's event loop pumps;
    // the question on Cancel goes through prompts.
    CUpdateHtmlDialog(CMessageQueue& queue, CUserPrompts& prompts, QWidget* parent);
    ~CUpdateHtmlDialog() override;

    // Rewrites the links of the list's saved pages below downloadFolder.
    // True when the pass ran to its end.
    bool Run(CDownloadList& list, const std::string& downloadFolder);

    void reject() override;

private:
    void OnUpdateBegin(long fileCount) override;
    void OnUpdateStep() override;
    void OnUpdateEnd() override;

    CMessageTarget m_target;
    CUserPrompts& m_prompts;
    QProgressBar* m_progress;
    // Only while Run runs.
    CUpdateHtmlThread* m_thread = nullptr;
};
