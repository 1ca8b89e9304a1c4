// CPU time used by the calling thread, to show that a wait blocks rather than spins.
#pragma once

#include <time.h>

namespace testing_support {

inline double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace testing_support
