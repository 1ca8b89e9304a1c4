#include "html/link_element_table.h"

#include <algorithm>
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

// The relations that make a link element's target a resource of its page:
// what a browser loads to show the page, or loads ahead for it.
constexpr std::array<std::string_view, 9> kResourceRelations = {
    "stylesheet", "icon",    "apple-touch-icon", "apple-touch-icon-precomposed",
    "manifest",   "preload", "modulepreload",    "prefetch",
    "mask-icon"};

// rel is a list of keywords separated by ASCII white space; "shortcut icon"
// names an icon.
bool NamesPageResource(std::string_view rel) {
    constexpr std::string_view kSpace = " \t\n\f\r";
    for (std::size_t begin = rel.find_first_not_of(kSpace); begin != std::string_view::npos;) {
        const std::size_t end = std::min(rel.find_first_of(kSpace, begin), rel.size());
        const std::string_view keyword = rel.substr(begin, end - begin);
        if (std::any_of(kResourceRelations.begin(), kResourceRelations.end(),
                        [&](std::string_view known) { return EqualsIgnoreCase(keyword, known); })) {
            return true;
        }
        begin = rel.find_first_not_of(kSpace, end);
    }
    return false;
}

std::string DecidingValue(std::string_view elementName, const CHtmlNode& element) {
    const char* deciding = DecidingAttribute(elementName);
    return deciding == nullptr ? std::string() : element.GetAttribute(deciding);
}

}  // namespace

const char* DecidingAttribute(std::string_view elementName) {
    if (elementName == "param") {
        return "name";
    }
    if (elementName == "link") {
        return "rel";
    }
    return elementName == "input" ? "type" : nullptr;
}

std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               std::string_view deciding) {
    for (const LinkElement& entry : kLinkElements) {
        if (entry.element == elementName) {
            if (elementName == "param" && !EqualsIgnoreCase(deciding, "movie") &&
                !EqualsIgnoreCase(deciding, "src")) {
                return std::nullopt;
            }
            if (elementName == "link") {
                // Any other relation (next, alternate, canonical, none) leads to
                // another page, which the crawl's limits judge like an anchor's.
                return LinkAttribute{entry.attribute.name, !NamesPageResource(deciding)};
            }
            return entry.attribute;
        }
    }
    return std::nullopt;
}

std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               const CHtmlNode& element) {
    return FindLinkAttribute(elementName, DecidingValue(elementName, element));
}

RequisiteAttributes FindRequisiteAttributes(std::string_view elementName,
                                            std::string_view deciding) {
    RequisiteAttributes found;
    if (elementName == "input" && !EqualsIgnoreCase(deciding, "image")) {
        return found;
    }
    for (const RequisiteElement& entry : kRequisiteElements) {
        if (entry.element == elementName && found.count < kMaxRequisiteAttributes) {
            found.items[found.count++] = entry.attribute;
        }
    }
    return found;
}

RequisiteAttributes FindRequisiteAttributes(std::string_view elementName,
                                            const CHtmlNode& element) {
    return FindRequisiteAttributes(elementName, DecidingValue(elementName, element));
}

std::string GetLinkAttributeName(const CHtmlNode& node) {
    if (!node.IsElement()) {
        return {};
    }
    const std::optional<LinkAttribute> attribute = FindLinkAttribute(node.GetNodeName(), node);
    return attribute ? attribute->name : "";
}

std::string ResolveBaseHref(const std::string& pageUrl, const std::string& href) {
    const std::string trimmed = TrimHtmlWhiteSpace(href);
    CUrl url;
    if (trimmed.empty() || (!url.Parse(trimmed) && !url.ResolveRelative(pageUrl, trimmed))) {
        return pageUrl;
    }
    return url.GetSourceText();
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
