#include "html/update_html_thread.h"

CUpdateHtmlThread::CUpdateHtmlThread(CDownloadList& list, const CFilePath& downloadFolder,
                                     CMessageTarget* window)
    : CJobThread(
          [this] {
              m_updater.UpdateAll();
              return ERR_SUCCESS;
          },
          [this] { m_updater.RequestStop(); }),
      m_updater(list, downloadFolder, window) {}

CUpdateHtmlThread::~CUpdateHtmlThread() {
    Stop();
}
