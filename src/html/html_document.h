// One parsed HTML page: loaded from a stream, walked node by node, edited
// and saved to a stream.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "html/html_node.h"

class CStream;
struct _xmlDoc;

class CHtmlDocument {
public:
    // Pages are read in pieces of this size, so a page is never held whole.
    static constexpr std::size_t kLoadChunkSize = 32768;
    // The encoding of every saved page.
    static constexpr const char* kSavedEncoding = "ISO-8859-1";

    CHtmlDocument();
    virtual ~CHtmlDocument();
    CHtmlDocument(const CHtmlDocument&) = delete;
    CHtmlDocument& operator=(const CHtmlDocument&) = delete;

    // Replaces the tree by the page read from the stream's current position,
    // one chunk at a time. The parser recovers from any error in the page;
    // false when the stream holds no bytes or the parser stopped before the
    // page's end (then there is no tree). A CStreamException from the
    // stream propagates and leaves no tree; so does std::bad_alloc when the
    // parser ran out of memory.
    bool Load(CStream& stream);
    // Replaces the tree by an empty page: the library's HTML 4.0 Transitional
    // document type and html holding head and body.
    bool CreateNew();
    // Writes the tree into the stream as ISO-8859-1; characters beyond it
    // become character references. Every character set that the page
    // declares in a meta element is first made to name ISO-8859-1, so that a
    // browser reads the bytes as they were meant; a page that declares none
    // gets none. Bytes that the parser let into the tree although they are
    // no UTF-8 are read as ISO-8859-1 characters. False when there is no
    // tree or the stream took less than it was given; a CStreamException
    // from the stream propagates, and std::bad_alloc when the serialiser ran
    // out of memory.
    bool Save(CStream& stream);

    // Frees the tree.
    void Unload();

    CHtmlNode GetRoot() const;
    CHtmlNode GetHead() const;
    CHtmlNode GetBody() const;
    // The trimmed text of the head's title; empty when there is none.
    std::string GetTitle() const;

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
    // The bytes of the page that the tree was parsed from.
    std::size_t m_loadedBytes = 0;
};
