#include "html/srcset.h"

namespace {

bool IsSrcsetSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// From the character after a URL to the start of the next candidate.
std::size_t SkipDescriptors(std::string_view srcset, std::size_t position) {
    int depth = 0;
    for (; position < srcset.size(); ++position) {
        const char c = srcset[position];
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            return position + 1;
        }
    }
    return position;
}

}  // namespace

std::vector<SrcsetCandidate> FindSrcsetCandidates(std::string_view srcset) {
    std::vector<SrcsetCandidate> candidates;
    std::size_t position = 0;
    while (position < srcset.size()) {
        if (IsSrcsetSpace(srcset[position]) || srcset[position] == ',') {
            ++position;
            continue;
        }
        const std::size_t begin = position;
        while (position < srcset.size() && !IsSrcsetSpace(srcset[position])) {
            ++position;
        }
        std::size_t end = position;
        while (end > begin && srcset[end - 1] == ',') {
            --end;
        }
        if (end > begin) {
            candidates.push_back({begin, end});
        }
        if (end == position) {
            position = SkipDescriptors(srcset, position);
        }
    }
    return candidates;
}

std::string RewriteSrcset(std::string_view srcset,
                          const std::function<std::string(const std::string&)>& replace) {
    std::string rewritten;
    std::size_t copied = 0;
    for (const SrcsetCandidate& candidate : FindSrcsetCandidates(srcset)) {
        const std::string replacement =
            replace(std::string(srcset.substr(candidate.begin, candidate.end - candidate.begin)));
        if (replacement.empty()) {
            continue;
        }
        rewritten.append(srcset.substr(copied, candidate.begin - copied));
        rewritten += replacement;
        copied = candidate.end;
    }
    rewritten.append(srcset.substr(copied));
    return rewritten;
}
