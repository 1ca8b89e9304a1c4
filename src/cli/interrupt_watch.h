// Ctrl+C (and a polite kill) for a command that runs a crawl: the signals are
// counted and turned into an event that the command's loop waits on, and
// they are kept away from the crawl's threads, whose waits would otherwise
// end early.
#pragma once

#include <signal.h>

#include "platform/wait_event.h"

class CInterruptWatch {
public:
    // Routes SIGINT and SIGTERM here until the object goes; one at a time.
    CInterruptWatch();
    ~CInterruptWatch();
    CInterruptWatch(const CInterruptWatch&) = delete;
    CInterruptWatch& operator=(const CInterruptWatch&) = delete;

    // Set by every signal until Acknowledge.
    const CWaitEvent& GetEvent() const { return m_event; }
    // Signals received so far.
    int GetCount() const;
    void Acknowledge() { m_event.Reset(); }

private:
    CWaitEvent m_event;
};

// Blocks SIGINT and SIGTERM in the calling thread for its scope. Threads
// started meanwhile inherit the mask, so the signals reach the thread that
// watches for them.
class CInterruptsBlocked {
public:
    CInterruptsBlocked();
    ~CInterruptsBlocked();
    CInterruptsBlocked(const CInterruptsBlocked&) = delete;
    CInterruptsBlocked& operator=(const CInterruptsBlocked&) = delete;

private:
    sigset_t m_previous;
};
