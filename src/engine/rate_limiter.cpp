#include "engine/rate_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

// The burst that an idle crawl may take at once: a tenth of a second's worth.
constexpr double kBurstSeconds = 0.1;

}  // namespace

void CRateLimiter::SetRate(std::uint32_t bytesPerSecond) {
    std::scoped_lock lock(m_lock);
    m_rate = bytesPerSecond;
    m_tokens = 0;
    m_last = Clock::now();
}

std::uint32_t CRateLimiter::Take(std::uint32_t count) {
    std::scoped_lock lock(m_lock);
    if (m_rate == 0) {
        return 0;
    }
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - m_last).count();
    m_last = now;
    m_tokens = std::min(m_tokens + elapsed * m_rate, m_rate * kBurstSeconds) - count;
    if (m_tokens >= 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::ceil(-m_tokens * 1000.0 / m_rate));
}
