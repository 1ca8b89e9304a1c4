// Rewrites the links of arbitrary bytes read as a page the ways the program
// does (the crawl's link extraction, the link pass after it, and a splice of
// link values full of markup) and reads every result with an HTML5 parser:
// it must show the elements, attributes, text and comments of the page as
// served, but for the link values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/markup_equivalence.h"

namespace {

void Check(const std::string& served, const std::string& rewritten, const char* how) {
    const std::string difference = testing_support::CompareTrees(served, rewritten);
    if (!difference.empty()) {
        std::fprintf(stderr, "%s: %s\n", how, difference.c_str());
        __builtin_trap();
    }
}

}  // namespace

// The link pass reads and writes files; in memory it is many times faster.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored)) {
        ::setenv("TMPDIR", "/dev/shm", 1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    const testing_support::CrawledPage crawled = testing_support::CrawlPage(page);
    Check(page, crawled.saved, "crawl");
    Check(page, testing_support::PassOverPage(crawled), "link pass");
    static CLinkSplicer splicer;
    for (const bool utf8 : {false, true}) {
        if (const auto spliced = testing_support::SpliceMarkupLinks(splicer, page, utf8)) {
            Check(page, *spliced, "splice");
        }
    }
    return 0;
}
