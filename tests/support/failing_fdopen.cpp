#include "support/failing_fdopen.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

std::atomic<bool> g_failing{false};

}  // namespace

extern "C" std::FILE* __real_fdopen(int fd, const char* mode);

extern "C" std::FILE* __wrap_fdopen(int fd, const char* mode) {
    if (g_failing.load()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_fdopen(fd, mode);
}

namespace testing_support {

FailingFdopen::FailingFdopen() {
    g_failing.store(true);
}

FailingFdopen::~FailingFdopen() {
    g_failing.store(false);
}

}  // namespace testing_support
