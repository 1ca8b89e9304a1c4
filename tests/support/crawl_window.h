// A main-window stand-in for crawl tests: it records what the manager and the
// workers report, copying what the messages point at while the send lasts.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/crawl_messages.h"
#include "engine/crawl_observer.h"
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
    // Records every message of the crawl; sizes and byte counts only add up.
    struct Recorder : ICrawlObserver {
        explicit Recorder(CrawlWindow& window) : m_window(window) {}
        void OnCrawlStarted() override { Record(WM_DL_STARTED, 0); }
        void OnCrawlFinished() override {
            ++m_window.m_finished;
            Record(WM_DL_FINISHED, 0);
        }
        void OnWorkerUrl(int worker, std::uint32_t /*task*/, std::string_view url) override {
            Record(WM_DL_THREAD_URL, worker).url = url;
        }
        void OnWorkerBytes(int, CProgressNotifier& notifier) override {
            m_window.m_bytes += notifier.TakeUnreportedBytes();
        }
        void OnFileSaved(int worker, const CDownloadTask& task) override {
            RecordTask(WM_DL_FILE_SAVED, worker, task);
        }
        void OnUrlFailed(int worker, const CDownloadTask& task) override {
            RecordTask(WM_DL_URL_DONE, worker, task);
        }

        CrawlEvent& Record(UINT message, int worker) {
            CrawlEvent event;
            event.message = message;
            event.worker = static_cast<WPARAM>(worker);
            return m_window.m_events.emplace_back(std::move(event));
        }
        void RecordTask(UINT message, int worker, const CDownloadTask& task) {
            CrawlEvent& event = Record(message, worker);
            event.url = task.item.GetUrl().GetSourceText();
            event.code = task.resultCode;
            event.storedPath = task.storedPath;
        }

        CrawlWindow& m_window;
    };

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        const std::size_t before = m_events.size();
        if (!DispatchCrawlMessage(message, wParam, lParam, m_recorder)) {
            CrawlEvent event;
            event.message = message;
            event.worker = wParam;
            m_events.push_back(std::move(event));
        }
        // One message may carry several events.
        const std::size_t after = m_events.size();
        for (std::size_t i = before; m_action && i < after; ++i) {
            if (m_events[i].message == m_actionMessage) {
                // A copy: the action may pump messages that add events.
                const CrawlEvent event = m_events[i];
                m_action(event);
            }
        }
        return 0;
    }

    Recorder m_recorder{*this};
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
