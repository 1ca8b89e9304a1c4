// The pauses between requests to one server during a crawl: the wait that
// the program settings ask for (drawn at random from half to one and a half
// times it when asked), the Crawl-delay of the server's robots.txt, and the
// Retry-After of a 429 or 503 answer. A paced server takes one request at a
// time; other servers are not held back.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

class CUrl;

// "scheme://host:port" with the host in lower case and the scheme's port
// when the URL names none: what robots.txt and the pauses are kept by.
std::string ServerKeyOf(const CUrl& url);

class CHostPacer {
public:
    using Clock = std::chrono::steady_clock;
    // The longest pause that a Retry-After can ask for.
    static constexpr std::uint32_t kMaxRetryAfterMs = 300000;

    void Configure(std::uint32_t waitMs, bool randomWait);
    // The server's own least pause between two requests (its Crawl-delay).
    void SetMinimumGap(const std::string& server, std::uint32_t ms);
    // No request to the server before ms from now, up to kMaxRetryAfterMs.
    void HoldOff(const std::string& server, std::uint32_t ms);

    // Milliseconds before the server takes a request; 0 at once.
    std::uint32_t TimeUntilFree(const std::string& server) const;
    // Takes the server's turn when it is free and returns 0; otherwise the
    // milliseconds to wait before asking again. A taken turn ends with EndTurn.
    std::uint32_t TryTakeTurn(const std::string& server);
    // The request of the turn has been answered; the next one waits its
    // pause from now.
    void EndTurn(const std::string& server);
    void Clear();

private:
    struct Server {
        Clock::time_point next{};
        std::uint32_t minimumGap = 0;
        bool busy = false;
    };

    bool IsPaced(const Server& server) const;
    std::uint32_t TimeUntilFree(const Server& server, Clock::time_point now) const;
    std::uint32_t DrawGap(const Server& server);

    mutable std::mutex m_lock;
    std::unordered_map<std::string, Server> m_servers;
    std::uint32_t m_waitMs = 0;
    bool m_randomWait = false;
    std::mt19937 m_random{std::random_device{}()};
};
