// The elements whose attributes hold links, shared by the code that makes the
// links of a saved page absolute and the code that makes them local again.
#pragma once

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
};

// The link attribute of the element named elementName (the parser's
// lower-case name), or none. A "param" holds a link only when its "name"
// says "movie" or "src"; "base" is no link and has none.
std::optional<LinkAttribute> FindLinkAttribute(std::string_view elementName,
                                               const CHtmlNode& element);

// The name of FindLinkAttribute's attribute for an element node; empty for
// any other node.
std::string GetLinkAttributeName(const CHtmlNode& node);

// Whether the crawl can download the URL: http and https always, ftp only
// when it names a file (an ftp folder has no file to fetch).
bool IsDownloadableLink(const CUrl& url);
