#include "html/link_splicer.h"

#include <libxml/HTMLtree.h>
#include <libxml/tree.h>

#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/ascii.h"
#include "html/html_library.h"
#include "html/html_node.h"
#include "html/tag_scanner.h"

namespace {

struct RawAttribute {
    std::string_view name;
    // As written, escapes and all; none for an attribute written bare.
    std::optional<std::string_view> value;
};

struct RawTag {
    std::string_view name;
    std::vector<RawAttribute> attributes;
    // Just past the ">".
    std::size_t end = 0;
};

struct NodeDeleter {
    void operator()(xmlNode* node) const { xmlFreeNode(node); }
};

const xmlChar* ToXml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// Adds the attribute after last, the element's last one (null while it has
// none). The library appends by walking the element's whole list, which a
// tag of many attributes would make quadratic; started at the last one, the
// walk takes one step.
xmlAttr* AppendProperty(xmlNode* element, xmlAttr* last, const std::string& name,
                        const std::optional<std::string>& value) {
    xmlAttr* const first = element->properties;
    element->properties = last;
    xmlAttr* const added = xmlNewProp(element, ToXml(name), value ? ToXml(*value) : nullptr);
    element->properties = first != nullptr ? first : added;
    if (added == nullptr) {
        throw std::bad_alloc();
    }
    return added;
}

// No controls, and no bytes beyond ASCII unless they are UTF-8, which the
// library keeps as they are. Line feeds and tabs only where allowed.
bool IsPlainText(std::string_view text, bool utf8, bool lineBreaks) {
    return std::all_of(text.begin(), text.end(), [=](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x20 && byte != 0x7F && (utf8 || byte < 0x80)) ||
               (lineBreaks && (c == '\n' || c == '\t'));
    });
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The run of characters from start up to the first of stops; empty when it
// holds a character that the library never writes into a name.
std::string_view ReadName(std::string_view page, std::size_t start, std::string_view stops) {
    const std::size_t end = std::min(FindFirstOf(page, stops, start), page.size());
    const std::string_view name = page.substr(start, end - start);
    if (FindFirstOf(name, "\"'<>/=") != std::string_view::npos) {
        return {};
    }
    return name;
}

// The start tag at start, in the form the library writes one: the name, each
// attribute after one blank as a bare name or name="value" or name='value',
// then ">". None for anything else.
std::optional<RawTag> ReadStartTag(std::string_view page, std::size_t start) {
    RawTag tag;
    tag.name = ReadName(page, start + 1, " >");
    std::size_t at = start + 1 + tag.name.size();
    if (tag.name.empty() || !IsAsciiLetter(tag.name.front())) {
        return std::nullopt;
    }
    while (at < page.size() && page[at] == ' ') {
        RawAttribute& attribute = tag.attributes.emplace_back();
        attribute.name = ReadName(page, at + 1, " =>");
        at += 1 + attribute.name.size();
        if (attribute.name.empty()) {
            return std::nullopt;
        }
        if (at + 1 < page.size() && page[at] == '=') {
            const char quote = page[at + 1];
            const std::size_t close =
                quote == '"' || quote == '\'' ? page.find(quote, at + 2) : std::string_view::npos;
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            attribute.value = page.substr(at + 2, close - at - 2);
            at = close + 1;
        }
    }
    if (at >= page.size() || page[at] != '>') {
        return std::nullopt;
    }
    tag.end = at + 1;
    return tag;
}

// Only an attribute with a scheme can hold a link to a downloaded file, and a
// base element loses its address whatever it is.
bool MayChange(const RawTag& tag) {
    return EqualsIgnoreCase(tag.name, "base") ||
           std::any_of(tag.attributes.begin(), tag.attributes.end(), [](const RawAttribute& a) {
               return a.value && a.value->find(':') != std::string_view::npos;
           });
}

// The value that the parser reads from the written one, for the escapes that
// the library writes into an attribute; none for any other reference.
std::optional<std::string> DecodeValue(std::string_view written) {
    static constexpr std::pair<std::string_view, char> kEscapes[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string value;
    value.reserve(written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] != '&') {
            value += written[i];
            continue;
        }
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes), [&](auto& e) {
            return written.substr(i).starts_with(e.first);
        });
        if (escape == std::end(kEscapes)) {
            return std::nullopt;
        }
        value += escape->second;
        i += escape->first.size() - 1;
    }
    return value;
}

