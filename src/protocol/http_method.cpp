#include "protocol/http_method.h"

#include <array>

namespace {

constexpr std::array<const char*, 8> kMethodTexts = {
    "OPTIONS", "GET", "HEAD", "POST", "PUT", "DELETE", "TRACE", "CONNECT",
};

}  // namespace

const char* GetMethodText(HttpMethod method) {
    const auto index = static_cast<std::size_t>(method);
    return index < kMethodTexts.size() ? kMethodTexts[index] : "";
}
