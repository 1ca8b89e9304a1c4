#include "html/srcset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Urls(std::string_view srcset) {
    std::vector<std::string> urls;
    for (const SrcsetCandidate& candidate : FindSrcsetCandidates(srcset)) {
        urls.emplace_back(srcset.substr(candidate.begin, candidate.end - candidate.begin));
    }
    return urls;
}

TEST(SrcsetTest, FindsEveryCandidateAndRewritesOnlyItsUrl) {
    const struct {
        std::string srcset;
        std::vector<std::string> urls;
        std::string rewritten;  // each URL prefixed with "/"
    } cases[] = {
        {"a.png", {"a.png"}, "/a.png"},
        {"a.png 1x, b.png 2x", {"a.png", "b.png"}, "/a.png 1x, /b.png 2x"},
        {"  a.png  480w ,\tb.png 800w  ", {"a.png", "b.png"}, "  /a.png  480w ,\t/b.png 800w  "},
        // Commas that end a URL close its candidate; inner commas are part of it.
        {"a.png,b.png", {"a.png,b.png"}, "/a.png,b.png"},
        {"a.png, b.png", {"a.png", "b.png"}, "/a.png, /b.png"},
        {"a,b.png 1x,, c.png", {"a,b.png", "c.png"}, "/a,b.png 1x,, /c.png"},
        {"a.png,, ,b.png,", {"a.png", "b.png"}, "/a.png,, ,/b.png,"},
        // A comma inside a descriptor's parentheses does not end it.
        {"a.png f(1,2) 1x, b.png", {"a.png", "b.png"}, "/a.png f(1,2) 1x, /b.png"},
        {"a.png (1, b.png", {"a.png"}, "/a.png (1, b.png"},
        {"", {}, ""},
        {" , ,", {}, " , ,"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.srcset);
        EXPECT_EQ(Urls(c.srcset), c.urls);
        EXPECT_EQ(RewriteSrcset(c.srcset, [](const std::string& url) { return "/" + url; }),
                  c.rewritten);
    }
    EXPECT_EQ(RewriteSrcset("a.png 1x, b.png 2x",
                            [](const std::string& url) { return url == "b.png" ? "c.png" : ""; }),
              "a.png 1x, c.png 2x");
}

}  // namespace
