#include "engine/progress_notifier.h"

#include "engine/crawl_messages.h"
#include "net/event_socket.h"
#include "platform/message_target.h"
#include "protocol/ftp_client.h"
#include "protocol/http_client.h"

void CProgressNotifier::OnGeneralEvent(std::intptr_t /*source*/, std::uint32_t /*code*/) {}

void CProgressNotifier::OnSocketEvent(std::intptr_t /*source*/, std::uint32_t code) {
    if (code == EVT_SOCKET_RECEIVED) {
        CountReceived(GetLength());
    } else if (code == EVT_SOCKET_CLOSED) {
        m_transferActive = false;
    }
}

void CProgressNotifier::OnProtocolEvent(std::uint32_t code) {
    switch (code) {
        case EVT_HTTP_BODY_LENGTH:
        case EVT_FTP_TRANSFER_START:
            AnnounceSize(GetLength() + (m_resumed ? m_runningCount.load() : 0));
            break;
        case EVT_HTTP_CHUNK_START:
            AnnounceSize(GetLength());
            break;
        case EVT_HTTP_RANGE_START:
        case EVT_FTP_RESTART:
            m_runningCount = GetLength();
            m_resumed = true;
            break;
        case EVT_HTTP_REDIRECT:
            ++m_redirects;
            break;
        case EVT_HTTP_CHUNK_END:
        case EVT_HTTP_FINISHED:
        case EVT_FTP_TRANSFER_END:
            EndTransfer();
            break;
        default:
            break;
    }
}

void CProgressNotifier::AnnounceSize(std::uint32_t expected) {
    m_expected = expected;
    // Posted, so the worker never waits for the window; the task number
    // lets the window drop a size that arrives once the task has ended.
    PostSize(expected);
    m_transferActive = true;
}

void CProgressNotifier::CountReceived(std::uint32_t bytes) {
    if (!m_transferActive) {
        return;
    }
    m_lastChunk = bytes;
    const std::uint32_t running = m_runningCount += bytes;
    if (m_expected == 0) {
        PostSize(running);
    }
    if (m_unreported.fetch_add(bytes) == 0 &&
        !PostMessage(m_window, WM_DL_BYTES, static_cast<WPARAM>(m_index),
                     reinterpret_cast<LPARAM>(this))) {
        m_unreported = 0;
    }
}

void CProgressNotifier::PostSize(std::uint32_t bytes) {
    PostMessage(m_window, WM_DL_THREAD_PROGRESS, WorkerTaskParam(m_index, m_taskNumber), bytes);
}

void CProgressNotifier::EndTransfer() {
    m_expected = 0;
    m_lastChunk = 0;
    m_runningCount = 0;
    m_resumed = false;
    m_transferActive = false;
}
