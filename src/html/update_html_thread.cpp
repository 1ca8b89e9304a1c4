#include "html/update_html_thread.h"

CUpdateHtmlThread::CUpdateHtmlThread(CDownloadList& list, const CFilePath& downloadFolder,
                                     CMessageTarget* window)
    : m_updater(list, downloadFolder, window) {}

CUpdateHtmlThread::~CUpdateHtmlThread() {
    Stop();
}

void CUpdateHtmlThread::SignalStop() {
    m_updater.RequestStop();
}

ResultCode CUpdateHtmlThread::OnThreadStart(std::uint32_t /*threadId*/) {
    return ERR_SUCCESS;
}

void CUpdateHtmlThread::OnThreadEnd(std::uint32_t /*threadId*/, ResultCode /*exitCode*/) {}

ResultCode CUpdateHtmlThread::Run() {
    m_updater.UpdateAll();
    return ERR_SUCCESS;
}
