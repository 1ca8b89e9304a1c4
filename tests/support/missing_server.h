// Integration tests skip when a real server they need is not installed, so a
// developer without it can still run the rest; the test command sets
// TARNWICK_REQUIRE_SERVERS=1 so that a green run there always means they ran.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

inline bool ServersRequired() {
    const char* value = std::getenv("TARNWICK_REQUIRE_SERVERS");
    return value != nullptr && std::string_view(value) == "1";
}

// Ends the current test: failed when servers are required, skipped otherwise.
#define TARNWICK_MISSING_SERVER(why) \
    do {                             \
        if (ServersRequired()) {     \
            GTEST_FAIL() << why;     \
        }                            \
        GTEST_SKIP() << why;         \
    } while (0)
