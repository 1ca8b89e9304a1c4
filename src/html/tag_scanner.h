// Reads the start tags of a page straight from its bytes, the way a browser's
// tokenizer does, so that links can be found and changed without building the
// page's tree: every byte outside the changed values stays as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ScannedAttribute {
    std::string_view name;
    // As written, escapes and all, without its quotes; empty when bare.
    std::string_view value;
    // From the blank before the name to just past the value: what goes when
    // the attribute is removed.
    std::size_t begin = 0;
    std::size_t end = 0;
    // The value with its quotes, where a new value is written; empty (at the
    // name's end) for a bare attribute.
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    // Whether what follows is no blank and no ">": removing the attribute
    // must then leave a blank in its place.
    bool touchesNext = false;
};

struct ScannedTag {
    // As written; compare it without regard to case.
    std::string_view name;
    std::vector<ScannedAttribute> attributes;
    // From "<" to just past ">".
    std::size_t begin = 0;
    std::size_t end = 0;
    // The text of script, style and the other elements whose text holds no
    // tags, up to their end tag; empty for any other element.
    std::string_view rawText;
    std::size_t rawTextBegin = 0;

    bool Is(std::string_view lowerName) const;
    // The first attribute of the name (in lower case), as a browser takes it.
    const ScannedAttribute* Find(std::string_view lowerName) const;
};

// The character set that a meta tag declares, by its charset attribute or as
// the charset of a Content-Type, as a browser takes it (UTF-16 as UTF-8);
// empty when it declares none.
std::string ReadDeclaredCharset(const ScannedTag& meta);

class CTagScanner {
public:
    explicit CTagScanner(std::string_view page) : m_page(page) {}

    // The next start tag, skipping text, comments, end tags, declarations
    // and the text of raw text elements. False at the end of the page, and
    // when the page holds what a reading this simple cannot be sure a
    // browser reads the same way: a NUL byte, a tag or comment that the
    // page ends in, or an attribute name that begins with "=". IsCertain
    // tells the two apart.
    bool Next(ScannedTag& tag);
    bool IsCertain() const { return m_certain; }

private:
    bool ReadStartTag(ScannedTag& tag);
    bool ReadAttribute(ScannedTag& tag);
    void SkipRawText(ScannedTag& tag);
    // Past the "<!", "<?" or "</" construct at m_at; false when the page ends in it.
    bool SkipMarkup();
    bool Fail();

    std::string_view m_page;
    std::size_t m_at = 0;
    bool m_certain = true;
};

// The text a browser reads from an attribute's written value: character
// references decoded to UTF-8. A named reference without its ";" stays as it
// is unless its name is a known entity; none for such a name, a numeric
// reference without ";" or naming no character, or a CR or NUL byte, which
// readers do not agree on.
std::optional<std::string> DecodeAttributeValue(std::string_view written);

// The page with byte ranges replaced; ranges must not overlap.
class CPageEdits {
public:
    void Replace(std::size_t begin, std::size_t end, std::string text);
    // Removes every attribute of the name (in lower case): a later one of
    // the same name would otherwise take the removed one's place.
    void RemoveAttribute(const ScannedTag& tag, std::string_view lowerName);
    // Writes value, quoted, in place of the attribute's own.
    void ReplaceValue(const ScannedAttribute& attribute, std::string_view value);
    bool IsEmpty() const { return m_edits.empty(); }
    std::string ApplyTo(std::string_view page) const;

private:
    struct Edit {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };
    std::vector<Edit> m_edits;
};
