#include "html/html_node.h"

#include <libxml/tree.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "html/html_library.h"

namespace {

const xmlChar* ToXml(const std::string& text) {
    return BAD_CAST text.c_str();
}

struct XmlStringDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// Takes over a string that the library allocated for the caller.
std::string TakeXmlString(xmlChar* text) {
    const std::unique_ptr<xmlChar, XmlStringDeleter> owned(text);
    return owned ? std::string(reinterpret_cast<const char*>(owned.get())) : std::string();
}

}  // namespace

std::string TrimHtmlWhiteSpace(std::string_view text) {
    return std::string(TrimAscii(text, " \t\n\f\r"));
}

CHtmlNode::CHtmlNode(CHtmlNode&& other) noexcept
    : m_node(std::exchange(other.m_node, nullptr)), m_owned(std::exchange(other.m_owned, false)) {}

CHtmlNode& CHtmlNode::operator=(const CHtmlNode& other) {
    if (this != &other) {
        Reset(other.m_node, false);
    }
    return *this;
}

CHtmlNode& CHtmlNode::operator=(CHtmlNode&& other) noexcept {
    if (this != &other) {
        Reset(other.m_node, other.m_owned);
        other.m_node = nullptr;
        other.m_owned = false;
    }
    return *this;
}

CHtmlNode::~CHtmlNode() {
    Reset(nullptr, false);
}

void CHtmlNode::Reset(xmlNode* node, bool owned) {
    if (node != nullptr && node == m_node) {
        m_owned = m_owned || owned;
        return;
    }
    // A node that was linked into a tree since this handle took it belongs
    // to the tree now.
    if (m_owned && m_node != nullptr && m_node->parent == nullptr) {
        xmlFreeNode(m_node);
    }
    m_node = node;
    m_owned = owned;
}

bool CHtmlNode::IsElement() const {
    return m_node != nullptr && m_node->type == XML_ELEMENT_NODE;
}

bool CHtmlNode::CreateElement(const std::string& name) {
    CHtmlLibrary::Initialize();
    xmlNode* element = xmlNewNode(nullptr, ToXml(name));
    if (element == nullptr) {
        return false;
    }
    Reset(element, true);
    return true;
}

bool CHtmlNode::IsWithin(const xmlNode* node) const {
    for (const xmlNode* ancestor = m_node; ancestor != nullptr; ancestor = ancestor->parent) {
        if (ancestor == node) {
            return true;
        }
    }
    return false;
}

void CHtmlNode::CheckCanLink(const CHtmlNode& other) const {
    // A node of another document carries names from that document's
    // dictionary, which this tree would later free as its own.
    if (m_node == nullptr || other.m_node == nullptr || IsWithin(other.m_node) ||
        (other.m_node->doc != nullptr && other.m_node->doc != m_node->doc)) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
}

void CHtmlNode::AppendChild(CHtmlNode& child) {
    CheckCanLink(child);
    // Only elements have children; the library would hang them on text too.
    if (!IsElement()) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    // The library would link a node that still sits elsewhere twice.
    xmlUnlinkNode(child.m_node);
    xmlNode* linked = xmlAddChild(m_node, child.m_node);
    if (linked == nullptr) {
        // Nothing was linked, so child holds a detached node: it keeps it.
        child.m_owned = true;
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    child.m_node = linked;
    child.m_owned = false;
}

void CHtmlNode::InsertBefore(CHtmlNode& sibling) {
    CheckCanLink(sibling);
    // Without a parent the inserted node would belong to nobody.
    if (m_node->parent == nullptr) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    xmlNode* linked = xmlAddPrevSibling(m_node, sibling.m_node);
    if (linked == nullptr) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    sibling.m_node = linked;
    sibling.m_owned = false;
}

bool CHtmlNode::AppendComment(const std::string& text) {
    CHtmlNode comment(xmlNewComment(ToXml(text)));
    if (!comment.IsValid()) {
        return false;
    }
    comment.m_owned = true;
    AppendChild(comment);
    return true;
}

void CHtmlNode::AddAttribute(const std::string& name, const std::string& value) {
    // Without an element the library would make an attribute that nobody frees.
    if (!IsElement() || xmlNewProp(m_node, ToXml(name), ToXml(value)) == nullptr) {
        ThrowHtmlException(ERR_HTML_ADD_ATTRIBUTE);
    }
}

void CHtmlNode::SetAttribute(const std::string& name, const std::string& value) {
    if (!IsElement() || xmlSetProp(m_node, ToXml(name), ToXml(value)) == nullptr) {
        ThrowHtmlException(ERR_HTML_SET_ATTRIBUTE);
    }
}

std::string CHtmlNode::GetAttribute(const std::string& name) const {
    if (m_node == nullptr) {
        return {};
    }
    std::string value = TakeXmlString(xmlGetProp(m_node, ToXml(name)));
    value.erase(std::remove(value.begin(), value.end(), '\n'), value.end());
    std::replace(value.begin(), value.end(), '\r', ' ');
    std::replace(value.begin(), value.end(), '\t', ' ');
    return TrimHtmlWhiteSpace(value);
}

bool CHtmlNode::RemoveAttribute(const std::string& name) {
    return m_node != nullptr && xmlUnsetProp(m_node, ToXml(name)) == 0;
}

void CHtmlNode::Unlink() {
    // A detached node that this handle does not own has an owner already.
    if (m_node != nullptr && m_node->parent != nullptr) {
        xmlUnlinkNode(m_node);
        m_owned = true;
    }
}

void CHtmlNode::SetContent(const std::string& text) {
    if (m_node == nullptr) {
        return;
    }
    if (m_node->type == XML_ELEMENT_NODE) {
        // Setting an element's content would read entity references in the
        // text; adding it to the emptied element keeps it literal.
        xmlNodeSetContent(m_node, nullptr);
        xmlNodeAddContentLen(m_node, ToXml(text), static_cast<int>(text.size()));
    } else {
        xmlNodeSetContent(m_node, ToXml(text));
    }
}

std::string CHtmlNode::GetContent() const {
    return m_node != nullptr ? TakeXmlString(xmlNodeGetContent(m_node)) : std::string();
}

std::string CHtmlNode::GetNodeName() const {
    return m_node != nullptr && m_node->name != nullptr
               ? std::string(reinterpret_cast<const char*>(m_node->name))
               : std::string();
}

CHtmlNode CHtmlNode::GetFirstChild() const {
    return CHtmlNode(m_node != nullptr ? m_node->children : nullptr);
}

CHtmlNode CHtmlNode::FindChild(const std::string& name) const {
    for (xmlNode* child = m_node != nullptr ? m_node->children : nullptr; child != nullptr;
         child = child->next) {
        if (child->type == XML_ELEMENT_NODE && xmlStrcasecmp(child->name, ToXml(name)) == 0) {
            return CHtmlNode(child);
        }
    }
    return CHtmlNode();
}
