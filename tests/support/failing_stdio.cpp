#include "support/failing_stdio.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

std::atomic<bool> g_fdopenFails{false};
std::atomic<bool> g_fflushFails{false};

}  // namespace

extern "C" std::FILE* __real_fdopen(int fd, const char* mode);
extern "C" int __real_fflush(std::FILE* file);

extern "C" std::FILE* __wrap_fdopen(int fd, const char* mode) {
    if (g_fdopenFails.load()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_fdopen(fd, mode);
}

extern "C" int __wrap_fflush(std::FILE* file) {
    if (g_fflushFails.load()) {
        errno = ENOSPC;
        return EOF;
    }
    return __real_fflush(file);
}

namespace testing_support {

FailingFdopen::FailingFdopen() {
    g_fdopenFails.store(true);
}

FailingFdopen::~FailingFdopen() {
    g_fdopenFails.store(false);
}

FailingFflush::FailingFflush() {
    g_fflushFails.store(true);
}

FailingFflush::~FailingFflush() {
    g_fflushFails.store(false);
}

}  // namespace testing_support
