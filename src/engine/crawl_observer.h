// The one place that decodes the window messages of a crawl and of the link
// update: a front end implements the methods it cares about and hands every
// message it receives to DispatchCrawlMessage, so the meaning of wParam and
// lParam is written once. References and pointers passed to a method are
// valid only while it runs.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/message_queue.h"

struct CDownloadTask;
class CProgressNotifier;

class ICrawlObserver {
public:
    virtual ~ICrawlObserver() = default;

    // The manager's workers run.
    virtual void OnCrawlStarted() {}
    // The manager has ended, for the end of the crawl or for a pause.
    virtual void OnCrawlFinished() {}
    // A worker took a URL as its task of that number.
    virtual void OnWorkerUrl(int /*worker*/, std::uint32_t /*task*/, std::string_view /*url*/) {}
    // A worker's response announced its size, or the running count when it
    // announced none. It may come after the task ended: a front end shows it
    // only while the worker's task is still the numbered one.
    virtual void OnWorkerSize(int /*worker*/, std::uint32_t /*task*/, std::uint32_t /*size*/) {}
    // A worker received bytes; the notifier holds the counts.
    virtual void OnWorkerBytes(int /*worker*/, CProgressNotifier& /*notifier*/) {}
    virtual void OnFileSaved(int /*worker*/, const CDownloadTask& /*task*/) {}
    // A URL failed for good; the task holds its result code.
    virtual void OnUrlFailed(int /*worker*/, const CDownloadTask& /*task*/) {}

    // The link update of the saved pages.
    virtual void OnUpdateBegin(long /*fileCount*/) {}
    virtual void OnUpdateStep() {}
    virtual void OnUpdateEnd() {}
};

// False when the message is none of the crawl's or the link update's, so a
// front end can handle its own messages after it.
bool DispatchCrawlMessage(UINT message, WPARAM wParam, LPARAM lParam, ICrawlObserver& observer);
