// Makes a function of the C library fail for as long as the object lives.
// The unit tests link with --wrap for these functions, which sends the core
// library's calls through failing_stdio.cpp: no real file makes wrapping a
// good descriptor fail, and a failed flush of a real file drops the buffered
// bytes, so the next flush of the same stream would succeed.
#pragma once

namespace testing_support {

// fdopen returns null with ENOMEM.
class FailingFdopen {
public:
    FailingFdopen();
    ~FailingFdopen();
    FailingFdopen(const FailingFdopen&) = delete;
    FailingFdopen& operator=(const FailingFdopen&) = delete;
};

// Every fflush fails with ENOSPC and keeps what is buffered, as a disk that
// stays full would.
class FailingFflush {
public:
    FailingFflush();
    ~FailingFflush();
    FailingFflush(const FailingFflush&) = delete;
    FailingFflush& operator=(const FailingFflush&) = delete;
};

}  // namespace testing_support
