#include "html/link_extractor.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/stream.h"
#include "base/url.h"
#include "engine/crawl_rules.h"
#include "html/css_links.h"
#include "html/html_charset.h"
#include "html/link_splicer.h"
#include "html/srcset.h"

namespace {

// A level read from a damaged project file must not overflow.
std::int32_t NextLevel(std::int32_t level) {
    return level < std::numeric_limits<std::int32_t>::max() ? level + 1 : level;
}

// The page's text reaches the extractor as UTF-8, but the URL it was fetched
// from may carry raw bytes of another character set (a redirect's Location,
// say). They are escaped the way a browser sends them, so that a link
// resolved against that URL is the same text in the written-back page as in
// the list of links handed to the crawl.
std::string EscapeNonUtf8(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t length = 0; !text.empty(); text.remove_prefix(length)) {
        length = html_charset::Utf8CharLength(text);
        if (length > 0) {
            escaped.append(text.substr(0, length));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(text.front()));
            escaped += hex;
            length = 1;
        }
    }
    return escaped;
}

// The value the element tables decide by, as a browser reads it.
std::string ReadDecidingValue(const ScannedTag& tag, const std::string& name) {
    const char* deciding = DecidingAttribute(name);
    const ScannedAttribute* decider = deciding ? tag.Find(deciding) : nullptr;
    if (decider == nullptr) {
        return {};
    }
    return DecodeAttributeValue(decider->value).value_or(std::string(decider->value));
}

}  // namespace

CLinkExtractor::CLinkExtractor(CCrawlRules& rules) : m_rules(rules) {}

void CLinkExtractor::StartDocument(std::string_view baseUrl, const CLinkItem& document) {
    m_baseUrl = EscapeNonUtf8(TrimHtmlWhiteSpace(baseUrl));
    m_pageItem = document;
    m_pageHost = document.GetUrl().GetHost();
    m_foundLinks.Clear();
    m_requisites.clear();
}

bool CLinkExtractor::ExtractLinks(CStream& stream, std::string_view baseUrl,
                                  const CLinkItem& page) {
    StartDocument(baseUrl, page);
    m_keptOwnMarkup = false;
    try {
        const std::int64_t start = stream.GetPosition();
        std::string text(
            static_cast<std::size_t>(std::max<std::int64_t>(stream.GetLength() - start, 0)), '\0');
        text.resize(stream.Read(text.data(), text.size()));
        if (text.empty()) {
            return false;  // no page at all, which the parser would not read either
        }
        if (const std::optional<CPageEdits> edits = ReadOwnMarkup(text)) {
            m_keptOwnMarkup = true;
            // A page read from its start that nothing changed is already written.
            return (edits->IsEmpty() && start == 0) || WriteText(stream, edits->ApplyTo(text));
        }
        // A page that cannot be read with certainty keeps the bytes it was
        // served with: the parser's tree written back would show a browser
        // markup of the parser's own. Its links are found in that tree.
        StartDocument(baseUrl, page);
        return stream.Seek(start, CStream::kBegin) && FindLinksInTree(stream);
    } catch (const CStreamException&) {
        return false;
    }
}

bool CLinkExtractor::FindLinksInTree(CStream& stream) {
    const bool loaded = Load(stream);
    if (loaded) {
        if (const std::optional<std::string> href = GetBaseHref()) {
            UseBase(*href);
        }
        Walk();
    }
    // An idle worker holds no page.
    Unload();
    return loaded;
}

bool CLinkExtractor::WriteText(CStream& stream, const std::string& text) {
    if (!stream.Seek(0, CStream::kBegin) || stream.Write(text.data(), text.size()) != text.size()) {
        return false;
    }
    stream.Flush();
    stream.SetLength(static_cast<std::int64_t>(text.size()));
    return true;
}

std::optional<CPageEdits> CLinkExtractor::ReadOwnMarkup(std::string_view page) {
    m_valueBeyondAscii = false;
    m_declaredCharset.clear();
    // A page in UTF-16 or UTF-32 has no markup in ASCII bytes.
    const html_charset::PageStart start = html_charset::InspectPageStart(page, false);
    if (start.markLength > 0 && start.encoding != XML_CHAR_ENCODING_UTF8) {
        return std::nullopt;
    }
    if (!TakeDocumentBase(page)) {
        return std::nullopt;
    }
    CTagScanner scanner(page);
    ScannedTag tag;
    CPageEdits edits;
    while (scanner.Next(tag)) {
        if (!VisitTag(tag, edits)) {
            return std::nullopt;
        }
    }
    if (!scanner.IsCertain()) {
        return std::nullopt;
    }
    // The whole page was inspected, so its start says whether all of it is UTF-8.
    m_ownMarkupUtf8 = m_declaredCharset.empty() ? start.encoding == XML_CHAR_ENCODING_UTF8
                                                : EqualsIgnoreCase(m_declaredCharset, "UTF-8");
    // Bytes beyond ASCII in a link read in another character set would be
    // other characters, and other bytes once the URL is escaped.
    if (m_valueBeyondAscii && !m_ownMarkupUtf8) {
        return std::nullopt;
    }
    return edits;
}

