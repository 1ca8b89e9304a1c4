// Connects to the first of a host's addresses that answers, as RFC 8305
// ("Happy Eyeballs") has it: the addresses are tried in the order given, the
// next one kAttemptDelay after the one before, or at once when that one has
// failed; the first connection made wins and the attempts still under way
// are closed. A path that swallows packets then costs a quarter of a second
// instead of a whole connect time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "base/file_descriptor.h"
#include "net/socket_address.h"

class CConnectionRace {
public:
    static constexpr std::chrono::milliseconds kAttemptDelay{250};

    // addresses are numeric; stopFd ends the race when it turns readable
    // (-1: nothing stops it).
    CConnectionRace(std::vector<CSocketAddress> addresses, int stopFd);

    // Runs the race for at most limitMs milliseconds (INFINITE: no limit).
    // Returns 0 with the winner kept; ERR_SOCKET_LOCAL_CLOSED on a stop,
    // ERR_SOCKET_TIMEOUT when the time ran out, ERR_SOCKET_CONNECT when every
    // address failed, ERR_SOCKET_CREATE when no socket could be made.
    ResultCode Run(std::uint32_t limitMs);

    // The connected, non-blocking socket; the caller takes it over.
    CFileDescriptor TakeWinner() { return std::move(m_winner); }
    const CSocketAddress& GetWinnerAddress() const { return m_addresses[m_winnerIndex]; }

private:
    using Clock = std::chrono::steady_clock;

    struct Attempt {
        CFileDescriptor socket;
        std::size_t index;
    };

    // Starts the next address's attempt; a connection made at once wins.
    void StartNext();
    // Waits until an attempt ends, the next one is due, the stop or the end.
    ResultCode AwaitAttempts(Clock::time_point end);
    void CollectFinished(const std::vector<short>& events);
    void Win(Attempt& attempt);

    std::vector<CSocketAddress> m_addresses;
    int m_stopFd;
    std::size_t m_next = 0;
    Clock::time_point m_nextStart;
    std::vector<Attempt> m_attempts;
    ResultCode m_lastFailure = ERR_SOCKET_CONNECT;
    CFileDescriptor m_winner;
    std::size_t m_winnerIndex = 0;
};
