// The thread on which the link rewriting pass runs while its progress is
// watched, so that the watching thread stays free to show it and to cancel.
#pragma once

#include "platform/worker_thread.h"
#include "html/url_updater.h"

class CUpdateHtmlThread : public CWorkerThread {
public:
    // The list must outlive the thread; progress goes to window.
    CUpdateHtmlThread(CDownloadList& list, const CFilePath& downloadFolder, CMessageTarget* window);
    // Stops a pass that still runs: the window that watches it is going away.
    ~CUpdateHtmlThread() override;

    // Only the updater's own flag: the pass checks it between two pages, and
    // the page under way is finished first.
    void SignalStop() override;

protected:
    ResultCode OnThreadStart(std::uint32_t threadId) override;
    void OnThreadEnd(std::uint32_t threadId, ResultCode exitCode) override;
    ResultCode Run() override;

private:
    CUrlUpdater m_updater;
};
