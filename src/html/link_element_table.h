// The elements whose attributes hold links, shared by the code that makes the
// links of a saved page absolute and the code that makes them local again.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class CHtmlNode;
class CUrl;

// The attribute of an element that holds a link, and whether the link is an
// anchor: anchors are followed only within the crawl's scope and level
// limits, every other link is a resource of the page and always fetched.
struct LinkAttribute {
    const char* name;
    bool anchor;
    // The value is a refresh's content, whose link is only its URL part.
    bool refresh = false;
};

// The link attribute of the element named elementName (the parser's
// lower-case name), or none. A "param" holds a link only when its "name"
// says "movie" or "src"; "base" is no link and has none. A "link" is a
// resource of the page only when its "rel" names one (a style sheet, an
// icon, a manifest, something to load ahead), else an anchor. A "meta" holds
// one only when its "http-equiv" says "refresh"; an SVG "image" or "use"
// holds it in "href", or in "xlink:href" when "href" is empty or absent.
std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               const CHtmlNode& element);
// The same for an element read from a page's bytes: deciding is the value of
// its DecidingAttribute, or empty when it has none.
std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               std::string_view deciding);

// The attribute whose value the tables look at for an element of that name
// ("name" of a "param", "rel" of a "link", "type" of an "input",
// "http-equiv" of a "meta", "href" of an "image" or "use"); null for any
// other element.
const char* DecidingAttribute(std::string_view elementName);

// The link that a link attribute's value holds: the whole value, or the URL
// part of a refresh's content ("5; url='next.html'" holds next.html), read
// as browsers read it; empty when a refresh names no URL.
std::string_view LinkOfValue(const LinkAttribute& attribute, std::string_view value);
// The value with LinkOfValue's part replaced by link: a refresh keeps its
// delay and the text around its URL.
std::string ReplaceLinkOfValue(const LinkAttribute& attribute, std::string_view value,
                               std::string_view link);

// An attribute that holds a page requisite beyond the element table, fetched
// only when page requisites are: never an anchor. A srcset attribute holds a
// list of candidates, any other one URL.
struct RequisiteAttribute {
    const char* name;
    bool srcset;
};

// The requisite attributes of the element named elementName, at most
// kMaxRequisiteAttributes; an "input" has one only when its type is "image".
// The "style" attribute, which any element may have, is not among them.
constexpr std::size_t kMaxRequisiteAttributes = 2;
struct RequisiteAttributes {
    std::array<RequisiteAttribute, kMaxRequisiteAttributes> items{};
    std::size_t count = 0;
    const RequisiteAttribute* begin() const { return items.data(); }
    const RequisiteAttribute* end() const { return items.data() + count; }
};
RequisiteAttributes FindRequisiteAttributes(std::string_view elementName, const CHtmlNode& element);
RequisiteAttributes FindRequisiteAttributes(std::string_view elementName,
                                            std::string_view deciding);

// The name of FindLinkAttribute's attribute for an element node; empty for
// any other node.
std::string GetLinkAttributeName(const CHtmlNode& node);

// The URL that the links of the page at pageUrl resolve against when its
// first base element with an href has that href, as browsers take it: the
// href resolved against the page, or the page's own URL when the href is
// empty or names no URL. Later base elements count for nothing.
std::string ResolveBaseHref(const std::string& pageUrl, const std::string& href);

// Whether the crawl can download the URL: http and https always, ftp only
// when it names a file (an ftp folder has no file to fetch).
bool IsDownloadableLink(const CUrl& url);
