// Finds the links of a saved page, makes each of them absolute in the page and
// decides by the crawl rules which of them the crawl follows, and at which level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "engine/found_links.h"
#include "engine/link_item.h"
#include "html/html_charset.h"
#include "html/html_document.h"
#include "html/link_element_table.h"
#include "html/tag_scanner.h"
#include "html/web_encoding.h"

class CCrawlRules;
class CStream;
class CUrl;

class CLinkExtractor : public CHtmlDocument {
public:
    // Longer attribute values are no links and are left as they are.
    static constexpr std::size_t kMaxLinkLength = 1024;

    // The rules are read, not copied: they must outlive the extractor and
    // must not change while it runs.
    explicit CLinkExtractor(CCrawlRules& rules);

    // Reads the page from the stream's current position, resolves its links
    // against baseUrl (the URL the page was finally fetched from) and writes
    // it back over the stream from offset 0, cut to its new length. page is
    // the page's own item: its host and level give every link its level.
    // A page whose markup can be read with certainty straight from its bytes
    // keeps every byte but the changed values; any other one keeps the bytes
    // it was served with, and its links are found in the parser's tree.
    // False when the page could not be parsed or written back; the links
    // found so far are kept either way. transportCharset is the character
    // set the server named for the page: as in a browser, a byte-order mark
    // comes first, then it, then the page's own declaration, then UTF-8 for
    // a page that is UTF-8 throughout, else windows-1252.
    bool ExtractLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& page,
                      std::string_view transportCharset = {});
    // Whether the last page kept its own markup, and if so whether it is
    // UTF-8 (else its values that changed hold only ASCII: a link's
    // characters beyond it percent-escaped as UTF-8, others written as
    // character references).
    bool KeptOwnMarkup() const { return m_keptOwnMarkup; }
    bool IsOwnMarkupUtf8() const { return m_ownMarkupUtf8; }
    // Reads a style sheet from offset 0 and takes its url() and @import
    // links, resolved against baseUrl, as requisites of sheet; writes them
    // back absolute, every other byte kept. False when the stream fails.
    bool ExtractStyleSheetLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& sheet);
    // Reads a script from offset 0 and takes the files its strings name,
    // resolved against baseUrl (the script's own URL), as requisites of
    // script; the script is not changed. False when the stream fails.
    bool ExtractScriptLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& script);

    // Whether pages yield their requisites beyond the element table too:
    // srcset candidates, media, and the links of style elements and style
    // attributes. Off until set.
    void SetPageRequisites(bool on) { m_pageRequisites = on; }

    // The links accepted by the last ExtractLinks, in page order, without
    // their fragments; a URL linked twice is listed twice.
    const CFoundLinks& GetFoundLinks() const { return m_foundLinks; }
    // Hands them over, leaving none behind.
    CFoundLinks TakeFoundLinks() { return std::exchange(m_foundLinks, {}); }
    // The page's bytes as the last ExtractLinks left them in its file,
    // handed over so that nobody reads the file again; empty when it failed.
    std::string TakeWrittenPage() { return std::exchange(m_writtenPage, {}); }

protected:
    void OnNode(CHtmlNode& node) override;

private:
    struct LinkLevel {
        std::int32_t level;
        bool internal;
    };

    // The tree-less reading; none when the page must be parsed instead.
    std::optional<CPageEdits> ReadOwnMarkup(std::string_view page);
    // Makes the page's first base element with an href the base of every
    // link; false when its href cannot be read with certainty.
    bool TakeDocumentBase(std::string_view page);
    bool VisitTag(const ScannedTag& tag, CPageEdits& edits);
    bool NoteDeclaredCharset(const ScannedTag& tag);
    bool VisitTagRequisites(const ScannedTag& tag, const std::string& name, CPageEdits& edits);
    bool VisitTagLink(const ScannedTag& tag, const std::string& name, CPageEdits& edits);
    bool VisitScriptText(const ScannedTag& tag);
    // The encoding the page's bytes are first read in, before its markup
    // may declare another.
    void StartEncoding(const html_charset::PageStart& start);
    // The attribute's value as a browser reads it, in UTF-8; none when it
    // cannot be read with certainty, or holds bytes that are no characters
    // of the page's encoding.
    std::optional<std::string> ReadValue(const ScannedAttribute& attribute);
    // A reference from a style element's text, whose bytes are the page's.
    std::string AddRequisiteOfText(const std::string& reference);
    // A link as its page writes it: its query's characters in the page's
    // encoding, escaped, as a browser sends them.
    std::string EncodeQuery(const std::string& link) const;
    // A resolved link as it is written back into the page.
    std::string WrittenLink(const CUrl& url) const;
    // Writes value over the attribute's when it differs.
    void ChangeValue(const ScannedAttribute& attribute, const std::string& old,
                     const std::string& value, CPageEdits& edits);
    // Parses the page's bytes, read once from its file, from memory.
    // Keeps the bytes as the written page, as they stay in the file.
    bool FindLinksInTree(std::string page);
    // Writes the page with its edits over the stream, unless it is there already.
    bool WriteOwnMarkup(CStream& stream, std::string page, const CPageEdits& edits,
                        bool readFromStart);
    bool WriteText(CStream& stream, const std::string& text);

    void VisitElement(CHtmlNode& element);
    // Makes relative links resolve against href, the page's base.
    void UseBase(const std::string& href);
    // The link resolved and, when the crawl may fetch it, added; its new
    // text, or none when it stays as it is.
    std::optional<std::string> ResolveLink(const std::string& written, bool anchor);
    void StartDocument(std::string_view baseUrl, const CLinkItem& document);
    void VisitRequisites(CHtmlNode& element, const std::string& name);
    void SetRewrittenAttribute(CHtmlNode& element, const char* name, const std::string& value,
                               const std::string& rewritten);
    // Adds the reference, resolved against the base, as a requisite once
    // per document; its absolute URL, or empty when it names nothing to fetch.
    std::string AddRequisite(const std::string& reference);
    // The files that the script's strings name on the site, within the
    // scope, as requisites; the script keeps its text, since the mirror
    // keeps the site's layout and its relative references work as written.
    // inPageEncoding: the text holds the page's bytes rather than UTF-8.
    void AddScriptReferences(std::string_view script, bool module, bool inPageEncoding);
    void AddLink(const CUrl& url, bool anchor);
    std::optional<LinkLevel> ComputeLevel(const CUrl& url) const;

    CCrawlRules& m_rules;
    CFoundLinks m_foundLinks;
    std::string m_writtenPage;
    CLinkItem m_pageItem;
    // The page item's host, looked up once per page rather than per link.
    std::string m_pageHost;
    std::string m_baseUrl;
    bool m_pageRequisites = false;
    std::unordered_set<std::string> m_requisites;
    bool m_keptOwnMarkup = false;
    bool m_ownMarkupUtf8 = false;
    // The server's character set for the page, when it names a known one.
    std::optional<WebEncoding> m_transportEncoding;
    // What the page is read in, and whether nothing in the page can change it.
    WebEncoding m_pageEncoding{};
    bool m_encodingCertain = false;
    // What the bytes of the page read as own markup showed so far.
    bool m_valueBeyondAscii = false;
    std::optional<WebEncoding> m_declaredEncoding;
};
