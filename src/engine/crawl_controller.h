// What the document knows of a crawl: its run state and the manager that runs
// it. The user interface's Start, Pause, Stop and Clear commands come here,
// always on the user-interface thread.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/download_manager.h"

class CMessageTarget;
class CProjectSettings;
class CStream;
struct CJournalEntry;

enum ProjectRunState : int {
    Stopped = 1,
    Running = 2,
    Paused = 3,
};

class CCrawlController {
public:
    // The project is the document's; it outlives the controller.
    explicit CCrawlController(CProjectSettings& project,
                              CDownloadManager::WorkerFactory factory = {});
    // Stops a crawl that has not stopped, then deletes the manager.
    ~CCrawlController();
    CCrawlController(const CCrawlController&) = delete;
    CCrawlController& operator=(const CCrawlController&) = delete;

    // A fresh manager with an empty list that reports to window; Stopped.
    void New(CMessageTarget* window);

    // Each returns false, changing nothing, when the state does not allow it.
    // The crawl that Start or Resume begins keeps a copy of options.
    // From Stopped: creates the download folder and crawls from the list's
    // first entry. False also when the folder cannot be created or the
    // thread cannot start.
    bool Start(const CProgramOptions& options);
    // Running -> Paused once the manager's thread has been stopped.
    bool Pause();
    // Paused -> Running: the interrupted URLs first, then the list.
    bool Resume(const CProgramOptions& options);
    // Running: stops the manager's thread. Paused: sends WM_DL_FINISHED, so
    // that the window ends the project as if the crawl had completed.
    bool Stop();
    // Stopped or Paused with a non-empty list: a new empty list, Stopped.
    bool ClearUrls();
    // The window's part of WM_DL_FINISHED: true when the crawl has ended
    // (a Running state becomes Stopped); false while Paused, whose end
    // message belongs to a pause and is ignored.
    bool OnCrawlFinished();

    ProjectRunState GetState() const { return m_state; }
    // The controller's own flag or the manager's.
    bool IsModified() const;
    bool HasManager() const { return m_manager != nullptr; }
    CDownloadManager* GetManager() { return m_manager.get(); }
    // Zeros when there is no manager.
    CDownloadList::Stats GetStats() const;

    // int state (Running written as Paused), then the manager's section.
    void Store(CStream& stream);
    // Needs the window that the loaded manager reports to. A state other
    // than 1 to 3 is ERR_STREAM_DATA.
    void Load(CStream& stream, CMessageTarget* window);
    // Makes a journal's changes again over the loaded crawl, up to the first
    // record that does not fit it; how many were made. Only with a manager.
    std::size_t Replay(const std::vector<CJournalEntry>& records);

private:
    void SetState(ProjectRunState state);

    CProjectSettings& m_project;
    CDownloadManager::WorkerFactory m_factory;
    CMessageTarget* m_window = nullptr;
    ProjectRunState m_state = Stopped;
    bool m_modified = false;
    std::unique_ptr<CDownloadManager> m_manager;
};
