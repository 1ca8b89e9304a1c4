// Reads arbitrary bytes as a srcset attribute: every candidate URL must lie
// inside it in order, hold no white space and not end with a comma; a
// rewrite that replaces nothing must give it back byte for byte, and a
// rewrite of every URL must yield the same number of candidates.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "html/srcset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view srcset(reinterpret_cast<const char*>(data), size);
    const auto candidates = FindSrcsetCandidates(srcset);
    std::size_t previousEnd = 0;
    for (const SrcsetCandidate& candidate : candidates) {
        if (candidate.begin < previousEnd || candidate.begin >= candidate.end ||
            candidate.end > srcset.size() || srcset[candidate.end - 1] == ',') {
            __builtin_trap();
        }
        const std::string_view url =
            srcset.substr(candidate.begin, candidate.end - candidate.begin);
        if (url.find_first_of(" \t\n\r\f") != std::string_view::npos) {
            __builtin_trap();
        }
        previousEnd = candidate.end;
    }
    if (RewriteSrcset(srcset, [](const std::string&) { return std::string(); }) != srcset) {
        __builtin_trap();
    }
    const std::string rewritten =
        RewriteSrcset(srcset, [](const std::string& url) { return "l/" + url; });
    if (FindSrcsetCandidates(rewritten).size() != candidates.size()) {
        __builtin_trap();
    }
    return 0;
}
