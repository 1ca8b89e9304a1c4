// Whether a page whose links were rewritten still reads, to an HTML5 parser
// (libgumbo), as the page that was served: the same elements, attributes,
// text and comments, but for the link values. The pages are rewritten by the
// program's own code: the crawl's link extraction, the link pass after the
// crawl, and the splicer with link values full of markup.
#pragma once

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "base/url.h"
#include "engine/crawl_rules.h"
#include "engine/download_list.h"
#include "html/css_links.h"
#include "html/link_element_table.h"
#include "html/link_extractor.h"
#include "html/link_splicer.h"
#include "html/url_updater.h"
#include "storage/local_file_mapping.h"
#include "support/memory_stream.h"
#include "support/temp_folder.h"

namespace testing_support {

inline constexpr std::string_view kRewrittenPageUrl = "http://h/d/p.html";

// What every link is set to when the splicer rewrites a page: whatever could
// end an attribute, a raw text element, a comment or a script.
inline const std::string kMarkupLink =
    "x\"'<>&amp;</style></script></noscript></title></textarea></xmp></noembed>"
    "</iframe></noframes>--!>--><!--<script>]]></svg><svg onload=alert(1)>";

namespace markup_equivalence_detail {

// The attributes that hold the links the program rewrites: the element
// tables', the style attribute and a base element's href.
inline bool IsLinkAttribute(std::string_view element, const GumboVector& attributes,
                            const GumboAttribute& attribute) {
    if (attribute.attr_namespace != GUMBO_ATTR_NAMESPACE_NONE) {
        return false;
    }
    const std::string_view name = attribute.name;
    if (name == "style") {
        return true;
    }
    std::string_view deciding;
    if (const char* decider = DecidingAttribute(element)) {
        if (const GumboAttribute* found = gumbo_get_attribute(&attributes, decider)) {
            deciding = found->value;
        }
    }
    const std::optional<LinkAttribute> link = FindLinkAttribute(element, deciding);
    if (link && name == link->name) {
        return true;
    }
    const RequisiteAttributes requisites = FindRequisiteAttributes(element, deciding);
    return std::any_of(requisites.begin(), requisites.end(),
                       [&](const RequisiteAttribute& r) { return name == r.name; });
}

inline std::string ElementName(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN) {
        return gumbo_normalized_tagname(element.tag);
    }
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return ToLowerAscii(std::string_view(original.data, original.length));
}

inline void Describe(const GumboNode& node, bool inHtmlStyle, std::string& out) {
    static constexpr const char* kSpaces[] = {"html", "svg", "math"};
    switch (node.type) {
        case GUMBO_NODE_DOCUMENT: {
            const GumboDocument& document = node.v.document;
            out += std::string("doctype ") + (document.has_doctype ? document.name : "-") + " " +
                   std::to_string(document.doc_type_quirks_mode) + "\n";
            for (unsigned i = 0; i < document.children.length; ++i) {
                Describe(*static_cast<const GumboNode*>(document.children.data[i]), false, out);
            }
            return;
        }
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            const GumboElement& element = node.v.element;
            const std::string name = ElementName(element);
            out += std::string("<") + kSpaces[element.tag_namespace] + " " + name;
            for (unsigned i = 0; i < element.attributes.length; ++i) {
                const auto& attribute =
                    *static_cast<const GumboAttribute*>(element.attributes.data[i]);
                // A base element loses its address.
                if (name == "base" && std::string_view(attribute.name) == "href") {
                    continue;
                }
                out += std::string(" ") + std::to_string(attribute.attr_namespace) + ":" +
                       attribute.name;
                if (!IsLinkAttribute(name, element.attributes, attribute)) {
                    out += std::string("=\"") + attribute.value + "\"";
                }
            }
            out += ">\n";
            const bool style = element.tag_namespace == GUMBO_NAMESPACE_HTML && name == "style";
            for (unsigned i = 0; i < element.children.length; ++i) {
                Describe(*static_cast<const GumboNode*>(element.children.data[i]), style, out);
            }
            out += "</" + name + ">\n";
            return;
        }
        case GUMBO_NODE_COMMENT:
            out += std::string("comment ") + node.v.text.text + "\n";
            return;
        case GUMBO_NODE_CDATA:
            out += std::string("cdata ") + node.v.text.text + "\n";
            return;
        default:
            // The text of a style element holds the links of its sheet.
            if (!inHtmlStyle) {
                out += std::string("text ") + node.v.text.text + "\n";
            }
    }
}

// Gumbo reads a page as a browser with scripts off does; a noframes element
// is read the way a browser with scripts on reads a noscript element (its
// text is raw text up to its own end tag), and its name is as long.
inline std::string WithScriptsOn(std::string_view page) {
    std::string renamed(page);
    const std::string lower = ToLowerAscii(page);
    for (std::size_t at = lower.find("noscript"); at != std::string::npos;
         at = lower.find("noscript", at + 8)) {
        renamed.replace(at, 8, "noframes");
    }
    return renamed;
}

}  // namespace markup_equivalence_detail

