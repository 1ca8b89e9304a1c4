// The bandwidth limit of a whole crawl: a token bucket that every worker
// draws its received bytes from, so that together they stay at the rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

class CRateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // 0 bytes per second: no limit.
    void SetRate(std::uint32_t bytesPerSecond);
    // Takes count bytes that have arrived; the milliseconds that the
    // receiver should pause before reading on, 0 when it may go on at once.
    std::uint32_t Take(std::uint32_t count);

private:
    std::mutex m_lock;
    std::uint32_t m_rate = 0;
    // May fall below 0: bytes already received beyond the rate are a debt
    // that the pause pays off.
    double m_tokens = 0;
    Clock::time_point m_last{};
};
