// A user at the screen who answers the main window's questions from a script
// and notes what the program showed, for the desktop program's tests.
#pragma once

#include <QList>
#include <QStringList>
#include <string>

#include "ui/user_prompts.h"

namespace testing_support {

// What the scripted user answers, and what the program showed and asked.
struct Script {
    std::string projectUrl;
    int projectThreads = 1;
    bool projectAccepted = true;
    QString saveFileName;
    QString openFileName;
    // Answered in turn before saveFileName.
    QStringList firstSaveFileNames;
    CQuillmoorDoc::SaveAnswer saveAnswer = CQuillmoorDoc::SaveAnswer::No;
    bool answerYes = true;

    QStringList messages;
    // Those of the messages shown with the exclamation icon.
    QStringList warnings;
    QStringList questions;
    QStringList proposedNames;
    // The folders that the file dialogs opened in, in turn.
    QStringList dialogFolders;
    int projectSheets = 0;
    QStringList opened;
    QList<HelpTopic> helpTopics;
};

class ScriptedPrompts : public CUserPrompts {
public:
    explicit ScriptedPrompts(Script& script) : m_script(script) {}

    bool AskOkCancel(const QString&) override { return m_script.answerYes; }
    bool AskYesNo(const QString&) override { return m_script.answerYes; }
    bool AskQuestion(const QString& text) override {
        m_script.questions << text;
        return m_script.answerYes;
    }
    CQuillmoorDoc::SaveAnswer AskToSave(const QString&) override { return m_script.saveAnswer; }
    void ShowMessage(const QString& text) override { m_script.messages << text; }
    void ShowWarning(const QString& text) override {
        m_script.messages << text;
        m_script.warnings << text;
    }
    QString AskSaveFileName(const QString&, const QString&, const QString& initialName,
                            const QString& folder) override {
        m_script.proposedNames << initialName;
        m_script.dialogFolders << folder;
        return m_script.firstSaveFileNames.isEmpty() ? m_script.saveFileName
                                                     : m_script.firstSaveFileNames.takeFirst();
    }
    QString AskOpenFileName(const QString&, const QString& folder) override {
        m_script.dialogFolders << folder;
        return m_script.openFileName;
    }
    bool EditProject(CProjectSettings& settings, bool newProject) override {
        ++m_script.projectSheets;
        if (!m_script.projectAccepted || !newProject) {
            return false;
        }
        CUrl url;
        url.Parse(m_script.projectUrl);
        settings.SetStartUrl(url);
        settings.SetThreadCount(m_script.projectThreads);
        settings.GetRules().SetLevels(-1, 0);
        settings.GetRules().SetScope(url.GetHost());
        return true;
    }
    void ShowSummary(const CDownloadList::Stats&) override {}
    void OpenWithShell(const QString& path) override { m_script.opened << path; }
    void OpenUrl(const QString& url) override { m_script.opened << url; }
    void ShowHelpTopic(HelpTopic topic) override { m_script.helpTopics << topic; }

private:
    Script& m_script;
};

}  // namespace testing_support
