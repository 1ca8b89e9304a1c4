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

struct RequisiteElement {
    std::string_view element;
    RequisiteAttribute attribute;
};

constexpr std::array kRequisiteElements = {
    RequisiteElement{"img", {"srcset", true}},    RequisiteElement{"source", {"srcset", true}},
    RequisiteElement{"source", {"src", false}},   RequisiteElement{"video", {"src", false}},
    RequisiteElement{"video", {"poster", false}}, RequisiteElement{"audio", {"src", false}},
    RequisiteElement{"track", {"src", false}},    RequisiteElement{"input", {"src", false}},
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

RequisiteAttributes FindRequisiteAttributes(std::string_view elementName,
                                            const CHtmlNode& element) {
    RequisiteAttributes found;
    if (elementName == "input" && !EqualsIgnoreCase(element.GetAttribute("type"), "image")) {
        return found;
    }
    for (const RequisiteElement& entry : kRequisiteElements) {
        if (entry.element == elementName && found.count < kMaxRequisiteAttributes) {
            found.items[found.count++] = entry.attribute;
        }
    }
    return found;
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
