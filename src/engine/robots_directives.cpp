#include "engine/robots_directives.h"

#include "base/ascii.h"
#include "engine/program_options.h"
#include "html/tag_scanner.h"

namespace {

bool IsNoFollow(std::string_view directive) {
    return EqualsIgnoreCase(directive, "nofollow") || EqualsIgnoreCase(directive, "none");
}

// Directives that take a value after a colon, which is no crawler's name.
bool TakesValue(std::string_view name) {
    return EqualsIgnoreCase(name, "unavailable_after") || EqualsIgnoreCase(name, "max-snippet") ||
           EqualsIgnoreCase(name, "max-image-preview") ||
           EqualsIgnoreCase(name, "max-video-preview");
}

bool ElementSaysNoFollow(std::string_view element) {
    element = TrimAscii(element);
    const std::size_t colon = element.find(':');
    if (colon == std::string_view::npos) {
        return IsNoFollow(element);
    }
    const std::string_view name = TrimAscii(element.substr(0, colon));
    if (TakesValue(name) || !EqualsIgnoreCase(name, CProgramOptions::kRobotsProductToken)) {
        return false;
    }
    return IsNoFollow(TrimAscii(element.substr(colon + 1)));
}

}  // namespace

bool DirectivesSayNoFollow(std::string_view directives) {
    while (!directives.empty()) {
        const std::size_t comma = directives.find(',');
        if (ElementSaysNoFollow(directives.substr(0, comma))) {
            return true;
        }
        directives.remove_prefix(comma == std::string_view::npos ? directives.size() : comma + 1);
    }
    return false;
}

bool PageSaysNoFollow(std::string_view page) {
    CTagScanner scanner(page);
    ScannedTag tag;
    while (scanner.Next(tag)) {
        if (!tag.Is("meta")) {
            continue;
        }
        const ScannedAttribute* name = tag.Find("name");
        const ScannedAttribute* content = tag.Find("content");
        if (name != nullptr && content != nullptr &&
            (EqualsIgnoreCase(TrimAscii(name->value), "robots") ||
             EqualsIgnoreCase(TrimAscii(name->value), CProgramOptions::kRobotsProductToken)) &&
            DirectivesSayNoFollow(content->value)) {
            return true;
        }
    }
    return false;
}
