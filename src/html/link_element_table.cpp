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
    LinkElement{"a", {"href", true}},
    LinkElement{"img", {"src", false}},
    LinkElement{"link", {"href", false}},
    LinkElement{"script", {"src", false}},
    LinkElement{"td", {"background", false}},
    LinkElement{"tr", {"background", false}},
    LinkElement{"th", {"background", false}},
    LinkElement{"body", {"background", false}},
    LinkElement{"frame", {"src", false}},
    LinkElement{"iframe", {"src", false}},
    LinkElement{"embed", {"src", false}},
    LinkElement{"object", {"data", false}},
    LinkElement{"param", {"value", false}},
    LinkElement{"area", {"href", true}},
    LinkElement{"table", {"background", false}},
    LinkElement{"image", {"href", false}},
    LinkElement{"use", {"href", false}},
    LinkElement{"meta", {"content", true}},
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

constexpr std::string_view kHtmlSpace = " \t\n\f\r";

bool IsHtmlSpace(char c) {
    return c != '\0' && kHtmlSpace.find(c) != std::string_view::npos;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename Predicate>
std::size_t Skip(std::string_view text, std::size_t at, Predicate matches) {
    while (at < text.size() && matches(text[at])) {
        ++at;
    }
    return at;
}

std::size_t SkipSpace(std::string_view text, std::size_t at) {
    return Skip(text, at, IsHtmlSpace);
}

bool IsLetter(std::string_view text, std::size_t at, char lower) {
    return at < text.size() && (text[at] | 0x20) == lower;
}

// Where the delay of a refresh's content ends and its URL may begin; none
// when the content is no refresh a browser obeys.
std::optional<std::size_t> SkipRefreshDelay(std::string_view content) {
    std::size_t at = SkipSpace(content, 0);
    const std::size_t digitsEnd = Skip(content, at, IsDigit);
    if (digitsEnd == at && (at == content.size() || content[at] != '.')) {
        return std::nullopt;
    }
    at = Skip(content, digitsEnd, [](char c) { return IsDigit(c) || c == '.'; });
    if (at == content.size()) {
        return at;
    }
    if (content[at] != ';' && content[at] != ',' && !IsHtmlSpace(content[at])) {
        return std::nullopt;
    }
    at = SkipSpace(content, at);
    if (at < content.size() && (content[at] == ';' || content[at] == ',')) {
        ++at;
    }
    return SkipSpace(content, at);
}

// After "url" and "=" (blanks allowed around the "=") that start the text
// at "u": where the URL starts; none when the text spells something else,
// and is then the URL itself.
std::optional<std::size_t> SkipUrlEquals(std::string_view text, std::size_t u) {
    if (!IsLetter(text, u + 1, 'r') || !IsLetter(text, u + 2, 'l')) {
        return std::nullopt;
    }
    const std::size_t equals = SkipSpace(text, u + 3);
    if (equals == text.size() || text[equals] != '=') {
        return std::nullopt;
    }
    return SkipSpace(text, equals + 1);
}

struct TextSpan {
    std::size_t begin;
    std::size_t end;
};

// The URL of a refresh's content, without the blanks and the quotes around
// it; an empty span when it names none.
TextSpan FindRefreshUrl(std::string_view content) {
    const std::optional<std::size_t> start = SkipRefreshDelay(content);
    if (!start || *start == content.size()) {
        return {0, 0};
    }
    std::size_t begin = *start;
    std::size_t end = content.size();
    const std::optional<std::size_t> afterEquals =
        IsLetter(content, begin, 'u') ? SkipUrlEquals(content, begin) : begin;
    if (afterEquals) {
        begin = *afterEquals;
        if (begin < end && (content[begin] == '\'' || content[begin] == '"')) {
            end = std::min(content.find(content[begin], begin + 1), end);
            ++begin;
        }
    }
    while (end > begin && IsHtmlSpace(content[end - 1])) {
        --end;
    }
    return {begin, std::max(begin, end)};
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
    if (elementName == "meta") {
        return "http-equiv";
    }
    if (elementName == "image" || elementName == "use") {
        return "href";
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
            if (elementName == "meta") {
                return EqualsIgnoreCase(deciding, "refresh")
                           ? std::optional(LinkAttribute{"content", true, true})
                           : std::nullopt;
            }
            // SVG 2 reads "href" first; older documents have only "xlink:href".
            if ((elementName == "image" || elementName == "use") && deciding.empty()) {
                return LinkAttribute{"xlink:href", false};
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

std::string_view LinkOfValue(const LinkAttribute& attribute, std::string_view value) {
    if (!attribute.refresh) {
        return value;
    }
    const TextSpan url = FindRefreshUrl(value);
    return value.substr(url.begin, url.end - url.begin);
}

std::string ReplaceLinkOfValue(const LinkAttribute& attribute, std::string_view value,
                               std::string_view link) {
    if (!attribute.refresh) {
        return std::string(link);
    }
    const TextSpan url = FindRefreshUrl(value);
    if (url.begin == url.end) {
        return std::string(value);
    }
    std::string replaced(value.substr(0, url.begin));
    replaced += link;
    replaced += value.substr(url.end);
    return replaced;
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
