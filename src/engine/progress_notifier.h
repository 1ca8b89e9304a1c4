// A worker's event sink: turns the events of its sockets and clients into the
// progress messages that the main window shows.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event_sink.h"

class CMessageTarget;

// The worker thread writes the figures and the main window reads them when it
// handles WM_DL_BYTES, so each one is atomic.
class CProgressNotifier : public CEventSink {
public:
    CProgressNotifier(int index, CMessageTarget* window) : m_index(index), m_window(window) {}

    int GetIndex() const { return m_index; }
    // Numbers the next task handed to the worker; the sizes announced from
    // then on carry that number. Called before the worker is given the task.
    std::uint32_t BeginTask() { return ++m_taskNumber; }
    // The body size of the current transfer (the whole file when it resumes);
    // 0 while it is not known.
    std::uint32_t GetExpectedSize() const { return m_expected.load(); }
    // Bytes of the last receive call.
    std::uint32_t GetLastChunk() const { return m_lastChunk.load(); }
    // Body bytes of the current file so far, a resumed part included.
    std::uint32_t GetRunningCount() const { return m_runningCount.load(); }
    // The body bytes received since the previous call. WM_DL_BYTES is posted
    // only while no earlier one waits, so a busy worker cannot flood the
    // queue; the window counts the bytes through this call, which loses none.
    std::uint32_t TakeUnreportedBytes() { return m_unreported.exchange(0); }
    // Redirects that the worker's clients followed since the last take; the
    // worker bounds the redirects of one attempt across its clients.
    int GetRedirectCount() const { return m_redirects; }
    int TakeRedirectCount() { return m_redirects.exchange(0); }

protected:
    void OnGeneralEvent(std::intptr_t source, std::uint32_t code) override;
    void OnSocketEvent(std::intptr_t source, std::uint32_t code) override;
    void OnProtocolEvent(std::uint32_t code) override;

private:
    void AnnounceSize(std::uint32_t expected);
    void CountReceived(std::uint32_t bytes);
    void PostSize(std::uint32_t bytes);
    void EndTransfer();

    const int m_index;
    CMessageTarget* const m_window;
    std::atomic<std::uint32_t> m_taskNumber{0};
    std::atomic<std::uint32_t> m_expected{0};
    std::atomic<std::uint32_t> m_lastChunk{0};
    std::atomic<std::uint32_t> m_runningCount{0};
    std::atomic<std::uint32_t> m_unreported{0};
    std::atomic<int> m_redirects{0};
    bool m_resumed = false;
    bool m_transferActive = false;
};
