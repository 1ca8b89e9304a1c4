#include "engine/host_pacer.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/url.h"

namespace {

// How soon a server busy with a request of unknown length is asked again.
constexpr std::uint32_t kBusyPollMs = 20;

std::uint32_t MillisecondsBetween(CHostPacer::Clock::time_point from,
                                  CHostPacer::Clock::time_point to) {
    if (to <= from) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(to - from).count();
    return static_cast<std::uint32_t>(std::max<std::int64_t>(ms, 1));
}

}  // namespace

std::string ServerKeyOf(const CUrl& url) {
    const int port = url.GetPort() != 0 ? url.GetPort() : url.GetDefaultPort();
    return url.GetSchemeName() + "://" + ToLowerAscii(url.GetHost()) + ":" + std::to_string(port);
}

void CHostPacer::Configure(std::uint32_t waitMs, bool randomWait) {
    std::scoped_lock lock(m_lock);
    m_waitMs = waitMs;
    m_randomWait = randomWait;
}

void CHostPacer::SetMinimumGap(const std::string& server, std::uint32_t ms) {
    std::scoped_lock lock(m_lock);
    m_servers[server].minimumGap = ms;
}

void CHostPacer::HoldOff(const std::string& server, std::uint32_t ms) {
    std::scoped_lock lock(m_lock);
    Server& entry = m_servers[server];
    const Clock::time_point until =
        Clock::now() + std::chrono::milliseconds(std::min(ms, kMaxRetryAfterMs));
    entry.next = std::max(entry.next, until);
}

std::uint32_t CHostPacer::TimeUntilFree(const std::string& server) const {
    std::scoped_lock lock(m_lock);
    const auto found = m_servers.find(server);
    return found == m_servers.end() ? 0 : TimeUntilFree(found->second, Clock::now());
}

std::uint32_t CHostPacer::TimeUntilFree(const Server& server, Clock::time_point now) const {
    if (server.busy) {
        return kBusyPollMs;
    }
    return MillisecondsBetween(now, server.next);
}

// Without a wait of either kind requests go side by side as before; a
// Retry-After holds the server back all the same.
bool CHostPacer::IsPaced(const Server& server) const {
    return m_waitMs != 0 || server.minimumGap != 0;
}

std::uint32_t CHostPacer::TryTakeTurn(const std::string& server) {
    std::scoped_lock lock(m_lock);
    Server& entry = m_servers[server];
    const std::uint32_t wait = TimeUntilFree(entry, Clock::now());
    if (wait == 0 && IsPaced(entry)) {
        entry.busy = true;
    }
    return wait;
}

void CHostPacer::EndTurn(const std::string& server) {
    std::scoped_lock lock(m_lock);
    Server& entry = m_servers[server];
    if (!entry.busy) {
        return;
    }
    entry.busy = false;
    entry.next = std::max(entry.next, Clock::now() + std::chrono::milliseconds(DrawGap(entry)));
}

std::uint32_t CHostPacer::DrawGap(const Server& server) {
    std::uint32_t gap = m_waitMs;
    if (m_randomWait && gap != 0) {
        gap = std::uniform_int_distribution<std::uint32_t>(gap / 2, gap + gap / 2)(m_random);
    }
    return std::max(gap, server.minimumGap);
}

void CHostPacer::Clear() {
    std::scoped_lock lock(m_lock);
    m_servers.clear();
}