// The element's start tag as the library writes it. The element has no
// neighbours, so the dump adds no line breaks to it.
std::string WriteStartTag(xmlBuffer* buffer, xmlDoc* document, xmlNode* element) {
    xmlBufferEmpty(buffer);
    if (htmlNodeDump(buffer, document, element) < 0) {
        throw std::bad_alloc();
    }
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     static_cast<std::size_t>(xmlBufferLength(buffer)));
    const std::string endTag =
        "</" + std::string(reinterpret_cast<const char*>(element->name)) + ">";
    if (text.ends_with(endTag)) {
        text.resize(text.size() - endTag.size());
    }
    return text;
}

// The crawl leaves only links to the web absolute, and a base element loses
// its address whatever it is; a reference may hide a link's ":".
bool MayChangeOwnTag(const ScannedTag& tag) {
    return tag.Is("base") ||
           std::any_of(tag.attributes.begin(), tag.attributes.end(), [](const ScannedAttribute& a) {
               return FindFirstOf(a.value, ":&") != std::string_view::npos;
           });
}

// The attribute's value as it is held, without the blanks that reading one
// as a link drops.
std::string ReadProperty(xmlAttr* attribute) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute));
    if (value == nullptr) {
        throw std::bad_alloc();  // the attribute is there, so only memory can fail
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// The element's attributes by name, looked up once each rather than by a
// walk of the list per name.
std::unordered_map<std::string_view, xmlAttr*> IndexProperties(xmlNode* element) {
    std::unordered_map<std::string_view, xmlAttr*> index;
    for (xmlAttr* attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        index.emplace(reinterpret_cast<const char*>(attribute->name), attribute);
    }
    return index;
}

// Whether the meta tag leaves the page's markup in ASCII bytes.
bool HasAsciiMarkup(const ScannedTag& meta) {
    const std::string charset = ReadDeclaredCharset(meta);
    return charset.empty() || IsAsciiMarkupEncoding(charset);
}

bool IsRawTextElement(std::string_view name) {
    return EqualsIgnoreCase(name, "script") || EqualsIgnoreCase(name, "style");
}

}  // namespace

void CLinkSplicer::DocumentDeleter::operator()(xmlDoc* document) const {
    xmlFreeDoc(document);
}

void CLinkSplicer::BufferDeleter::operator()(xmlBuffer* buffer) const {
    xmlBufferFree(buffer);
}

CLinkSplicer::CLinkSplicer() {
    CHtmlLibrary::Initialize();
    m_document.reset(htmlNewDocNoDtD(nullptr, nullptr));
    m_buffer.reset(xmlBufferCreate());
    if (!m_document || !m_buffer) {
        throw std::bad_alloc();
    }
}

CLinkSplicer::~CLinkSplicer() = default;

