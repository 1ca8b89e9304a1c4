#include "html/update_html_thread.h"

#include <algorithm>
#include <thread>

namespace {

// The saved pages are rewritten one per core; beyond a few dozen threads the
// disk, not the cores, sets the pace.
unsigned PassWidth() {
    constexpr unsigned kMaxWidth = 32;
    return std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWidth);
}

}  // namespace

CUpdateHtmlThread::CUpdateHtmlThread(CDownloadList& list, const CFilePath& downloadFolder,
                                     CMessageTarget* window)
    : CJobThread(
          [this] {
              m_updater.UpdateAll();
              return ERR_SUCCESS;
          },
          [this] { m_updater.RequestStop(); }),
      m_updater(list, downloadFolder, window, PassWidth()) {}

CUpdateHtmlThread::~CUpdateHtmlThread() {
    Stop();
}
