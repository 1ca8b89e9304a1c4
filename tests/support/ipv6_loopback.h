// Whether the kernel has IPv6 at all: tests that need [::1] skip, saying
// why, only when it has none.
#pragma once

#include <fstream>
#include <string>

namespace testing_support {

inline bool KernelHasIpv6() {
    std::ifstream interfaces("/proc/net/if_inet6");
    std::string line;
    return static_cast<bool>(std::getline(interfaces, line));
}

inline constexpr const char* kNoIpv6 = "the kernel has no IPv6 (/proc/net/if_inet6 is empty)";

}  // namespace testing_support
