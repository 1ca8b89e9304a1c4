#include "html/link_extractor.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/stream.h"
#include "base/string_stream.h"
#include "base/url.h"
#include "engine/crawl_rules.h"
#include "html/css_links.h"
#include "html/html_charset.h"
#include "html/link_splicer.h"
#include "html/script_links.h"
#include "html/srcset.h"
#include "html/web_encoding.h"

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

// A link in a page that is not UTF-8 is written back in ASCII, which reads
// the same in any encoding of the page.
std::string EscapeBeyondAscii(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            escaped += c;
            continue;
        }
        escaped += '%';
        escaped += kUpperHexDigits[byte >> 4];
        escaped += kUpperHexDigits[byte & 0x0F];
    }
    return escaped;
}

const WebEncoding kUtf8{"UTF-8", "UTF-8"};
// What browsers read a page in that neither its server nor its markup
// named, and that is not UTF-8 throughout.
const WebEncoding kDefaultEncoding{"windows-1252", "CP1252"};

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

bool CLinkExtractor::ExtractLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& page,
                                  std::string_view transportCharset) {
    StartDocument(baseUrl, page);
    m_transportEncoding = FindWebEncoding(transportCharset);
    m_keptOwnMarkup = false;
    m_writtenPage.clear();
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
            return WriteOwnMarkup(stream, std::move(text), *edits, start == 0);
        }
        // A page that cannot be read with certainty keeps the bytes it was
        // served with: the parser's tree written back would show a browser
        // markup of the parser's own. Its links are found in that tree.
        StartDocument(baseUrl, page);
        return FindLinksInTree(std::move(text));
    } catch (const CStreamException&) {
        return false;
    }
}

bool CLinkExtractor::FindLinksInTree(std::string page) {
    CStringStream stream(std::move(page));
    // The parser reads the page as the server said; bytes that are no text
    // of that set stop it, and then it reads the page as it finds.
    bool loaded = m_transportEncoding && m_transportEncoding->converter != nullptr &&
                  Load(stream, m_transportEncoding->converter);
    m_pageEncoding = loaded ? *m_transportEncoding : kUtf8;
    if (!loaded) {
        loaded = stream.Seek(0, CStream::kBegin) && Load(stream);
    }
    if (loaded) {
        if (const std::optional<std::string> href = GetBaseHref()) {
            UseBase(*href);
        }
        Walk();
    }
    // An idle worker holds no page.
    Unload();
    m_writtenPage = std::move(stream.Bytes());
    return loaded;
}

bool CLinkExtractor::WriteOwnMarkup(CStream& stream, std::string page, const CPageEdits& edits,
                                    bool readFromStart) {
    // A page read from its start that nothing changed is already written.
    if (!edits.IsEmpty() || !readFromStart) {
        page = edits.ApplyTo(page);
        if (!WriteText(stream, page)) {
            return false;
        }
    }
    m_writtenPage = std::move(page);
    return true;
}

bool CLinkExtractor::WriteText(CStream& stream, const std::string& text) {
    if (!stream.Seek(0, CStream::kBegin) || stream.Write(text.data(), text.size()) != text.size()) {
        return false;
    }
    stream.Flush();
    stream.SetLength(static_cast<std::int64_t>(text.size()));
    return true;
}

void CLinkExtractor::StartEncoding(const html_charset::PageStart& start) {
    m_valueBeyondAscii = false;
    m_declaredEncoding.reset();
    m_encodingCertain = start.markLength > 0 || m_transportEncoding.has_value();
    if (start.markLength > 0) {
        m_pageEncoding =
            start.encoding == XML_CHAR_ENCODING_UTF8 ? kUtf8 : WebEncoding{"UTF-16", nullptr};
    } else if (m_transportEncoding) {
        m_pageEncoding = *m_transportEncoding;
    } else {
        m_pageEncoding = start.encoding == XML_CHAR_ENCODING_UTF8 ? kUtf8 : kDefaultEncoding;
    }
}