std::optional<std::string> CLinkSplicer::Splice(std::string_view page, bool utf8,
                                                const ElementVisitor& visit,
                                                const StyleTextCheck& styleTextChanges) {
    // The parser reads a carriage return as a line feed, so such a page
    // would not read back as it was written.
    if (page.find('\0') != std::string_view::npos || page.find('\r') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string spliced;
    std::size_t copied = 0;
    std::size_t at = 0;
    while ((at = page.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = page.substr(at);
        if (rest.starts_with("<!--")) {
            at = page.find("-->", at + 4);
            if (at == std::string_view::npos) {
                return std::nullopt;
            }
            at += 3;
            continue;
        }
        if (rest.starts_with("<!") || rest.starts_with("<?") || rest.starts_with("</")) {
            at = page.find('>', at);
            if (at == std::string_view::npos) {
                return std::nullopt;
            }
            ++at;
            continue;
        }
        const std::optional<RawTag> tag = ReadStartTag(page, at);
        if (!tag) {
            return std::nullopt;
        }
        if (MayChange(*tag)) {
            const std::string_view written = page.substr(at, tag->end - at);
            const std::optional<std::string> rewritten = RewriteTag(written, utf8, visit);
            if (!rewritten) {
                return std::nullopt;
            }
            if (*rewritten != written) {
                spliced.append(page.substr(copied, at - copied));
                spliced += *rewritten;
                copied = tag->end;
            }
        }
        at = tag->end;
        if (IsRawTextElement(tag->name)) {
            // Script and style text is written as it is, "<" and all, up to
            // the end tag, which it cannot hold.
            const std::size_t close = page.find("</" + std::string(tag->name), at);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            const std::string text(page.substr(at, close - at));
            if (EqualsIgnoreCase(tag->name, "style") &&
                (!IsPlainText(text, utf8, true) || styleTextChanges(text))) {
                return std::nullopt;
            }
            at = close;
        }
    }
    spliced.append(page.substr(copied));
    return spliced;
}

std::optional<std::string> CLinkSplicer::RewriteTag(std::string_view written, bool utf8,
                                                    const ElementVisitor& visit) {
    const std::optional<RawTag> tag = ReadStartTag(written, 0);
    if (!tag || !IsPlainText(written, utf8, false)) {
        return std::nullopt;
    }
    const std::unique_ptr<xmlNode, NodeDeleter> element(
        xmlNewDocNode(m_document.get(), nullptr, ToXml(std::string(tag->name)), nullptr));
    if (!element) {
        throw std::bad_alloc();
    }
    xmlAttr* last = nullptr;
    for (const RawAttribute& attribute : tag->attributes) {
        std::optional<std::string> value;
        if (attribute.value) {
            value = DecodeValue(*attribute.value);
            if (!value) {
                return std::nullopt;
            }
        }
        last = AppendProperty(element.get(), last, std::string(attribute.name), value);
    }
    // The element must write back to the very bytes it was read from, or
    // the page is not in the form that this reading knows.
    if (WriteStartTag(m_buffer.get(), m_document.get(), element.get()) != written) {
        return std::nullopt;
    }
    CHtmlNode node(element.get());
    visit(node);
    return WriteStartTag(m_buffer.get(), m_document.get(), element.get());
}

std::optional<std::string> CLinkSplicer::SpliceOwnMarkup(std::string_view page, bool utf8,
                                                         const ElementVisitor& visit,
                                                         const StyleTextCheck& styleTextChanges) {
    CTagScanner scanner(page);
    ScannedTag tag;
    CPageEdits edits;
    while (scanner.Next(tag)) {
        if ((tag.Is("style") && styleTextChanges(std::string(tag.rawText))) ||
            (tag.Is("meta") && !HasAsciiMarkup(tag))) {
            return std::nullopt;
        }
        if (MayChangeOwnTag(tag) && !EditOwnTag(tag, utf8, visit, edits)) {
            return std::nullopt;
        }
    }
    if (!scanner.IsCertain()) {
        return std::nullopt;
    }
    return edits.ApplyTo(page);
}

bool CLinkSplicer::EditOwnTag(const ScannedTag& tag, bool utf8, const ElementVisitor& visit,
                              CPageEdits& edits) {
    const std::unique_ptr<xmlNode, NodeDeleter> element(
        xmlNewDocNode(m_document.get(), nullptr, ToXml(ToLowerAscii(tag.name)), nullptr));
    if (!element) {
        throw std::bad_alloc();
    }
    // A browser takes the first of attributes with one name; the element
    // gets the same ones, named as the parser names them.
    struct ShownAttribute {
        const ScannedAttribute* attribute;
        std::string name;
        std::string value;
    };
    std::vector<ShownAttribute> shown;
    std::unordered_set<std::string> names;
    xmlAttr* last = nullptr;
    for (const ScannedAttribute& attribute : tag.attributes) {
        std::string name = ToLowerAscii(attribute.name);
        if (names.contains(name)) {
            continue;
        }
        std::optional<std::string> value = DecodeAttributeValue(attribute.value);
        if (!value || (!utf8 && !IsAscii(*value))) {
            return false;
        }
        last = AppendProperty(element.get(), last, name, value);
        names.insert(name);
        shown.push_back({&attribute, std::move(name), std::move(*value)});
    }
    CHtmlNode node(element.get());
    visit(node);
    const auto properties = IndexProperties(element.get());
    for (const ShownAttribute& old : shown) {
        const auto property = properties.find(old.name);
        if (property == properties.end()) {
            edits.RemoveAttribute(tag, old.name);
            continue;
        }
        const std::string value = ReadProperty(property->second);
        if (value == old.value) {
            continue;
        }
        if (!utf8 && !IsAscii(value)) {
            return false;
        }
        edits.ReplaceValue(*old.attribute, value);
    }
    return true;
}

bool IsAsciiMarkupEncoding(std::string_view encoding) {
    const auto startsWith = [encoding](std::string_view prefix) {
        return encoding.size() > prefix.size() &&
               EqualsIgnoreCase(encoding.substr(0, prefix.size()), prefix);
    };
    return EqualsIgnoreCase(encoding, "UTF-8") || EqualsIgnoreCase(encoding, "US-ASCII") ||
           EqualsIgnoreCase(encoding, "ASCII") || startsWith("ISO-8859-") ||
           (startsWith("windows-125") && encoding.size() == 12);
}
