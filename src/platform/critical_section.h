// Locks shared by the crawl engine's threads.
#pragma once

#include <mutex>

// A critical section may be entered again by the thread that holds it.
using CCriticalSection = std::recursive_mutex;

// Holds a critical section for a scope. unlock() lets go early, for instance
// before sending a window message that must not be sent under the lock.
using CScopedLock = std::unique_lock<CCriticalSection>;
