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
#include "html/html_document.h"
#include "html/link_element_table.h"

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
    // False when the page could not be parsed or written back; the links
    // found so far are kept either way.
    bool ExtractLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& page);
    // Reads a style sheet from offset 0 and takes its url() and @import
    // links, resolved against baseUrl, as requisites of sheet; writes them
    // back absolute, every other byte kept. False when the stream fails.
    bool ExtractStyleSheetLinks(CStream& stream, std::string_view baseUrl, const CLinkItem& sheet);

    // Whether pages yield their requisites beyond the element table too:
    // srcset candidates, media, and the links of style elements and style
    // attributes. Off until set.
    void SetPageRequisites(bool on) { m_pageRequisites = on; }

    // The links accepted by the last ExtractLinks, in page order, without
    // their fragments; a URL linked twice is listed twice.
    const CFoundLinks& GetFoundLinks() const { return m_foundLinks; }
    // Hands them over, leaving none behind.
    CFoundLinks TakeFoundLinks() { return std::exchange(m_foundLinks, {}); }

protected:
    void OnNode(CHtmlNode& node) override;

private:
    struct LinkLevel {
        std::int32_t level;
        bool internal;
    };

    void VisitElement(CHtmlNode& element);
    void TakeBase(CHtmlNode& base);
    void StartDocument(std::string_view baseUrl, const CLinkItem& document);
    void VisitRequisites(CHtmlNode& element, const std::string& name);
    void SetRewrittenAttribute(CHtmlNode& element, const char* name, const std::string& value,
                               const std::string& rewritten);
    // Adds the reference, resolved against the base, as a requisite once
    // per document; its absolute URL, or empty when it names nothing to fetch.
    std::string AddRequisite(const std::string& reference);
    void AddLink(const CUrl& url, bool anchor);
    std::optional<LinkLevel> ComputeLevel(const CUrl& url) const;
    bool WriteBack(CStream& stream);

    CCrawlRules& m_rules;
    CFoundLinks m_foundLinks;
    CLinkItem m_pageItem;
    // The page item's host, looked up once per page rather than per link.
    std::string m_pageHost;
    std::string m_baseUrl;
    bool m_pageRequisites = false;
    std::unordered_set<std::string> m_requisites;
};