bool CLinkExtractor::TakeDocumentBase(std::string_view page) {
    const std::optional<ScannedAttribute> href = FindFirstBaseHref(page);
    if (!href) {
        // A page this reading cannot vouch for goes to the parser anyway.
        return true;
    }
    const std::optional<std::string> value = ReadValue(*href);
    if (value) {
        UseBase(*value);
    }
    return value.has_value();
}

bool CLinkExtractor::VisitTag(const ScannedTag& tag, CPageEdits& edits) {
    const std::string name = ToLowerAscii(tag.name);
    if (name == "meta" && !NoteDeclaredCharset(tag)) {
        return false;
    }
    if (name == "base") {
        // The links are absolute once the page is written back, and a base
        // left in place would send the relative links of other attributes
        // back to the web.
        const ScannedAttribute* href = tag.Find("href");
        const std::optional<std::string> value = href ? ReadValue(*href) : std::string();
        if (!value) {
            return false;
        }
        if (!value->empty()) {
            edits.RemoveAttribute(tag, "href");
        }
        return true;
    }
    return (!m_pageRequisites || VisitTagRequisites(tag, name, edits)) &&
           VisitTagLink(tag, name, edits);
}

// A page that declares a character set whose markup is not ASCII, or two
// different ones, is read by the parser, which knows what to make of it.
bool CLinkExtractor::NoteDeclaredCharset(const ScannedTag& tag) {
    const std::string charset = ReadDeclaredCharset(tag);
    if (charset.empty()) {
        return true;
    }
    if (!IsAsciiMarkupEncoding(charset) ||
        (!m_declaredCharset.empty() && !EqualsIgnoreCase(charset, m_declaredCharset))) {
        return false;
    }
    m_declaredCharset = charset;
    return true;
}

bool CLinkExtractor::VisitTagRequisites(const ScannedTag& tag, const std::string& name,
                                        CPageEdits& edits) {
    const auto add = [this](const std::string& reference) { return AddRequisite(reference); };
    for (const RequisiteAttribute& attribute :
         FindRequisiteAttributes(name, ReadDecidingValue(tag, name))) {
        const ScannedAttribute* found = tag.Find(attribute.name);
        const std::optional<std::string> value = found ? ReadValue(*found) : std::string();
        if (!value) {
            return false;
        }
        if (!value->empty()) {
            ChangeValue(*found, *value, attribute.srcset ? RewriteSrcset(*value, add) : add(*value),
                        edits);
        }
    }
    if (const ScannedAttribute* style = tag.Find("style")) {
        const std::optional<std::string> value = ReadValue(*style);
        if (!value) {
            return false;
        }
        ChangeValue(*style, *value, RewriteCssLinks(*value, add), edits);
    }
    // The links are escaped for the style text, which they cannot end.
    if (name == "style" && tag.text == TextKind::RawText) {
        const std::string text(tag.rawText);
        const std::string rewritten = RewriteCssLinks(text, add);
        if (rewritten != text) {
            edits.Replace(tag.rawTextBegin, tag.rawTextBegin + tag.rawText.size(), rewritten);
        }
    }
    return true;
}

bool CLinkExtractor::VisitTagLink(const ScannedTag& tag, const std::string& name,
                                  CPageEdits& edits) {
    const std::optional<LinkAttribute> attribute =
        FindLinkAttribute(name, ReadDecidingValue(tag, name));
    const ScannedAttribute* found = attribute ? tag.Find(attribute->name) : nullptr;
    if (found == nullptr) {
        return true;
    }
    const std::optional<std::string> value = ReadValue(*found);
    if (!value) {
        return false;
    }
    if (const std::optional<std::string> resolved = ResolveLink(*value, attribute->anchor)) {
        ChangeValue(*found, *value, *resolved, edits);
    }
    return true;
}

std::optional<std::string> CLinkExtractor::ReadValue(const ScannedAttribute& attribute) {
    std::optional<std::string> value = DecodeAttributeValue(attribute.value);
    if (value && !IsAscii(*value)) {
        m_valueBeyondAscii = true;
        if (!html_charset::IsUtf8(*value)) {
            return std::nullopt;
        }
    }
    return value;
}

void CLinkExtractor::ChangeValue(const ScannedAttribute& attribute, const std::string& old,
                                 const std::string& value, CPageEdits& edits) {
    if (value.empty() || value == old) {
        return;
    }
    if (!IsAscii(value)) {
        m_valueBeyondAscii = true;
    }
    edits.ReplaceValue(attribute, value);
}

void CLinkExtractor::OnNode(CHtmlNode& node) {
    if (node.IsElement()) {
        VisitElement(node);
    }
}

void CLinkExtractor::VisitElement(CHtmlNode& element) {
    const std::string name = element.GetNodeName();
    // Its href is no link but the page's base, taken before the walk.
    if (name == "base") {
        return;
    }
    if (m_pageRequisites) {
        VisitRequisites(element, name);
    }
    const std::optional<LinkAttribute> attribute = FindLinkAttribute(name, element);
    if (!attribute) {
        return;
    }
    const std::optional<std::string> resolved =
        ResolveLink(element.GetAttribute(attribute->name), attribute->anchor);
    if (!resolved) {
        return;
    }
    try {
        element.SetAttribute(attribute->name, *resolved);
    } catch (const CHtmlException&) {
        // The page keeps the link as it was; the crawl can still follow it.
    }
}

