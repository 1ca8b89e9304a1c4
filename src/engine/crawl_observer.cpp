#include "engine/crawl_observer.h"

#include "engine/crawl_messages.h"
#include "engine/download_task.h"
#include "engine/progress_notifier.h"
#include "html/url_updater.h"

namespace {

const CDownloadTask& TaskOf(LPARAM lParam) {
    return *reinterpret_cast<const CDownloadTask*>(lParam);
}

bool DispatchUpdateMessage(UINT message, LPARAM lParam, ICrawlObserver& observer) {
    switch (message) {
        case WM_UPDATE_BEGIN:
            observer.OnUpdateBegin(static_cast<long>(lParam));
            return true;
        case WM_UPDATE_STEP:
            observer.OnUpdateStep();
            return true;
        case WM_UPDATE_END:
            observer.OnUpdateEnd();
            return true;
        default:
            return false;
    }
}

void DispatchNotices(const CCrawlNotices& notices, ICrawlObserver& observer) {
    for (const CCrawlNotice& notice : notices) {
        const LPARAM payload = notice.message == WM_DL_THREAD_URL
                                   ? reinterpret_cast<LPARAM>(notice.url.c_str())
                                   : reinterpret_cast<LPARAM>(&notice.task);
        DispatchCrawlMessage(notice.message, WorkerTaskParam(notice.worker, notice.taskNumber),
                             payload, observer);
    }
}

}  // namespace

bool DispatchCrawlMessage(UINT message, WPARAM wParam, LPARAM lParam, ICrawlObserver& observer) {
    const int worker = WorkerOfParam(wParam);
    switch (message) {
        case WM_DL_STARTED:
            observer.OnCrawlStarted();
            return true;
        case WM_DL_FINISHED:
            observer.OnCrawlFinished();
            return true;
        case WM_DL_THREAD_URL:
            observer.OnWorkerUrl(worker, TaskOfParam(wParam),
                                 reinterpret_cast<const char*>(lParam));
            return true;
        case WM_DL_THREAD_PROGRESS:
            observer.OnWorkerSize(worker, TaskOfParam(wParam), static_cast<std::uint32_t>(lParam));
            return true;
        case WM_DL_BYTES:
            observer.OnWorkerBytes(worker, *reinterpret_cast<CProgressNotifier*>(lParam));
            return true;
        case WM_DL_FILE_SAVED:
            observer.OnFileSaved(worker, TaskOf(lParam));
            return true;
        case WM_DL_URL_DONE:
            observer.OnUrlFailed(worker, TaskOf(lParam));
            return true;
        case WM_DL_NOTICES:
            DispatchNotices(*reinterpret_cast<const CCrawlNotices*>(lParam), observer);
            return true;
        default:
            return DispatchUpdateMessage(message, lParam, observer);
    }
}