std::optional<CPageEdits> CLinkExtractor::ReadOwnMarkup(std::string_view page) {
    StartEncoding(html_charset::InspectPageStart(page, false));
    // A page in UTF-16 has no markup in ASCII bytes.
    if (!m_pageEncoding.HasAsciiMarkup()) {
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
    m_ownMarkupUtf8 = m_pageEncoding.IsUtf8();
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

// A declaration counts only where no byte-order mark or server decided, and
// a label no browser knows is none. A page that declares a character set
// whose markup is not ASCII, or two different ones, or one other than that
// its values beyond ASCII were already read in, is read by the parser, which
// knows what to make of it.
bool CLinkExtractor::NoteDeclaredCharset(const ScannedTag& tag) {
    if (m_encodingCertain) {
        return true;
    }
    std::optional<WebEncoding> declared = FindWebEncoding(ReadDeclaredCharset(tag));
    if (!declared) {
        return true;
    }
    // Bytes in ASCII markup that claim to be in no such encoding are not.
    if (declared->name == "x-user-defined") {
        declared = kDefaultEncoding;
    }
    if (!declared->HasAsciiMarkup() ||
        (m_declaredEncoding && m_declaredEncoding->name != declared->name) ||
        (m_valueBeyondAscii && m_pageEncoding.name != declared->name)) {
        return false;
    }
    m_declaredEncoding = declared;
    m_pageEncoding = *declared;
    return true;
}

bool CLinkExtractor::VisitTagRequisites(const ScannedTag& tag, const std::string& name,
                                        CPageEdits& edits) {
    const auto add = [this](const std::string& reference) { return AddRequisite(reference); };
    // The links of a srcset or a style that reads as written are rewritten
    // where they stand, in the page's bytes; every other byte stays.
    const auto addOfText = [this](const std::string& reference) {
        return AddRequisiteOfText(reference);
    };
    const bool asciiOnly = !m_pageEncoding.IsUtf8();
    for (const RequisiteAttribute& attribute :
         FindRequisiteAttributes(name, ReadDecidingValue(tag, name))) {
        const ScannedAttribute* found = tag.Find(attribute.name);
        const std::optional<std::string> value = found ? ReadValue(*found) : std::string();
        if (!value) {
            return false;
        }
        if (value->empty()) {
            continue;
        }
        if (attribute.srcset && found->ReadsAsWritten()) {
            RewriteValueLinks(*found, true, addOfText, asciiOnly, edits);
        } else {
            ChangeValue(*found, *value, attribute.srcset ? RewriteSrcset(*value, add) : add(*value),
                        edits);
        }
    }
    if (const ScannedAttribute* style = tag.Find("style")) {
        const std::optional<std::string> value = ReadValue(*style);
        if (!value) {
            return false;
        }
        if (style->ReadsAsWritten()) {
            RewriteValueLinks(*style, false, addOfText, asciiOnly, edits);
        } else {
            ChangeValue(*style, *value, RewriteCssLinks(*value, add), edits);
        }
    }
    if (name == "script" && !VisitScriptText(tag)) {
        return false;
    }
    // The links are escaped for the style text, which they cannot end.
    if (name == "style" && tag.text == TextKind::RawText) {
        const std::string text(tag.rawText);
        const std::string rewritten = RewriteCssLinks(
            text, [this](const std::string& reference) { return AddRequisiteOfText(reference); });
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
    if (const std::optional<std::string> resolved =
            ResolveLink(std::string(LinkOfValue(*attribute, *value)), attribute->anchor)) {
        ChangeValue(*found, *value, ReplaceLinkOfValue(*attribute, *value, *resolved), edits);
    }
    return true;
}

// A script with a source runs that, not its own text.
bool CLinkExtractor::VisitScriptText(const ScannedTag& tag) {
    if (tag.text != TextKind::ScriptData || tag.Find("src") != nullptr) {
        return true;
    }
    const ScannedAttribute* type = tag.Find("type");
    const std::optional<std::string> value = type ? ReadValue(*type) : std::string();
    if (!value) {
        return false;
    }
    if (IsJavaScriptType(*value)) {
        AddScriptReferences(tag.rawText, IsModuleType(*value), true);
    }
    return true;
}

// The bytes are decoded before the references, as a browser's tokenizer
// reads characters, not bytes.
std::optional<std::string> CLinkExtractor::ReadValue(const ScannedAttribute& attribute) {
    if (IsAscii(attribute.value)) {
        return DecodeAttributeValue(attribute.value);
    }
    m_valueBeyondAscii = true;
    if (m_pageEncoding.IsUtf8()) {
        return html_charset::IsUtf8(attribute.value) ? DecodeAttributeValue(attribute.value)
                                                     : std::nullopt;
    }
    const std::optional<std::string> text = DecodeText(attribute.value, m_pageEncoding);
    return text ? DecodeAttributeValue(*text) : std::nullopt;
}

void CLinkExtractor::ChangeValue(const ScannedAttribute& attribute, const std::string& old,
                                 const std::string& value, CPageEdits& edits) {
    if (value.empty() || value == old) {
        return;
    }
    edits.ReplaceValue(attribute, value, !m_pageEncoding.IsUtf8());
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
    const std::string value = element.GetAttribute(attribute->name);
    const std::optional<std::string> resolved =
        ResolveLink(std::string(LinkOfValue(*attribute, value)), attribute->anchor);
    if (!resolved) {
        return;
    }
    try {
        element.SetAttribute(attribute->name, ReplaceLinkOfValue(*attribute, value, *resolved));
    } catch (const CHtmlException&) {
        // The page keeps the link as it was; the crawl can still follow it.
    }
}

// Browsers drop the blanks around a link, which only its markup's layout put there.
std::optional<std::string> CLinkExtractor::ResolveLink(const std::string& written, bool anchor) {
    if (written.empty() || written.size() > kMaxLinkLength) {
        return std::nullopt;
    }
    const std::string value = EncodeQuery(TrimHtmlWhiteSpace(written));
    CUrl url;
    if ((!url.Parse(value) && !url.ResolveRelative(m_baseUrl, value)) || !IsDownloadableLink(url)) {
        return std::nullopt;
    }
    AddLink(url, anchor && url.GetScheme() != SchemeFtp);
    return WrittenLink(url);
}

// The path of a URL is UTF-8 whatever the page's encoding, its query is in
// the page's encoding; a query the encoding cannot hold stays UTF-8.
std::string CLinkExtractor::EncodeQuery(const std::string& link) const {
    if (m_pageEncoding.IsUtf8() || IsAscii(link)) {
        return link;
    }
    const std::size_t end = link.find('#');
    const std::size_t question = link.find('?');
    if (question >= end) {
        return link;
    }
    const std::size_t begin = question + 1;
    const std::optional<std::string> query =
        EncodeText(std::string_view(link).substr(begin, end - begin), m_pageEncoding);
    if (!query) {
        return link;
    }
    return link.substr(0, begin) + EscapeBeyondAscii(*query) +
           (end == std::string::npos ? std::string() : link.substr(end));
}

std::string CLinkExtractor::WrittenLink(const CUrl& url) const {
    return m_pageEncoding.IsUtf8() ? url.GetSourceText() : EscapeBeyondAscii(url.GetSourceText());
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
    if (name == "script" && element.GetAttribute("src").empty() &&
        IsJavaScriptType(element.GetAttribute("type"))) {
        AddScriptReferences(element.GetContent(), IsModuleType(element.GetAttribute("type")),
                            false);
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
    const std::string link = EncodeQuery(reference);
    CUrl url;
    if ((!url.Parse(link) && !url.ResolveRelative(m_baseUrl, link)) || !IsDownloadableLink(url)) {
        return {};
    }
    if (m_requisites.insert(url.GetSourceText()).second) {
        AddLink(url, false);
    }
    return WrittenLink(url);
}

std::string CLinkExtractor::AddRequisiteOfText(const std::string& reference) {
    if (m_pageEncoding.IsUtf8() || IsAscii(reference)) {
        return AddRequisite(reference);
    }
    const std::optional<std::string> text = DecodeText(reference, m_pageEncoding);
    return text ? AddRequisite(*text) : std::string();
}

void CLinkExtractor::AddScriptReferences(std::string_view script, bool module,
                                         bool inPageEncoding) {
    for (std::string reference : FindScriptReferences(script, !module)) {
        if (inPageEncoding && !m_pageEncoding.IsUtf8() && !IsAscii(reference)) {
            std::optional<std::string> text = DecodeText(reference, m_pageEncoding);
            if (!text) {
                continue;
            }
            reference = std::move(*text);
        }
        CUrl url;
        const std::string link = EncodeQuery(reference);
        if ((url.Parse(link) || url.ResolveRelative(m_baseUrl, link)) && m_rules.CheckScope(url)) {
            AddRequisite(reference);
        }
    }
}

bool CLinkExtractor::ExtractScriptLinks(CStream& stream, std::string_view baseUrl,
                                        const CLinkItem& script) {
    StartDocument(baseUrl, script);
    // A script is read as UTF-8 whatever the page that loads it was in.
    m_pageEncoding = kUtf8;
    try {
        if (!stream.Seek(0, CStream::kBegin)) {
            return false;
        }
        std::string text(static_cast<std::size_t>(stream.GetLength()), '\0');
        text.resize(stream.Read(text.data(), text.size()));
        AddScriptReferences(text, false, false);
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}
