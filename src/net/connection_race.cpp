#include "net/connection_race.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "platform/wait_event.h"

CConnectionRace::CConnectionRace(std::vector<CSocketAddress> addresses, int stopFd)
    : m_addresses(std::move(addresses)), m_stopFd(stopFd) {}

ResultCode CConnectionRace::Run(std::uint32_t limitMs) {
    const Clock::time_point end = limitMs == INFINITE
                                      ? Clock::time_point::max()
                                      : Clock::now() + std::chrono::milliseconds(limitMs);
    m_nextStart = Clock::now();
    while (!m_winner.IsValid()) {
        if (m_next < m_addresses.size() && (m_attempts.empty() || Clock::now() >= m_nextStart)) {
            StartNext();
        } else if (m_attempts.empty()) {
            return m_lastFailure;
        } else if (const ResultCode code = AwaitAttempts(end); code != ERR_SUCCESS) {
            return code;
        }
    }
    m_attempts.clear();
    return ERR_SUCCESS;
}

// An address that fails at once (no route for its family) hands its turn
// to the next one without a delay.
void CConnectionRace::StartNext() {
    const std::size_t index = m_next++;
    sockaddr_storage target{};
    socklen_t length = 0;
    if (!m_addresses[index].ToSockAddr(target, length)) {
        m_lastFailure = ERR_SOCKET_CONNECT;
        return;
    }
    Attempt attempt{
        CFileDescriptor(::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)),
        index};
    if (!attempt.socket.IsValid()) {
        m_lastFailure = ERR_SOCKET_CREATE;
        return;
    }
    if (::connect(attempt.socket.Get(), reinterpret_cast<const sockaddr*>(&target), length) == 0) {
        Win(attempt);
        return;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        m_lastFailure = ERR_SOCKET_CONNECT;
        return;
    }
    m_attempts.push_back(std::move(attempt));
    m_nextStart = Clock::now() + kAttemptDelay;
}

ResultCode CConnectionRace::AwaitAttempts(Clock::time_point end) {
    const Clock::time_point now = Clock::now();
    if (now >= end) {
        return ERR_SOCKET_TIMEOUT;
    }
    const Clock::time_point wake = m_next < m_addresses.size() ? std::min(end, m_nextStart) : end;
    const int timeoutMs =
        wake == Clock::time_point::max()
            ? -1
            : static_cast<int>(std::min<std::int64_t>(
                  std::chrono::ceil<std::chrono::milliseconds>(wake - now).count(), INT_MAX));
    // The stop first, so that it wins over a connection made at the same time.
    std::vector<pollfd> list{{m_stopFd, POLLIN, 0}};
    for (const Attempt& attempt : m_attempts) {
        list.push_back({attempt.socket.Get(), POLLOUT, 0});
    }
    if (::poll(list.data(), list.size(), timeoutMs) < 0) {
        return errno == EINTR ? ERR_SUCCESS : ERR_SOCKET_UNKNOWN;
    }
    if (list.front().revents != 0) {
        return ERR_SOCKET_LOCAL_CLOSED;
    }
    std::vector<short> events;
    for (auto entry = list.begin() + 1; entry != list.end(); ++entry) {
        events.push_back(entry->revents);
    }
    CollectFinished(events);
    return m_winner.IsValid() || Clock::now() < end ? ERR_SUCCESS : ERR_SOCKET_TIMEOUT;
}

// A failed attempt makes room for the next address at once.
void CConnectionRace::CollectFinished(const std::vector<short>& events) {
    std::vector<Attempt> pending;
    for (std::size_t i = 0; i < m_attempts.size(); ++i) {
        if (events[i] == 0 || m_winner.IsValid()) {
            pending.push_back(std::move(m_attempts[i]));
            continue;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_attempts[i].socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
            error == 0 && (events[i] & POLLOUT) != 0) {
            Win(m_attempts[i]);
        } else {
            m_lastFailure = ERR_SOCKET_CONNECT;
            m_nextStart = Clock::now();
        }
    }
    m_attempts = std::move(pending);
}

void CConnectionRace::Win(Attempt& attempt) {
    m_winner = std::move(attempt.socket);
    m_winnerIndex = attempt.index;
}
