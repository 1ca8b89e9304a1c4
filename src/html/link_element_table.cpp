#include "html/link_element_table.h"

#include <array>
#include <string_view>

#include "base/ascii.h"
#include "base/url.h"
#include "html/html_node.h"

namespace {

struct LinkElement {
    std::string_view element;
    LinkAttribute attribute;
};

constexpr std::array kLinkElements = {
    LinkElement{"a", {"href", true}},         LinkElement{"img", {"src", false}},
    LinkElement{"link", {"href", false}},     LinkElement{"script", {"src", false}},
    LinkElement{"td", {"background", false}}, LinkElement{"tr", {"background", false}},
    LinkElement{"th", {"background", false}}, LinkElement{"body", {"background", false}},
    LinkElement{"frame", {"src", false}},     LinkElement{"iframe", {"src", false}},
    LinkElement{"embed", {"src", false}},     LinkElement{"object", {"data", false}},
    LinkElement{"param", {"value", false}},
};

bool IsMovieParam(const CHtmlNode& param) {
    const std::string name = param.GetAttribute("name");
    return EqualsIgnoreCase(name, "movie") || EqualsIgnoreCase(name, "src");
}

}  // namespace

std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               const CHtmlNode& element) {
    for (const LinkElement& entry : kLinkElements) {
        if (entry.element == elementName) {
            if (elementName == "param" && !IsMovieParam(element)) {
                return std::nullopt;
            }
            return entry.attribute;
        }
    }
    return std::nullopt;
}

std::string GetLinkAttributeName(const CHtmlNode& node) {
    if (!node.IsElement()) {
        return {};
    }
    const std::optional<LinkAttribute> attribute = FindLinkAttribute(node.GetNodeName(), node);
    return attribute ? attribute->name : "";
}

bool IsDownloadableLink(const CUrl& url) {
    switch (url.GetScheme()) {
        case SchemeHttp:
        case SchemeHttps:
            return true;
        case SchemeFtp:
            return !url.GetFileName().empty();
        default:
            return false;
    }
}
