// The thread on which the link rewriting pass runs while its progress is
// watched, so that the watching thread stays free to show it and to cancel.
#pragma once

#include "html/url_updater.h"
#include "platform/job_thread.h"

class CUpdateHtmlThread : public CJobThread {
public:
    // The list must outlive the thread; progress goes to window.
    CUpdateHtmlThread(CDownloadList& list, const CFilePath& downloadFolder, CMessageTarget* window);
    // The pass uses the updater, which goes before the base's own stop.
    ~CUpdateHtmlThread() override;

private:
    CUrlUpdater m_updater;
};
