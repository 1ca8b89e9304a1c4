// The desktop program's start-up and shut-down: the libraries it uses, the
// program settings and recent files for the whole run, the main window, and
// the project named on the command line.
#pragma once

#include <QStringList>
#include <memory>

#include "engine/download_manager.h"
#include "html/html_library.h"
#include "ui/dialog_title_fitter.h"
#include "ui/recent_file_list.h"
#include "ui/user_prompts.h"

class CMainFrame;

class CQuillmoorApp {
public:
    // Null prompts ask with the usual dialogs; the factory builds the
    // crawl's workers (the default one fetches from the network).
    explicit CQuillmoorApp(std::unique_ptr<CUserPrompts> prompts = nullptr,
                           CDownloadManager::WorkerFactory factory = {});
    ~CQuillmoorApp();
    CQuillmoorApp(const CQuillmoorApp&) = delete;
    CQuillmoorApp& operator=(const CQuillmoorApp&) = delete;

    // arguments without the program's name. False when the program is not
    // to start: a print switch, a register or unregister switch (done), or
    // a named project that could not be opened (its error has been shown)
    // or, when empty, was not made a new project.
    bool InitInstance(const QStringList& arguments);
    // Saves the settings unless the start ended before the main window, as
    // it does for printing, registering and unregistering.
    void ExitInstance();

    // The exit status after InitInstance returned false: 0 when the program
    // registered or unregistered itself as asked, else 1.
    int GetStartFailureStatus() const { return m_startFailure; }

    // Null before InitInstance has made it.
    CMainFrame* GetMainFrame() const { return m_frame.get(); }

private:
    void ReportUnregister(bool removed);
    static QString ProgramPath();

    CHtmlLibrary m_htmlLibrary;
    CDialogTitleFitter m_titleFitter;
    std::unique_ptr<CUserPrompts> m_prompts;
    CDownloadManager::WorkerFactory m_factory;
    CRecentFileList m_recentFiles;
    bool m_saveSettings = false;
    int m_startFailure = 1;
    std::unique_ptr<CMainFrame> m_frame;
};
