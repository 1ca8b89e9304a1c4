#include "html/link_extractor.h"

#include <strings.h>

#include <array>
#include <cstdio>
#include <limits>

#include "base/errors.h"
#include "base/stream.h"
#include "base/url.h"
#include "engine/crawl_rules.h"
#include "html/css_links.h"
#include "html/html_charset.h"
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
    // The tree is dropped as soon as the page is written back, so that an
    // idle worker holds no page.
    struct TreeRelease {
        CLinkExtractor& extractor;
        ~TreeRelease() { extractor.Unload(); }
    } release{*this};
    try {
        if (!Load(stream)) {
            return false;
        }
        Walk();
        return WriteBack(stream);
    } catch (const CStreamException&) {
        return false;
    }
}

bool CLinkExtractor::WriteBack(CStream& stream) {
    if (!stream.Seek(0, CStream::kBegin) || !Save(stream)) {
        return false;
    }
    stream.Flush();
    // The serialised page may be shorter than the downloaded one; what is
    // left of the old bytes behind it would be read as part of the page.
    stream.SetLength(stream.GetPosition());
    return true;
}

void CLinkExtractor::OnNode(CHtmlNode& node) {
    if (node.IsElement()) {
        VisitElement(node);
    }
}

void CLinkExtractor::VisitElement(CHtmlNode& element) {
    const std::string name = element.GetNodeName();
    if (name == "base") {
        TakeBase(element);
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
    if (value.empty() || value.size() > kMaxLinkLength) {
        return;
    }
    CUrl url;
    if ((!url.Parse(value) && !url.ResolveRelative(m_baseUrl, value)) || !IsDownloadableLink(url)) {
        return;
    }
    try {
        element.SetAttribute(attribute->name, url.GetSourceText());
    } catch (const CHtmlException&) {
        // The page keeps the link as it was; the crawl can still follow it.
    }
    AddLink(url, attribute->anchor && url.GetScheme() != SchemeFtp);
}

// A base element redirects every later relative link. Its href goes, since
// the page's links are all absolute once it has been written back; a base
// given relative to the page (as in <base href="/">) is resolved first, or
// no later relative link could be resolved at all.
void CLinkExtractor::TakeBase(CHtmlNode& base) {
    const std::string href = base.GetAttribute("href");
    if (href.empty()) {
        return;
    }
    base.RemoveAttribute("href");
    CUrl url;
    if (url.Parse(href) || url.ResolveRelative(m_baseUrl, href)) {
        m_baseUrl = url.GetSourceText();
    }
}

void CLinkExtractor::AddLink(const CUrl& url, bool anchor) {
    const std::optional<LinkLevel> level = ComputeLevel(url);
    if (!level || (anchor && !m_rules.CheckAnchor(url, level->level, level->internal))) {
        return;
    }
    m_foundLinks.Add(url, level->level, level->internal);
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
