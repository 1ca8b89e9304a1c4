// The elements whose attributes hold links, shared by the code that makes the
// links of a saved page absolute and the code that makes them local again.
#pragma once

#include <string>

class CHtmlNode;

// The name of the attribute that holds the element's link: "href" for "a"
// and "link", "background" for "body", "td", "tr" and "th", "src" for "img",
// "frame", "iframe", "script" and "embed", "data" for "object", and "value"
// for a "param" whose "name" is "movie" or "src" in any case. Element names
// are compared exactly, as the parser gives them in lower case. Empty for any
// other node, "base" included: it names the base URL, not a link.
std::string GetLinkAttributeName(const CHtmlNode& node);
