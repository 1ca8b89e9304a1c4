// The window messages through which a crawl reports to the main window. The
// pointers that the sent ones carry are valid only while the handler runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/download_task.h"
#include "platform/message_queue.h"

// Posted by the manager thread once its workers run.
constexpr UINT WM_DL_STARTED = WM_APP + 0x1000;
// Posted by the manager thread as its last act; sent by the controller's Stop
// of a paused crawl.
constexpr UINT WM_DL_FINISHED = WM_APP + 0x1002;
// From the manager thread, inside a WM_DL_NOTICES: wParam the worker index
// and the number of the task it took (WorkerTaskParam), lParam the URL's
// source text (const char*).
constexpr UINT WM_DL_THREAD_URL = WM_APP + 0x1010;
// Posted by a worker's notifier: wParam the worker index and the number of its
// task (WorkerTaskParam), lParam a byte count, the expected size or the running
// count when no size is known. Posted messages are delivered after sent ones,
// so this one can arrive after the notice that the task ended, or even after
// the worker's next URL: a window shows it only on a row still busy with the
// task of that number.
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

static_assert(sizeof(WPARAM) >= 8, "a task number shares wParam with the worker index");

// A worker numbers the tasks it is handed from 1 on; 0 stands for none.
constexpr WPARAM WorkerTaskParam(int worker, std::uint32_t task) {
    return (WPARAM{task} << 32) | static_cast<std::uint32_t>(worker);
}
constexpr int WorkerOfParam(WPARAM wParam) {
    return static_cast<int>(static_cast<std::uint32_t>(wParam));
}
constexpr std::uint32_t TaskOfParam(WPARAM wParam) {
    return static_cast<std::uint32_t>(wParam >> 32);
}

// One of the messages that a WM_DL_NOTICES carries.
struct CCrawlNotice {
    UINT message = 0;
    int worker = 0;
    // The number of the task of a WM_DL_THREAD_URL.
    std::uint32_t taskNumber = 0;
    // The URL of a WM_DL_THREAD_URL.
    std::string url;
    // The finished task of the others.
    CDownloadTask task;
};
using CCrawlNotices = std::vector<CCrawlNotice>;
