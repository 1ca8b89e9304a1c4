// Segment handling shared by URL paths and file paths, which both use "/"
// between their segments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of text between its "/" separators, empty ones included.
std::vector<std::string_view> SplitPathSegments(std::string_view text);

// Drops "." segments and each ".." together with the segment before it from
// path, which starts with "/". A ".." above the root fails, or is ignored
// when clampAtRoot is set. A trailing "." or ".." leaves no trailing "/";
// nothing left is the empty text.
std::optional<std::string> RemoveDotSegments(std::string_view path, bool clampAtRoot);
