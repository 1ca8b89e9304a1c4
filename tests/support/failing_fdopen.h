// Makes the C library's fdopen fail for as long as the object lives. The unit
// tests link with --wrap=fdopen, which sends the core library's calls through
// failing_fdopen.cpp: nothing else makes wrapping a good descriptor fail.
#pragma once

namespace testing_support {

class FailingFdopen {
public:
    FailingFdopen();
    ~FailingFdopen();
    FailingFdopen(const FailingFdopen&) = delete;
    FailingFdopen& operator=(const FailingFdopen&) = delete;
};

}  // namespace testing_support
