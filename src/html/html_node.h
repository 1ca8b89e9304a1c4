// A handle on one node of an HTML tree, for building and editing documents.
#pragma once

#include <string>
#include <string_view>

struct _xmlNode;

// A wrapper owns its node only while the node has no parent: a node that it
// created and never linked, or one that it unlinked, is freed with all its
// children when the wrapper goes; a node that is part of a tree belongs to
// the tree. Copies own nothing, so any number of them may look at a node.
//
// A handle does not keep its document alive: handles on a document's nodes,
// owning ones included, must be gone before the document frees its tree.
class CHtmlNode {
public:
    CHtmlNode() = default;
    CHtmlNode(const CHtmlNode& other) : m_node(other.m_node) {}
    CHtmlNode(CHtmlNode&& other) noexcept;
    CHtmlNode& operator=(const CHtmlNode& other);
    CHtmlNode& operator=(CHtmlNode&& other) noexcept;
    ~CHtmlNode();

    bool IsValid() const { return m_node != nullptr; }
    bool IsElement() const;

    // Makes a new element outside any tree and holds it (owned).
    bool CreateElement(const std::string& name);

    // Links child as this element's last child; a child that sits in a tree
    // is moved. Afterwards child is a plain handle on the linked node (text
    // that the library merges into a neighbouring text node leaves child on
    // that neighbour). Throws ERR_HTML_ADD_NODE when either handle is empty,
    // when this is no element, when child would become its own descendant,
    // or when it belongs to another document.
    void AppendChild(CHtmlNode& child);
    // Links sibling in front of this node, under the same parent; the same
    // rules as AppendChild, and this node must have a parent.
    void InsertBefore(CHtmlNode& sibling);
    // False if the comment cannot be made; throws ERR_HTML_ADD_NODE if it
    // cannot be linked.
    bool AppendComment(const std::string& text);

    // Adds an attribute even when one of that name exists.
    void AddAttribute(const std::string& name, const std::string& value);
    // Replaces the value of the attribute, or adds it.
    void SetAttribute(const std::string& name, const std::string& value);
    // The value with line feeds removed, carriage returns and tabs turned
    // into blanks and white space trimmed at both ends; empty when absent.
    std::string GetAttribute(const std::string& name) const;
    bool RemoveAttribute(const std::string& name);

    // Takes the node out of its tree; this handle then owns it.
    void Unlink();
    // Replaces the node's children (or its text) by the given text, taken
    // literally: "&" and "<" stay characters, they are not markup.
    void SetContent(const std::string& text);
    // The text of the node and all its descendants.
    std::string GetContent() const;
    std::string GetNodeName() const;

    CHtmlNode GetFirstChild() const;
    // The first child element whose name equals name without regard to case.
    CHtmlNode FindChild(const std::string& name) const;

private:
    friend class CHtmlDocument;
    friend class CLinkSplicer;
    explicit CHtmlNode(_xmlNode* node) : m_node(node) {}

    void Reset(_xmlNode* node, bool owned);
    // Whether this node is node itself or lies below it.
    bool IsWithin(const _xmlNode* node) const;
    void CheckCanLink(const CHtmlNode& other) const;

    _xmlNode* m_node = nullptr;
    bool m_owned = false;
};

// Removes HTML white space (blank, tab, line feed, form feed, carriage
// return) from both ends of text.
std::string TrimHtmlWhiteSpace(std::string_view text);
