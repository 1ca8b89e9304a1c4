// The image candidates of a srcset attribute: "a.png 1x, b.png 2x" names two
// files, each followed by its descriptors.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct SrcsetCandidate {
    // The bytes of the candidate's URL within the attribute.
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Every candidate URL in order, read as a browser reads them: a URL runs to
// the next white space, commas at its end close the candidate, and the
// descriptors run to the next comma outside parentheses.
std::vector<SrcsetCandidate> FindSrcsetCandidates(std::string_view srcset);

// The attribute with the URL of every candidate for which replace gives a
// non-empty text put in its place; descriptors and separators are kept.
std::string RewriteSrcset(std::string_view srcset,
                          const std::function<std::string(const std::string&)>& replace);
