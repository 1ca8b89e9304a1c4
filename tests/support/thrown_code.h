// The result code that a piece of code throws, for tests that check which
// failure an operation reports.
#pragma once

#include <functional>

#include "base/errors.h"

namespace testing_support {

// Runs action and returns the code of the Exception it throws, ERR_SUCCESS
// when it throws none. Any other exception escapes, so that a failure of the
// wrong class fails the test instead of passing as a code.
template <typename Exception = CException>
ResultCode CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& failure) {
        return failure.GetCode();
    }
    return ERR_SUCCESS;
}

}  // namespace testing_support
