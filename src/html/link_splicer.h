// Rewrites the links of a page without building the page's tree: a page
// that this program serialised itself reads back into the tree it was written
// from, and a page in its own markup is read tag by tag from its bytes, so
// only the start tags or values whose links change need writing anew, and
// every other byte stays as it is.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CHtmlNode;
class CPageEdits;
struct ScannedTag;
struct _xmlBuffer;
struct _xmlDoc;

class CLinkSplicer {
public:
    // Changes an element as the rewriting pass would; the element has its
    // attributes but no children.
    using ElementVisitor = std::function<void(CHtmlNode& element)>;
    // Whether the pass would change the text of a style element.
    using StyleTextCheck = std::function<bool(const std::string& text)>;

    CLinkSplicer();
    ~CLinkSplicer();
    CLinkSplicer(const CLinkSplicer&) = delete;
    CLinkSplicer& operator=(const CLinkSplicer&) = delete;

    // The page with each start tag that the visitor changes written again,
    // byte for byte as the library would write it; utf8 when the page was
    // written in UTF-8, else its markup is ASCII. None when the page holds
    // anything that cannot be read with certainty here: a tag not in the
    // library's own form, a tag shown to the visitor with controls,
    // references or (unless utf8) bytes beyond ASCII, a style element whose
    // links change, a carriage return or a NUL byte anywhere. Only tags with
    // a ":" in a value, and "base", are shown to the visitor: no other link
    // can be absolute.
    std::optional<std::string> Splice(std::string_view page, bool utf8, const ElementVisitor& visit,
                                      const StyleTextCheck& styleTextChanges);

    // The same for a page in its own markup, as the crawl leaves a page that
    // it could read without a tree (or a page of an earlier run): each
    // changed attribute value is written anew, quoted, and every other byte
    // stays. None when the page cannot be read with certainty that way, when
    // it declares a character set whose markup is not ASCII, when a tag whose
    // attributes may hold a link has a value with bytes beyond ASCII in a
    // page that is not UTF-8, or when a style element's links change.
    std::optional<std::string> SpliceOwnMarkup(std::string_view page, bool utf8,
                                               const ElementVisitor& visit,
                                               const StyleTextCheck& styleTextChanges);

private:
    // Shows the tag to the visitor as an element and notes the values it
    // changed; false when the tag cannot be read with certainty.
    bool EditOwnTag(const ScannedTag& tag, bool utf8, const ElementVisitor& visit,
                    CPageEdits& edits);

    // The start tag as written after the visitor saw its element; none when
    // the tag does not read back into the bytes it was read from.
    std::optional<std::string> RewriteTag(std::string_view written, bool utf8,
                                          const ElementVisitor& visit);

    struct DocumentDeleter {
        void operator()(_xmlDoc* document) const;
    };

    // The scratch document that the elements are built in, so that they are
    // written with the rules of an HTML document.
    struct BufferDeleter {
        void operator()(_xmlBuffer* buffer) const;
    };

    std::unique_ptr<_xmlDoc, DocumentDeleter> m_document;
    // Holds each tag while it is written.
    std::unique_ptr<_xmlBuffer, BufferDeleter> m_buffer;
};

// Whether a page written in the encoding has its markup in ASCII bytes: UTF-8,
// ASCII, the ISO-8859 family and the Windows code pages 1250 to 1258.
bool IsAsciiMarkupEncoding(std::string_view encoding);
