#include "html/link_splicer.h"

#include <libxml/HTMLtree.h>
#include <libxml/tree.h>

#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/ascii.h"
#include "html/css_links.h"
#include "html/html_library.h"
#include "html/html_node.h"
#include "html/link_element_table.h"
#include "html/srcset.h"
#include "html/tag_scanner.h"

namespace {

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
                        const std::string& value) {
    xmlAttr* const first = element->properties;
    element->properties = last;
    xmlAttr* const added = xmlNewProp(element, ToXml(name), ToXml(value));
    element->properties = first != nullptr ? first : added;
    if (added == nullptr) {
        throw std::bad_alloc();
    }
    return added;
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

// Whether the attribute holds links among other text, which are rewritten
// where they stand: a srcset (true) or a style (false); none for another.
std::optional<bool> HoldsLinksInText(const ScannedTag& tag, const std::string& elementName,
                                     std::string_view name) {
    if (name == "style") {
        return false;
    }
    const char* deciding = DecidingAttribute(elementName);
    const ScannedAttribute* decider = deciding != nullptr ? tag.Find(deciding) : nullptr;
    for (const RequisiteAttribute& attribute : FindRequisiteAttributes(
             elementName, decider != nullptr ? decider->value : std::string_view())) {
        if (attribute.srcset && name == attribute.name) {
            return true;
        }
    }
    return std::nullopt;
}

bool HoldsNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

// Whether the meta tag leaves the page's markup in ASCII bytes.
bool HasAsciiMarkup(const ScannedTag& meta) {
    const std::string charset = ReadDeclaredCharset(meta);
    return charset.empty() || IsAsciiMarkupEncoding(charset);
}

}  // namespace

void CLinkSplicer::DocumentDeleter::operator()(xmlDoc* document) const {
    xmlFreeDoc(document);
}

CLinkSplicer::CLinkSplicer() {
    CHtmlLibrary::Initialize();
    m_document.reset(htmlNewDocNoDtD(nullptr, nullptr));
    if (!m_document) {
        throw std::bad_alloc();
    }
}

CLinkSplicer::~CLinkSplicer() = default;

std::optional<std::string> CLinkSplicer::SpliceOwnMarkup(std::string_view page, bool utf8,
                                                         const ElementVisitor& visit,
                                                         const LinkRewrite& rewriteLink,
                                                         bool relativeLinksChange) {
    CTagScanner scanner(page);
    ScannedTag tag;
    CPageEdits edits;
    while (scanner.Next(tag)) {
        if (tag.Is("meta") && !HasAsciiMarkup(tag)) {
            return std::nullopt;
        }
        // The links written back into style text are escaped for it, so
        // that they cannot end the element.
        if (tag.text == TextKind::RawText && tag.Is("style")) {
            const std::string text(tag.rawText);
            const std::string rewritten = RewriteCssLinks(text, rewriteLink);
            if (rewritten != text) {
                edits.Replace(tag.rawTextBegin, tag.rawTextBegin + tag.rawText.size(), rewritten);
            }
        }
        if ((relativeLinksChange || MayChangeOwnTag(tag)) &&
            !EditOwnTag(tag, utf8, visit, rewriteLink, edits)) {
            return std::nullopt;
        }
    }
    if (!scanner.IsCertain()) {
        return std::nullopt;
    }
    return edits.ApplyTo(page);
}

bool CLinkSplicer::EditOwnTag(const ScannedTag& tag, bool utf8, const ElementVisitor& visit,
                              const LinkRewrite& rewriteLink, CPageEdits& edits) {
    // The library's names end at a NUL byte, where a browser's go on: such
    // a tag names no element of the tables, such an attribute no link.
    if (HoldsNul(tag.name)) {
        return true;
    }
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
    const std::string elementName = ToLowerAscii(tag.name);
    for (const ScannedAttribute& attribute : tag.attributes) {
        std::string name = ToLowerAscii(attribute.name);
        if (HoldsNul(name) || names.contains(name)) {
            continue;
        }
        if (const std::optional<bool> srcset = HoldsLinksInText(tag, elementName, name);
            srcset && attribute.ReadsAsWritten()) {
            RewriteValueLinks(attribute, *srcset, rewriteLink, !utf8, edits);
            names.insert(name);
            continue;
        }
        std::optional<std::string> value = DecodeAttributeValue(attribute.value);
        if (!value) {
            return false;
        }
        last = AppendProperty(element.get(), last, name, *value);
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
        // The value's other characters were decoded to UTF-8.
        if (!utf8 && !IsAscii(value)) {
            return false;
        }
        edits.ReplaceValue(*old.attribute, value);
    }
    return true;
}

void RewriteValueLinks(const ScannedAttribute& attribute, bool srcset,
                       const CLinkSplicer::LinkRewrite& rewrite, bool asciiOnly,
                       CPageEdits& edits) {
    const bool unquoted = attribute.form != ValueForm::Quoted;
    const auto escaped = [&](const std::string& link) {
        const std::string text = rewrite(link);
        return text.empty() ? text : EscapeAttributeText(text, unquoted, asciiOnly);
    };
    const std::string rewritten = srcset ? RewriteSrcset(attribute.value, escaped)
                                         : RewriteCssLinks(attribute.value, escaped);
    if (rewritten != attribute.value) {
        edits.ReplaceValueText(attribute, rewritten);
    }
}

// The labels of the character sets whose bytes below 0x80 are ASCII
// characters and never the second byte of another character: any byte of
// markup is the character it looks like. (A "]" may be such a second byte in
// some; the scanner reads no CDATA section with other bytes.)
bool IsAsciiMarkupEncoding(std::string_view encoding) {
    static constexpr std::string_view kPrefixes[] = {"iso-8859-",  "iso8859-", "iso_8859-",
                                                     "windows-12", "cp12",     "x-cp12"};
    static constexpr std::string_view kNames[] = {"utf-8",
                                                  "utf8",
                                                  "unicode-1-1-utf-8",
                                                  "us-ascii",
                                                  "ascii",
                                                  "latin1",
                                                  "l1",
                                                  "windows-874",
                                                  "tis-620",
                                                  "koi8-r",
                                                  "koi8-u",
                                                  "koi8",
                                                  "ibm866",
                                                  "cp866",
                                                  "macintosh",
                                                  "x-mac-roman",
                                                  "x-mac-cyrillic",
                                                  "shift_jis",
                                                  "shift-jis",
                                                  "sjis",
                                                  "ms_kanji",
                                                  "windows-31j",
                                                  "x-sjis",
                                                  "ms932",
                                                  "euc-jp",
                                                  "x-euc-jp",
                                                  "euc-kr",
                                                  "ks_c_5601-1987",
                                                  "windows-949",
                                                  "gbk",
                                                  "gb2312",
                                                  "gb18030",
                                                  "x-gbk",
                                                  "cp936",
                                                  "windows-936",
                                                  "big5",
                                                  "big5-hkscs",
                                                  "cn-big5",
                                                  "x-x-big5"};
    const std::string name = ToLowerAscii(TrimAscii(encoding));
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                       [&](std::string_view prefix) {
                           return name.size() > prefix.size() && name.starts_with(prefix);
                       }) ||
           std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}
