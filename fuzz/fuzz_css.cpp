// Reads arbitrary bytes as a style sheet: every link must lie inside the
// sheet, a rewrite that replaces nothing must give the sheet back byte for
// byte, and a rewrite of every link must yield the same number of links.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "html/css_links.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sheet(reinterpret_cast<const char*>(data), size);
    const auto links = FindCssLinks(sheet);
    std::size_t previousEnd = 0;
    for (const CssLink& link : links) {
        if (link.begin < previousEnd || link.begin > link.end || link.end > sheet.size() ||
            link.address.empty()) {
            __builtin_trap();
        }
        previousEnd = link.end;
    }
    if (RewriteCssLinks(sheet, [](const std::string&) { return std::string(); }) != sheet) {
        __builtin_trap();
    }
    const std::string rewritten =
        RewriteCssLinks(sheet, [](const std::string& address) { return "l/" + address; });
    if (FindCssLinks(rewritten).size() != links.size()) {
        __builtin_trap();
    }
    return 0;
}
