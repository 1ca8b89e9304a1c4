#include "url/link_element_table.h"

#include <strings.h>

#include <array>
#include <string_view>

#include "storage/html_node.h"

namespace {

struct LinkElement {
    std::string_view element;
    std::string_view attribute;
};

constexpr std::array<LinkElement, 12> kLinkElements{{
    {"a", "href"},
    {"link", "href"},
    {"body", "background"},
    {"td", "background"},
    {"tr", "background"},
    {"th", "background"},
    {"img", "src"},
    {"frame", "src"},
    {"iframe", "src"},
    {"script", "src"},
    {"embed", "src"},
    {"object", "data"},
}};

bool IsMovieParam(const CHtmlNode& node) {
    const std::string name = node.GetAttribute("name");
    return ::strcasecmp(name.c_str(), "movie") == 0 || ::strcasecmp(name.c_str(), "src") == 0;
}

}  // namespace

std::string GetLinkAttributeName(const CHtmlNode& node) {
    if (!node.IsElement()) {
        return {};
    }
    const std::string name = node.GetNodeName();
    if (name == "param") {
        return IsMovieParam(node) ? "value" : "";
    }
    for (const LinkElement& entry : kLinkElements) {
        if (entry.element == name) {
            return std::string(entry.attribute);
        }
    }
    return {};
}
