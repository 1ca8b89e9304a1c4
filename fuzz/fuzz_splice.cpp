// Splices new links into arbitrary bytes read as a page that kept its own
// markup, the way the link pass does after a crawl: hrefs change, a base
// loses its address, and every tag is shown when relative links change too.
// A spliced page must read as the same tags, and each href as either its old
// value or the new one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "html/html_node.h"
#include "html/link_splicer.h"
#include "tag_names.h"

namespace {

// Quotes, an ampersand and blanks: what a local reference may hold.
const std::string kNewLink = "../a b/x.html#\"&amp;'<";

void ChangeLinks(CHtmlNode& element) {
    try {
        if (element.GetNodeName() == "base") {
            element.RemoveAttribute("href");
        } else if (!element.GetAttribute("href").empty()) {
            element.SetAttribute("href", kNewLink);
        }
    } catch (const CHtmlException&) {
        // Left as it was, as the link pass leaves it.
    }
}

bool HrefsReadBack(std::string_view page, std::string_view spliced) {
    CTagScanner before(page);
    CTagScanner after(spliced);
    ScannedTag old;
    ScannedTag now;
    while (before.Next(old) && after.Next(now)) {
        const ScannedAttribute* oldHref = old.Find("href");
        const ScannedAttribute* newHref = now.Find("href");
        if (oldHref == nullptr || newHref == nullptr || newHref->value == oldHref->value) {
            continue;
        }
        if (DecodeAttributeValue(newHref->value) != kNewLink) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    static CLinkSplicer splicer;
    for (const bool utf8 : {false, true}) {
        for (const bool everyTag : {false, true}) {
            const auto spliced = splicer.SpliceOwnMarkup(
                page, utf8, ChangeLinks, [](const std::string&) { return std::string(); },
                everyTag);
            if (spliced &&
                (TagNames(*spliced) != TagNames(page) || !HrefsReadBack(page, *spliced))) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
