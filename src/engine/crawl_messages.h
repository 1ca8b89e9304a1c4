// The window messages through which a crawl reports to the main window. The
// pointers that the sent ones carry are valid only while the handler runs.
#pragma once

#include <string>
#include <vector>

#include "engine/download_task.h"
#include "platform/message_queue.h"

// Posted by the manager thread once its workers run.
constexpr UINT WM_DL_STARTED = WM_APP + 0x1000;
// Posted by the manager thread as its last act; sent by the controller's Stop
// of a paused crawl.
constexpr UINT WM_DL_FINISHED = WM_APP + 0x1002;
// From the manager thread, inside a WM_DL_NOTICES: wParam the worker index,
// lParam the URL's source text (const char*).
constexpr UINT WM_DL_THREAD_URL = WM_APP + 0x1010;
// From a worker's notifier: wParam the worker index, lParam a byte count. The
// expected size is sent, so the window has it before the worker goes on; the
// running count, when no size is known, is posted after each chunk.
constexpr UINT WM_DL_THREAD_PROGRESS = WM_APP + 0x1011;
// From the manager thread, inside a WM_DL_NOTICES: wParam the worker index,
// lParam the finished task (const CDownloadTask*).
constexpr UINT WM_DL_FILE_SAVED = WM_APP + 0x1012;
// From the manager thread, inside a WM_DL_NOTICES, for a URL that failed for
// good: wParam the worker index, lParam the finished task with its result code.
constexpr UINT WM_DL_URL_DONE = WM_APP + 0x1013;
// Posted by a worker's notifier: wParam the worker index, lParam the
// CProgressNotifier, which lives as long as the manager.
constexpr UINT WM_DL_BYTES = WM_APP + 0x1020;
// Sent by the manager thread once per pass over its workers, in place of a
// WM_DL_FILE_SAVED, WM_DL_URL_DONE or WM_DL_THREAD_URL of its own for each
// worker: wParam 0, lParam the pass's notices (const CCrawlNotices*) in the
// order they happened. DispatchCrawlMessage hands each on as if it had been
// sent alone. One answer per pass spares the manager a wait on the window
// for every URL.
constexpr UINT WM_DL_NOTICES = WM_APP + 0x1014;

// One of the messages that a WM_DL_NOTICES carries.
struct CCrawlNotice {
    UINT message = 0;
    int worker = 0;
    // The URL of a WM_DL_THREAD_URL.
    std::string url;
    // The finished task of the others.
    CDownloadTask task;
};
using CCrawlNotices = std::vector<CCrawlNotice>;
