// A stop request that one thread raises and a long pass on another thread
// reads between two of its steps, so the step under way is always finished.
#pragma once

#include <atomic>

class CStopFlag {
public:
    void Request() { m_requested = true; }
    void Clear() { m_requested = false; }
    bool IsRequested() const { return m_requested; }

    // Unwinds the pass with its own exception once a stop was requested.
    template <typename Stopped>
    void ThrowIfRequested() const {
        if (IsRequested()) {
            throw Stopped();
        }
    }

private:
    std::atomic<bool> m_requested{false};
};
