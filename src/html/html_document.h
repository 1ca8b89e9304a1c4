// One parsed HTML page: loaded from a stream, walked node by node, edited
// and saved to a stream.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "html/html_node.h"

class CStream;
struct _xmlDoc;

class CHtmlDocument {
public:
    // Pages are read in pieces of this size, so a page is never held whole.
    static constexpr std::size_t kLoadChunkSize = 32768;
    // The encoding of a page whose bytes told none: the parser's own guess,
    // which keeps every byte as it was.
    static constexpr const char* kFallbackEncoding = "ISO-8859-1";
    // The parser's work on a tag grows with the square of its attributes, so
    // a page with a tag of more is not parsed. No page written for people
    // comes near it.
    static constexpr int kMaxTagAttributes = 1000;

    CHtmlDocument();
    virtual ~CHtmlDocument();
    CHtmlDocument(const CHtmlDocument&) = delete;
    CHtmlDocument& operator=(const CHtmlDocument&) = delete;

    // Replaces the tree by the page read from the stream's current position,
    // one chunk at a time. The parser recovers from any error in the page;
    // false, leaving no tree, when the stream holds no bytes, the parser
    // stopped before the page's end, or the page has a tag of more than
    // kMaxTagAttributes attributes (a tag of less than half as many never
    // stops it). A CStreamException from the stream propagates and leaves no
    // tree; so does std::bad_alloc when the parser ran out of memory.
    // A page without a document type gets none. A page without a byte-order
    // mark is read in encoding (an iconv name) when it is given, whatever
    // its markup declares; false when it holds bytes that are no text of it.
    bool Load(CStream& stream, const char* encoding = nullptr);
    // Replaces the tree by an empty page in the fallback encoding: the
    // library's HTML 4.0 Transitional document type and html holding head
    // and body.
    bool CreateNew();
    // Writes the tree into the stream in the encoding the page was read in,
    // so that scripts and styles, which a browser does not decode character
    // references in, keep their text: the encoding its markup declared, else
    // UTF-8 for a page that was UTF-8 or began with a byte-order mark (which
    // is written again), else the fallback encoding. A character the
    // encoding cannot hold becomes a character reference. A meta element
    // that declares another character set is made to name the saved one; a
    // page that declares none gets none. Bytes that the parser let into the
    // tree although they are no UTF-8 are read as ISO-8859-1 characters.
    // False when there is no tree or the stream took less than it was given;
    // a CStreamException from the stream propagates, and std::bad_alloc when
    // the serialiser ran out of memory.
    bool Save(CStream& stream);
    // The encoding Save writes.
    const std::string& GetEncoding() const { return m_encoding; }

    // Frees the tree.
    void Unload();

    CHtmlNode GetRoot() const;
    CHtmlNode GetHead() const;
    CHtmlNode GetBody() const;
    // The trimmed text of the head's title; empty when there is none.
    std::string GetTitle() const;
    // The href of the first base element that has one, in document order:
    // the base of the whole page. None when no base element has an href.
    std::optional<std::string> GetBaseHref() const;

    // Hands every node from the root element on to OnNode, depth first, each
    // before its children: text and comments too, and nodes that follow the
    // root element, but not the document type before it. OnNode may change
    // the node and add children to it (they are visited next). A node that
    // OnNode unlinks through the handle it was given is freed once OnNode
    // returns, and the walk goes on after it.
    void Walk();

protected:
    virtual void OnNode(CHtmlNode& node);

private:
    struct DocumentDeleter {
        void operator()(_xmlDoc* document) const;
    };

    // Makes the tree's text and declared character set fit the saved encoding.
    void PrepareForSaving();

    // A page at least this long gives its memory back when its tree goes.
    static constexpr std::size_t kTrimAfterBytes = 512 * 1024;

    std::unique_ptr<_xmlDoc, DocumentDeleter> m_document;
    std::string m_encoding = kFallbackEncoding;
    bool m_byteOrderMark = false;
    // Pages built here are written with line breaks between their blocks.
    bool m_formatted = false;
    // The bytes of the page that the tree was parsed from.
    std::size_t m_loadedBytes = 0;
};
