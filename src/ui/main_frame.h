// The program's one window: menus, toolbar and status bar over the project's
// document, whose crawl reports through the window messages that the frame
// pumps from the Qt event loop.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/crawl_observer.h"
#include "engine/quillmoor_doc.h"
#include "platform/message_target.h"
#include "ui/command_table.h"

class CDirView;
class CDownloadEntry;
class CFileView;
class CLocalFileMapping;
class CRecentFileList;
class CThreadView;
class CUserPrompts;
class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QSocketNotifier;
class QSplitter;

// What the status bar counts: files saved, URLs failed and URLs skipped (kept
// out by the filters or robots.txt) in this run, bytes received since the
// last one-second tick.
struct CTransferStats {
    std::uint32_t filesSaved = 0;
    std::uint32_t urlsFailed = 0;
    std::uint32_t urlsSkipped = 0;
    std::uint32_t bytes = 0;

    void AddFile() { ++filesSaved; }
    void AddFailure() { ++urlsFailed; }
    void AddSkip() { ++urlsSkipped; }
    void AddBytes(std::uint32_t count) { bytes += count; }
    void ClearBytes() { bytes = 0; }
};

class CMainFrame : public QMainWindow, private ICrawlObserver {
    Q_OBJECT
public:
    // Binds the window-message queue to the calling thread, which must own
    // none yet. Null prompts ask with the usual dialogs; the factory builds
    // the crawl's workers (the default one fetches from the network).
    CMainFrame(CRecentFileList& recentFiles, std::unique_ptr<CUserPrompts> prompts = nullptr,
               CDownloadManager::WorkerFactory factory = {});
    ~CMainFrame() override;

    // The flows of the File menu. NewProject with a path skips asking for
    // the file name. OpenProject takes an existing empty file as the name
    // of a new project.
    bool NewProject(const std::string& path = {});
    bool OpenProject(const std::string& path);

    CQuillmoorDoc& GetDocument() { return m_doc; }
    QAction* GetAction(CommandId id) const { return m_actions.at(id); }
    // Pane 0 to 2 of the status bar.
    QString GetPaneText(int pane) const;
    CDirView& GetDirView() const { return *m_dirView; }
    CFileView& GetFileView() const { return *m_fileView; }
    CThreadView& GetThreadView() const { return *m_threadView; }
    // While the views still take the opened project's download list in.
    bool IsFillingViews() const { return m_fillTimer.isActive(); }

    // Re-evaluates every command's enabling rule.
    void UpdateCommands();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClientArea();
    // F6 and Shift+F6: the focus goes to the next or the previous pane.
    void MovePaneFocus(int step);
    // The window's place and the splitters' sizes from the last run; the
    // window is centred when none is stored.
    void RestoreLayout();
    void SaveLayout() const;
    void RunCommand(CommandId id);
    void UpdateCaption();
    void UpdateRecentFileMenu();
    void RefreshStatusBar();
    // No counts and no message left from another crawl or project.
    void ResetStatusBar();
    void OnTimer();

    // Asks to stop a running project and to save a modified one; false when
    // the user cancels.
    bool PrepareToReplace();
    bool SaveModified();
    bool OpenDocumentFile(const std::string& path);
    void OnOpen();
    void OnSave();
    void OnSaveAs();
    // Writes the new project to target, or to the file the user names when
    // target is empty or cannot be written. The file written; empty when
    // the user cancelled.
    std::string WriteNewProject(const CProjectSettings& settings, std::string target);
    void OnStart();
    void OnPause();
    void OnStop();
    void OnProperties();
    void OnBrowseOffline();
    // The file dialogs, opened beside the project or in the folder last used.
    QString AskFileToSave(const QString& filter, const QString& defaultSuffix,
                          const QString& initialName);
    QString AskFileToOpen(const QString& filter);
    void OnCreateChm();
    void OnDeleteAll();
    void OnAbout();
    // Stops and forgets the project and whatever its crawl left queued.
    void ReleaseDocument();
    void ResetViews();
    // The tree and the file list from the opened project's download list,
    // a slice at a time from the event loop, so that the window keeps
    // answering while a large project fills them.
    void FillViews();
    void FillViewsSlice();
    void StopFillingViews();
    void ShowListEntry(const CDownloadEntry& entry, const CLocalFileMapping& mapping);
    void OnOpenFile();
    void OnOpenUrl();
    void EndProject();

    void OnCrawlStarted() override;
    void OnCrawlFinished() override;
    void OnWorkerUrl(int worker, std::uint32_t task, std::string_view url) override;
    void OnWorkerSize(int worker, std::uint32_t task, std::uint32_t size) override;
    void OnWorkerBytes(int worker, CProgressNotifier& notifier) override;
    void OnFileSaved(int worker, const CDownloadTask& task) override;
    void OnUrlFailed(int worker, const CDownloadTask& task) override;

    CRecentFileList& m_recentFiles;
    std::unique_ptr<CUserPrompts> m_prompts;
    CMessageQueue m_queue;
    CMessageTarget m_window;
    CQuillmoorDoc m_doc;
    QSocketNotifier* m_notifier = nullptr;
    std::map<CommandId, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QAction* m_exitSeparator = nullptr;
    std::vector<QAction*> m_recentActions;
    QLabel* m_panes[3] = {};
    QSplitter* m_outer = nullptr;
    QSplitter* m_inner = nullptr;
    CDirView* m_dirView = nullptr;
    CFileView* m_fileView = nullptr;
    CThreadView* m_threadView = nullptr;
    CTransferStats m_stats;
    QTimer m_timer;
    QTimer m_fillTimer;
    // The download list's index of the next entry the views take in.
    std::size_t m_fillNext = 0;
    bool m_autoSaveFailed = false;
};
