#include "base/path_segments.h"

std::vector<std::string_view> SplitPathSegments(std::string_view text) {
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        segments.push_back(text.substr(start, slash - start));
        if (slash == std::string_view::npos) {
            return segments;
        }
        start = slash + 1;
    }
}

std::optional<std::string> RemoveDotSegments(std::string_view path, bool clampAtRoot) {
    const std::vector<std::string_view> segments = SplitPathSegments(path.substr(1));
    // From the last segment back, so that each ".." knows which segment it
    // swallows before that segment is kept.
    std::vector<std::string_view> kept;
    int pendingParents = 0;
    for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
        if (*it == ".") {
            continue;
        }
        if (*it == "..") {
            ++pendingParents;
        } else if (pendingParents > 0) {
            --pendingParents;
        } else {
            kept.push_back(*it);
        }
    }
    if (pendingParents > 0 && !clampAtRoot) {
        return std::nullopt;
    }
    std::string result;
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        result += '/';
        result += *it;
    }
    return result;
}
