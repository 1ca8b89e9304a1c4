// The start tags a page reads as, for the fuzz targets that change pages in
// place: a change to values alone must leave the same tags behind.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "html/tag_scanner.h"

// The names of the page's start tags, or none when it cannot be read with
// certainty.
inline std::optional<std::vector<std::string>> TagNames(std::string_view page) {
    CTagScanner scanner(page);
    ScannedTag tag;
    std::vector<std::string> names;
    while (scanner.Next(tag)) {
        names.emplace_back(tag.name);
    }
    return scanner.IsCertain() ? std::optional(names) : std::nullopt;
}
