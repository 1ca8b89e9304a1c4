// URLs written out in a test, which must parse for the test to mean anything.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "base/url.h"

namespace testing_support {

inline CUrl ParsedUrl(std::string_view text) {
    CUrl url;
    EXPECT_TRUE(url.Parse(text)) << text;
    return url;
}

}  // namespace testing_support