// Browsers drop the blanks around a link, which only its markup's layout put there.
std::optional<std::string> CLinkExtractor::ResolveLink(const std::string& written, bool anchor) {
    if (written.empty() || written.size() > kMaxLinkLength) {
        return std::nullopt;
    }
    const std::string value = TrimHtmlWhiteSpace(written);
    CUrl url;
    if ((!url.Parse(value) && !url.ResolveRelative(m_baseUrl, value)) || !IsDownloadableLink(url)) {
        return std::nullopt;
    }
    AddLink(url, anchor && url.GetScheme() != SchemeFtp);
    return url.GetSourceText();
}

// A base given relative to the page (as in <base href="/">) is resolved
// against the page's own URL.
void CLinkExtractor::UseBase(const std::string& href) {
    m_baseUrl = ResolveBaseHref(m_baseUrl, href);
}

void CLinkExtractor::AddLink(const CUrl& url, bool anchor) {
    const std::optional<LinkLevel> level = ComputeLevel(url);
    if (!level || (anchor && !m_rules.CheckAnchor(url, level->level, level->internal))) {
        return;
    }
    const unsigned depth = anchor ? 0 : m_pageItem.GetRequisiteDepth() + 1U;
    if (depth > kMaxRequisiteDepth) {
        return;
    }
    m_foundLinks.Add(url, level->level, level->internal, static_cast<std::uint8_t>(depth));
}

// Links of an internal page to other hosts start a new external chain at
// level 0; an external page's own links stay external, and it leads nowhere
// else.
std::optional<CLinkExtractor::LinkLevel> CLinkExtractor::ComputeLevel(const CUrl& url) const {
    if (::strcasecmp(url.GetHost().c_str(), m_pageHost.c_str()) == 0) {
        return LinkLevel{NextLevel(m_pageItem.GetLevel()), m_pageItem.IsInternal()};
    }
    if (m_pageItem.IsInternal()) {
        return LinkLevel{0, false};
    }
    return std::nullopt;
}

bool CLinkExtractor::ExtractStyleSheetLinks(CStream& stream, std::string_view baseUrl,
                                            const CLinkItem& sheet) {
    StartDocument(baseUrl, sheet);
    try {
        if (!stream.Seek(0, CStream::kBegin)) {
            return false;
        }
        std::string text(static_cast<std::size_t>(stream.GetLength()), '\0');
        text.resize(stream.Read(text.data(), text.size()));
        const std::string rewritten = RewriteCssLinks(
            text, [this](const std::string& reference) { return AddRequisite(reference); });
        if (rewritten == text) {
            return true;
        }
        if (!stream.Seek(0, CStream::kBegin) ||
            stream.Write(rewritten.data(), rewritten.size()) != rewritten.size()) {
            return false;
        }
        stream.Flush();
        stream.SetLength(static_cast<std::int64_t>(rewritten.size()));
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}

// The attributes are written back absolute, as the element table's links
// are, so that the pass after the crawl finds them in the download list.
void CLinkExtractor::VisitRequisites(CHtmlNode& element, const std::string& name) {
    const auto add = [this](const std::string& reference) { return AddRequisite(reference); };
    for (const RequisiteAttribute& attribute : FindRequisiteAttributes(name, element)) {
        const std::string value = element.GetAttribute(attribute.name);
        if (!value.empty()) {
            SetRewrittenAttribute(element, attribute.name, value,
                                  attribute.srcset ? RewriteSrcset(value, add) : add(value));
        }
    }
    const std::string style = element.GetAttribute("style");
    if (!style.empty()) {
        SetRewrittenAttribute(element, "style", style, RewriteCssLinks(style, add));
    }
    if (name == "style") {
        const std::string text = element.GetContent();
        const std::string rewritten = RewriteCssLinks(text, add);
        if (rewritten != text) {
            element.SetContent(rewritten);
        }
    }
}

void CLinkExtractor::SetRewrittenAttribute(CHtmlNode& element, const char* name,
                                           const std::string& value, const std::string& rewritten) {
    if (rewritten.empty() || rewritten == value) {
        return;
    }
    try {
        element.SetAttribute(name, rewritten);
    } catch (const CHtmlException&) {
        // The page keeps the text as it was; the crawl can still follow it.
    }
}

std::string CLinkExtractor::AddRequisite(const std::string& reference) {
    if (reference.size() > kMaxLinkLength || IsInertReference(reference)) {
        return {};
    }
    CUrl url;
    if ((!url.Parse(reference) && !url.ResolveRelative(m_baseUrl, reference)) ||
        !IsDownloadableLink(url)) {
        return {};
    }
    if (m_requisites.insert(url.GetSourceText()).second) {
        AddLink(url, false);
    }
    return url.GetSourceText();
}
