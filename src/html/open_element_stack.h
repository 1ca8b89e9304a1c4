// The part of a browser's tree building that decides how its tokenizer reads
// what follows a tag: whether the text after a start tag is markup, raw
// text, script or plain text, and whether a tag stands in SVG or MathML
// content, where "<style>" or "<title>" start elements like any other and
// CDATA sections are read.
//
// Only what decides that is kept: the SVG and MathML subtrees, with the HTML
// elements inside their integration points (foreignObject, desc and title of
// SVG, the text elements and an HTML annotation-xml of MathML), and whether a
// select or a frameset is open. The HTML elements around a subtree are not
// kept, so an end tag that could close the subtree through them leaves the
// reading uncertain; so does every construct whose effect depends on more
// than this (tables, forms, templates, select and frameset around raw text
// or foreign content, misnested formatting elements inside an integration
// point, SVG or MathML nested deeper than real pages nest it) or on the
// edition of the standard a browser follows.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ScannedTag;

// How the text after a start tag reads, up to the element's own end tag.
enum class TextKind : std::uint8_t {
    Markup,
    // Text without tags: style, xmp, iframe, noembed, noframes, noscript (as
    // a browser with scripts on reads it), and title and textarea, whose
    // character references do not matter here.
    RawText,
    // Script text, with the escapes "<!--" and "<script" open.
    ScriptData,
    // Everything up to the page's end.
    PlainText,
};

class COpenElementStack {
public:
    // Takes a start tag in, setting how the text after it reads; false when
    // that cannot be told with certainty.
    bool StartTag(const ScannedTag& tag, TextKind& text);
    // Takes an end tag in (name in lower case); false when what it closes
    // cannot be told with certainty.
    bool EndTag(std::string_view name);
    // Where a "<![CDATA[" starts a CDATA section rather than a comment.
    bool InForeignContent() const;

private:
    enum class Space : std::uint8_t { Html, Svg, MathMl };
    struct Element {
        Space space;
        std::string name;  // in lower case
        // An SVG foreignObject, desc or title, or a MathML annotation-xml
        // that holds HTML: its start tags are read as HTML.
        bool htmlIntegration = false;
    };

    bool TakesForeignStartTag(std::string_view name) const;
    bool StartForeignElement(const std::string& name, const ScannedTag& tag);
    bool StartHtmlElement(const std::string& name, const ScannedTag& tag, TextKind& text);
    bool StartHtmlInsideForeign(const std::string& name);
    bool EndHtmlElementInsideForeign(std::string_view name);
    void PopToHtmlOrIntegrationPoint();
    // Pops the elements from the top down to index; false when that would
    // pop a formatting element, which a browser may open again later.
    bool PopTo(std::size_t index);
    // The topmost HTML element with one of the names that the HTML rules
    // reach from the top, where elements with the extra names bound the
    // search too; none when a boundary comes first.
    std::optional<std::size_t> FindInScope(std::initializer_list<std::string_view> names,
                                           std::initializer_list<std::string_view> extra) const;
    bool IsHtmlOnTop(std::initializer_list<std::string_view> names) const;
    // An SVG or MathML element that bounds a scope and is special.
    static bool IsForeignBoundary(const Element& element);
    static bool IsSpecial(const Element& element);

    std::vector<Element> m_elements;
    bool m_inSelect = false;
    bool m_inFrameset = false;
};
