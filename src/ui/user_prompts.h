// Every question and message box of the main window goes through here, so that
// the window's flows can run without anyone at the screen.
#pragma once

#include <QString>

#include "engine/quillmoor_doc.h"
#include "ui/help_topic.h"

class QWidget;

class CUserPrompts {
public:
    virtual ~CUserPrompts() = default;

    // With OK and Cancel buttons and the exclamation icon; true for OK.
    virtual bool AskOkCancel(const QString& text) = 0;
    // With Yes and No buttons and the exclamation icon; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // With Yes and No buttons and the question icon; true for Yes.
    virtual bool AskQuestion(const QString& text) = 0;
    virtual CQuillmoorDoc::SaveAnswer AskToSave(const QString& prompt) = 0;
    // Captioned with the program's name, with an OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // Captioned with the program's name, with an OK button and the
    // exclamation icon: the dialogs' refusals of what the user entered, and
    // a project file that cannot be opened.
    virtual void ShowWarning(const QString& text) { ShowMessage(text); }
    // Empty when cancelled. The filter is the dialog's, e.g.
    // "Project Files (*.tkp)"; the default suffix comes without its dot. The
    // dialog opens in folder, or where it chooses when that is empty.
    virtual QString AskSaveFileName(const QString& filter, const QString& defaultSuffix,
                                    const QString& initialName, const QString& folder) = 0;
    virtual QString AskOpenFileName(const QString& filter, const QString& folder) = 0;
    // The project sheet: newProject when it creates one. False unless OK.
    virtual bool EditProject(CProjectSettings& settings, bool newProject) = 0;
    virtual void ShowSummary(const CDownloadList::Stats& stats) = 0;
    // The shell's "open" for a local file; failures are ignored.
    virtual void OpenWithShell(const QString& path) = 0;
    // A web address in the default browser; failures are ignored.
    virtual void OpenUrl(const QString& url) = 0;
    virtual void ShowHelpTopic(HelpTopic topic) = 0;
};

// Asks with the usual dialogs, owned by parent.
class CDialogPrompts : public CUserPrompts {
public:
    explicit CDialogPrompts(QWidget* parent) : m_parent(parent) {}

    bool AskOkCancel(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    bool AskQuestion(const QString& text) override;
    CQuillmoorDoc::SaveAnswer AskToSave(const QString& prompt) override;
    void ShowMessage(const QString& text) override;
    void ShowWarning(const QString& text) override;
    QString AskSaveFileName(const QString& filter, const QString& defaultSuffix,
                            const QString& initialName, const QString& folder) override;
    QString AskOpenFileName(const QString& filter, const QString& folder) override;
    bool EditProject(CProjectSettings& settings, bool newProject) override;
    void ShowSummary(const CDownloadList::Stats& stats) override;
    void OpenWithShell(const QString& path) override;
    void OpenUrl(const QString& url) override;
    void ShowHelpTopic(HelpTopic topic) override;

private:
    QWidget* m_parent;
};

// "1,234,567" for 1234567.
QString FormatGroupedNumber(unsigned long long value);
