// Rewrites the links of a page without building the page's tree: the page is
// read tag by tag from its bytes, the way a browser reads it, and only the
// values whose links change are written anew; every other byte stays as it
// is. A parser's tree written back would show a browser markup of the
// parser's own making wherever the two read a page differently.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CHtmlNode;
class CPageEdits;
struct ScannedAttribute;
struct ScannedTag;
struct _xmlDoc;

class CLinkSplicer {
public:
    // Changes an element as the rewriting pass would; the element has its
    // attributes but no children.
    using ElementVisitor = std::function<void(CHtmlNode& element)>;
    // The new text of a link in a style element, a style attribute or a
    // srcset; empty when it stays as it is.
    using LinkRewrite = std::function<std::string(const std::string& link)>;

    CLinkSplicer();
    ~CLinkSplicer();
    CLinkSplicer(const CLinkSplicer&) = delete;
    CLinkSplicer& operator=(const CLinkSplicer&) = delete;

    // The page with each attribute value that the visitor changes written
    // anew (escaped, so that it cannot end its tag), each attribute that it
    // removes taken out, and the links of each style element, style
    // attribute and srcset rewritten where they stand, every other byte of
    // them kept (a style or srcset whose value holds a character reference
    // is shown to the visitor instead); utf8 when the page is UTF-8, else
    // only values that stay ASCII may change.
    // Only tags with a ":" or "&" in a value, and "base", are shown to the
    // visitor, no other link can be absolute, unless relativeLinksChange
    // (as they do when a base goes). None when the page cannot be read with
    // certainty that way, or declares a character set whose markup is not
    // ASCII.
    std::optional<std::string> SpliceOwnMarkup(std::string_view page, bool utf8,
                                               const ElementVisitor& visit,
                                               const LinkRewrite& rewriteLink,
                                               bool relativeLinksChange = false);

private:
    // Shows the tag to the visitor as an element and notes the values it
    // changed; false when a changed value cannot be written in the page.
    bool EditOwnTag(const ScannedTag& tag, bool utf8, const ElementVisitor& visit,
                    const LinkRewrite& rewriteLink, CPageEdits& edits);

    // The scratch document that the elements are built in, so that they are
    // edited with the rules of an HTML document.
    struct DocumentDeleter {
        void operator()(_xmlDoc* document) const;
    };

    std::unique_ptr<_xmlDoc, DocumentDeleter> m_document;
};

// Rewrites the links of a style attribute, or of a srcset, in the text of
// its value, which must read as written: only the links change, each
// escaped for the value (asciiOnly as EscapeAttributeText takes it).
void RewriteValueLinks(const ScannedAttribute& attribute, bool srcset,
                       const CLinkSplicer::LinkRewrite& rewrite, bool asciiOnly, CPageEdits& edits);

// Whether a page written in the encoding has its markup in ASCII bytes that
// read the same byte by byte as character by character: UTF-8, ASCII, the
// single-byte character sets, and the multi-byte ones whose characters never
// hide a byte of markup (Shift_JIS, EUC, GBK, Big5 and the like).
bool IsAsciiMarkupEncoding(std::string_view encoding);
