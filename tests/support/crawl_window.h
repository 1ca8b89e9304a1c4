// A main-window stand-in for crawl tests: it records what the manager and the
// workers report, copying what the messages point at while the send lasts.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/crawl_messages.h"
#include "engine/download_task.h"
#include "engine/progress_notifier.h"
#include "platform/message_target.h"

namespace testing_support {

struct CrawlEvent {
    UINT message = 0;
    WPARAM worker = 0;
    std::string url;
    ResultCode code = ERR_SUCCESS;
    std::string storedPath;
};

class CrawlWindow {
public:
    CrawlWindow() = default;
    CrawlWindow(const CrawlWindow&) = delete;
    CrawlWindow& operator=(const CrawlWindow&) = delete;

    CMessageTarget* Target() { return &m_target; }
    CMessageQueue& Queue() { return m_queue; }
    const std::vector<CrawlEvent>& Events() const { return m_events; }
    void ClearEvents() { m_events.clear(); }

    // The URLs of the events with this message, in order.
    std::vector<std::string> Urls(UINT message) const {
        std::vector<std::string> urls;
        for (const CrawlEvent& event : m_events) {
            if (event.message == message) {
                urls.push_back(event.url);
            }
        }
        return urls;
    }
    int Count(UINT message) const { return static_cast<int>(Urls(message).size()); }
    std::uint64_t BytesCounted() const { return m_bytes; }

    // Delivers messages until stop() holds after a pump or the limit passes;
    // false on the limit.
    bool PumpUntil(const std::function<bool()>& stop,
                   std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            m_queue.GetInputEvent().Wait(50);
            m_queue.PumpMessages();
            if (stop()) {
                return true;
            }
        }
        return false;
    }
    bool PumpUntilFinished(std::chrono::seconds limit = std::chrono::seconds(60)) {
        const std::size_t before = m_finished;
        return PumpUntil([&] { return m_finished > before; }, limit);
    }
    std::size_t FinishedCount() const { return m_finished; }

    // Runs action inside the handling of every message of this kind, as a
    // window that saves the project while it handles one would.
    void OnMessage(UINT message, std::function<void(const CrawlEvent&)> action) {
        m_actionMessage = message;
        m_action = std::move(action);
    }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        CrawlEvent event{message, wParam, {}, ERR_SUCCESS, {}};
        switch (message) {
            case WM_DL_THREAD_URL:
                event.url = reinterpret_cast<const char*>(lParam);
                break;
            case WM_DL_FILE_SAVED:
            case WM_DL_URL_DONE: {
                const auto* task = reinterpret_cast<const CDownloadTask*>(lParam);
                event.url = task->item.GetUrl().GetSourceText();
                event.code = task->resultCode;
                event.storedPath = task->storedPath;
                break;
            }
            case WM_DL_BYTES:
                m_bytes += reinterpret_cast<CProgressNotifier*>(lParam)->TakeUnreportedBytes();
                return 0;
            case WM_DL_THREAD_PROGRESS:
                return 0;
            case WM_DL_FINISHED:
                ++m_finished;
                break;
            default:
                break;
        }
        if (m_action && message == m_actionMessage) {
            m_action(event);
        }
        m_events.push_back(std::move(event));
        return 0;
    }

    CMessageQueue m_queue;
    CMessageTarget m_target{m_queue, [this](UINT message, WPARAM wParam, LPARAM lParam) {
                                return Handle(message, wParam, lParam);
                            }};
    std::vector<CrawlEvent> m_events;
    std::size_t m_finished = 0;
    std::uint64_t m_bytes = 0;
    UINT m_actionMessage = 0;
    std::function<void(const CrawlEvent&)> m_action;
};

}  // namespace testing_support
