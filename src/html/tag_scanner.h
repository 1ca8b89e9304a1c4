// Reads the start tags of a page straight from its bytes, the way a browser's
// tokenizer does, so that links can be found and changed without building the
// page's tree: every byte outside the changed values stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "html/open_element_stack.h"

// How an attribute's value is written.
enum class ValueForm : std::uint8_t {
    Bare,   // no "=" at all
    Empty,  // an "=" and then the tag's end
    Unquoted,
    Quoted,
};

struct ScannedAttribute {
    std::string_view name;
    // As written, escapes and all, without its quotes; empty when bare.
    std::string_view value;
    // From the blank before the name to just past the value: what goes when
    // the attribute is removed.
    std::size_t begin = 0;
    std::size_t end = 0;
    // The value with its quotes, where a new value is written; empty (at the
    // name's end, or at the tag's end after an "=") when there is none.
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    ValueForm form = ValueForm::Bare;
    // The quote of a quoted value.
    char quote = '"';
    // The characters just before the blanks before it and just after it,
    // which decide what removing it must leave in its place.
    char preceding = '\0';
    char following = '\0';

    // Whether the value reads as it is written, line ends aside: it holds
    // no character reference and no NUL, so a part of it can be changed
    // and every other byte kept.
    bool ReadsAsWritten() const;
};

struct ScannedTag {
    // As written; compare it without regard to case.
    std::string_view name;
    std::vector<ScannedAttribute> attributes;
    // From "<" to just past ">".
    std::size_t begin = 0;
    std::size_t end = 0;
    // Written "/>", which ends an SVG or MathML element at once.
    bool selfClosing = false;
    // How the text after the tag reads; the text of an element whose text
    // holds no tags (script, style and the like, as HTML elements only), up
    // to its end tag, and where it begins.
    TextKind text = TextKind::Markup;
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

// The href of the page's first base element that has one, which is the
// base of every link of the page, those before it too; none when the page
// has no such base, or none before its reading stops being certain.
std::optional<ScannedAttribute> FindFirstBaseHref(std::string_view page);

// Reads a page the way the HTML standard's tokenizer does, with as much of
// its tree building as decides how the tokenizer goes on: comments (with
// every form of their end), end tags with attributes, raw text, script text
// with its escapes, plain text, CDATA sections and SVG and MathML content.
// A NUL byte is a character like any other here, as it is to a browser.
class CTagScanner {
public:
    explicit CTagScanner(std::string_view page) : m_page(page) {}

    // The next start tag, skipping text, comments, end tags, declarations
    // and the text of raw text elements. False at the end of the page, and
    // when the page holds what this reading cannot be sure a browser reads
    // the same way (see COpenElementStack); IsCertain tells the two apart.
    // A tag that the page ends in is no tag, as to a browser.
    bool Next(ScannedTag& tag);
    bool IsCertain() const { return m_certain; }

private:
    // Reads the tag whose name begins at nameBegin; false when the page
    // ends inside it.
    bool ReadTag(ScannedTag& tag, std::size_t nameBegin);
    // Reads one attribute from at; the position after it, or npos when the
    // page ends inside it.
    std::size_t ReadAttribute(ScannedTag& tag, std::size_t at);
    bool TakeStartTag(ScannedTag& tag);
    void ReadEndTag();
    void SkipText(ScannedTag& tag);
    std::size_t FindRawTextEnd(std::string_view name) const;
    std::size_t FindScriptEnd() const;
    void SkipMarkupDeclaration();
    void SkipComment();
    // Skips to just past the next ">" from `from`, or to the page's end.
    void SkipPastGreaterThan(std::size_t from);
    bool Fail();

    std::string_view m_page;
    std::size_t m_at = 0;
    bool m_certain = true;
    COpenElementStack m_elements;
    // The next end tag is the one that ends raw text.
    bool m_rawTextEnds = false;
    // Reused for end tags, which only need reading.
    ScannedTag m_endTag;
};

// The text a browser reads from an attribute's written value: character
// references decoded to UTF-8, line ends as line feeds and NUL bytes as
// U+FFFD. A named reference without its ";" stays as it is unless its name
// is a known entity; none for such a name, and for a name with ";" that is
// not known here (the standard knows more names than this reading).
std::optional<std::string> DecodeAttributeValue(std::string_view written);

// The text escaped for an attribute value written in quotes, or without
// them: no "<", ">", quote or "&" of its own, and unquoted nothing that
// would end the value. With asciiOnly, every UTF-8 character beyond ASCII
// becomes a character reference.
std::string EscapeAttributeText(std::string_view text, bool unquoted, bool asciiOnly = false);

// The page with byte ranges replaced; ranges must not overlap.
class CPageEdits {
public:
    void Replace(std::size_t begin, std::size_t end, std::string text);
    // Removes every attribute of the name (in lower case): a later one of
    // the same name would otherwise take the removed one's place.
    void RemoveAttribute(const ScannedTag& tag, std::string_view lowerName);
    // Writes value in place of the attribute's own, in the same form (a
    // bare one gets an unquoted value), escaped so that it holds no "<",
    // ">" and no quote of either kind: whatever reads the tag, the new value
    // cannot end it or anything around it. With asciiOnly (for a page in
    // another encoding than UTF-8) the value's characters beyond ASCII are
    // written as character references.
    void ReplaceValue(const ScannedAttribute& attribute, std::string_view value,
                      bool asciiOnly = false);
    // Writes text, already escaped for the value's form, in place of the
    // value as it is written, its quotes kept.
    void ReplaceValueText(const ScannedAttribute& attribute, std::string text);
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