// The tree a browser with scripts on builds from the page, as text: every
// element with its namespace, name and attributes (the names only of those
// that hold links), the text outside HTML style elements, comments and CDATA.
inline std::string DescribeTree(std::string_view page) {
    using namespace markup_equivalence_detail;
    const std::string read = WithScriptsOn(page);
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, read.data(), read.size());
    std::string described;
    Describe(*output->document, false, described);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return described;
}

// Empty when the rewritten page reads as the same tree as the served one;
// else the first lines where the two differ.
inline std::string CompareTrees(std::string_view served, std::string_view rewritten) {
    std::istringstream before(DescribeTree(served));
    std::istringstream after(DescribeTree(rewritten));
    std::string old;
    std::string now;
    for (int line = 1;; ++line) {
        const bool more = static_cast<bool>(std::getline(before, old));
        const bool moreNow = static_cast<bool>(std::getline(after, now));
        if (!more && !moreNow) {
            return {};
        }
        if (!more || !moreNow || old != now) {
            return "line " + std::to_string(line) + ": served [" + (more ? old : "end") +
                   "] rewritten [" + (moreNow ? now : "end") + "]";
        }
    }
}

// A page as the crawl saves it: its links resolved against kRewrittenPageUrl
// and written back, page requisites included.
struct CrawledPage {
    std::string saved;
    bool ownMarkup = false;
    bool utf8 = false;
    std::vector<std::string> links;
};

inline CrawledPage CrawlPage(const std::string& page) {
    CCrawlRules rules;
    rules.SetScope("h");
    CLinkExtractor extractor(rules);
    extractor.SetPageRequisites(true);
    CUrl url;
    url.Parse(kRewrittenPageUrl);
    MemoryStream stream(page);
    CrawledPage crawled;
    if (!extractor.ExtractLinks(stream, kRewrittenPageUrl, CLinkItem(url, 0, true))) {
        crawled.saved = page;
        return crawled;
    }
    crawled.saved = stream.Bytes();
    crawled.ownMarkup = extractor.KeptOwnMarkup();
    crawled.utf8 = extractor.IsOwnMarkupUtf8();
    for (const CFoundLinks::Link link : extractor.GetFoundLinks()) {
        crawled.links.emplace_back(link.urlText);
    }
    return crawled;
}

// The crawled page after the link pass, with every link it found listed as
// downloaded, so that each of them is made local.
inline std::string PassOverPage(const CrawledPage& crawled) {
    TempFolder folder;
    const CFilePath downloadFolder(folder.File("dl"));
    CLocalFileMapping mapping(downloadFolder);
    CDownloadList list;
    const auto save = [&](const CUrl& url, int type, std::string* localPathOut) {
        std::string localUrl;
        std::string localPath;
        std::string storedPath;
        mapping.MapUrlToLocal(url, type, localUrl, localPath, storedPath);
        list.Add(CLinkItem(url, 1, true));
        const PageWriting writing = !crawled.ownMarkup ? PageWriting::Unknown
                                    : crawled.utf8     ? PageWriting::OwnMarkupUtf8
                                                       : PageWriting::OwnMarkupAscii;
        list.MarkDone(url, storedPath, -1, 1, localPathOut ? writing : PageWriting::Unknown);
        if (localPathOut != nullptr) {
            *localPathOut = localPath;
        }
    };
    CUrl pageUrl;
    pageUrl.Parse(kRewrittenPageUrl);
    std::string pagePath;
    save(pageUrl, 3, &pagePath);
    for (const std::string& link : crawled.links) {
        CUrl url;
        if (url.Parse(link) && link != kRewrittenPageUrl) {
            save(url, 0, nullptr);
        }
    }
    if (!mapping.CreateParentFolder(pagePath)) {
        return crawled.saved;
    }
    WriteFile(pagePath, crawled.saved);
    CUrlUpdater updater(list, downloadFolder, nullptr);
    updater.UpdateAll();
    return ReadFile(pagePath);
}

// The page with every link the pass would look at set to kMarkupLink, every
// url() of its style sheets too, and a base element's href removed; none
// when the splicer cannot read it with certainty.
inline std::optional<std::string> SpliceMarkupLinks(CLinkSplicer& splicer, std::string_view page,
                                                    bool utf8) {
    const auto visit = [](CHtmlNode& element) {
        try {
            if (element.GetNodeName() == "base") {
                element.RemoveAttribute("href");
                return;
            }
            const std::string name = GetLinkAttributeName(element);
            if (!name.empty()) {
                element.SetAttribute(name, kMarkupLink);
            }
            for (const RequisiteAttribute& attribute :
                 FindRequisiteAttributes(element.GetNodeName(), element)) {
                if (!element.GetAttribute(attribute.name).empty()) {
                    element.SetAttribute(attribute.name, kMarkupLink);
                }
            }
            const std::string style = element.GetAttribute("style");
            const std::string rewritten =
                RewriteCssLinks(style, [](const std::string&) { return kMarkupLink; });
            if (rewritten != style) {
                element.SetAttribute("style", rewritten);
            }
        } catch (const CHtmlException&) {
            // Left as it was, as the link pass leaves it.
        }
    };
    return splicer.SpliceOwnMarkup(page, utf8, visit,
                                   [](const std::string&) { return kMarkupLink; });
}

}  // namespace testing_support
