// The links of a style sheet: the address of every url() and of every
// @import given as a string. A small tokenizer of its own finds them the way
// a browser reads a sheet (comments, strings, escapes and url tokens), so a
// "url(" inside a comment or a string is no link, and broken syntax never
// makes it read past the sheet's end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct CssLink {
    // The bytes that spell the address: a string with its quotes, or the
    // inside of an unquoted url() without its surrounding white space.
    std::size_t begin = 0;
    std::size_t end = 0;
    bool quoted = false;
    // The address with its escapes decoded and white space trimmed.
    std::string address;
};

// Every link of the sheet in order, but references that name no file to
// fetch (empty, data:, javascript:, about:).
std::vector<CssLink> FindCssLinks(std::string_view sheet);

// The sheet with the address of every link for which replace gives a
// non-empty text put in its place, quoted as the link was and with "<", ">"
// and quotes written as CSS escapes, so that it cannot end the style element
// or attribute that holds the sheet; every other byte is kept.
std::string RewriteCssLinks(std::string_view sheet,
                            const std::function<std::string(const std::string&)>& replace);

// Whether a reference names nothing to fetch: empty, or data:, javascript:
// or about:.
bool IsInertReference(std::string_view reference);
