// The character encodings of a page: the one the parser reads it in, and the
// one its markup declares once it is saved.
#pragma once

#include <libxml/encoding.h>
#include <libxml/tree.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

class CHtmlNode;

namespace html_charset {

// What the first bytes of a page tell before the parser sees them.
struct PageStart {
    xmlCharEncoding encoding;  // the encoding the parser starts in
    std::size_t markLength;    // bytes of a byte-order mark, which are no text
};

// A byte-order mark decides the encoding, as it does in a browser, and is no
// part of the text. Otherwise a first chunk that is well-formed UTF-8 starts the parser in
// UTF-8, where it would guess ISO-8859-1 at the first byte beyond ASCII; a
// declaration in the page still switches it, and bytes that are no UTF-8
// still make it fall back to ISO-8859-1. Anything else is left to the parser.
// moreFollows: the chunk may end inside a character.
PageStart InspectPageStart(std::string_view firstChunk, bool moreFollows);

// The labels of UTF-16, little- and big-endian, that browsers know.
inline constexpr std::array<std::string_view, 9> kUtf16Labels = {
    "utf-16",      "utf-16le", "utf-16be",        "unicode",  "unicodefeff",
    "unicodefffe", "ucs-2",    "iso-10646-ucs-2", "csunicode"};

// The encoding a browser reads a page in when its markup declares label. The
// declaration was read in ASCII bytes, so the page cannot be in UTF-16: a
// declared UTF-16 means UTF-8, and only a byte-order mark (or the transport)
// makes a page UTF-16. Any other label is returned as it is.
std::string DeclaredEncoding(std::string_view label);

// The length of the UTF-8 character that text starts with; 0 when its first
// bytes are no UTF-8 character, or text is empty.
std::size_t Utf8CharLength(std::string_view text);

// Appends the UTF-8 bytes of a code point, which must be a Unicode scalar value.
void AppendUtf8(std::string& text, char32_t code);

// Whether all of text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// libxml2 lets bytes that are no UTF-8 into the tree on some paths (an "&"
// before such a byte in a page that claims to be UTF-8), and its serialiser
// gives up at the first of them, halfway through the page. Reads every such
// byte in the node's text and attribute values as the ISO-8859-1 character of
// that code, which is what the bytes of such pages nearly always are.
void RepairText(xmlNode* node);

// If node is a meta element that declares a character set, makes it declare
// charset instead.
void Redeclare(CHtmlNode& node, const std::string& charset);

}  // namespace html_charset
