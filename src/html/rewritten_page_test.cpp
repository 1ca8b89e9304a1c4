// Saved pages never hold markup that the served page did not: read by an
// HTML5 parser, a page after the crawl, after the link pass and after a
// splice of link values full of markup shows the elements, attributes, text
// and comments of the page as served, but for its link values.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/markup_equivalence.h"

namespace {

using namespace std::string_literals;
using testing_support::CompareTrees;
using testing_support::CrawledPage;
using testing_support::CrawlPage;
using testing_support::PassOverPage;
using testing_support::ReadFile;
using testing_support::SpliceMarkupLinks;

// Pages whose links a reading of their bytes that is not the browser's own
// would rewrite into markup; each is read with certainty and keeps its own
// markup. A link value of "&lt;...&gt;" becomes "<...>" once resolved.
const std::string kHostilePages[] = {
    // An end tag's quoted attribute may hold a ">".
    "<p></p title=\"><a href='x.html'><svg onload=alert(1)>\">",
    "<p></div foo='>' <a href=x.html>'><a href=y.html>",
    // Every end of a comment.
    "<!-- --!><a title=\"--><a href='x.html'><svg onload=alert(1)>\">",
    "<!--><a title=\"--><a href='x.html'><svg onload=alert(1)>\">",
    "<!---><a title=\"--><a href='x.html'><svg onload=alert(1)>\">",
    "<!----!><a href=x.html><!-- <!-- --> <a href=y.html>",
    // SVG and MathML hold elements where HTML holds raw text.
    "<svg><style><a title=\"</style><a href='x.html'><svg onload=alert(1)>\"></a></style></svg>",
    "<svg><title><a title=\"</title><a href='x.html'><svg onload=alert(1)>\"></a></title></svg>",
    "<svg><script><a title=\"</script><a href='x.html'><svg onload=alert(1)>\"></a></script>",
    "<math><style><a title=\"</style><a href='x.html'><svg onload=alert(1)>\"></a></style></math>",
    "<math><mtext><textarea><a title=\"</textarea><a href='x.html'>\"></textarea></mtext></math>",
    "<svg><style/><a title=\"</style><a href='x.html'><svg onload=alert(1)>\"></a></svg>",
    "<svg><foreignObject><style><a title=\"</style><a href='x.html'>\"></style></foreignObject>",
    "<math><annotation-xml encoding=text/html><style><a title=\"</style><a href='x.html'>\">",
    "<math><annotation-xml><style><a title=\"</style><a href='x.html'>\"></style></math>",
    "<svg><p><style><a title=\"</style><a href='x.html'>\"></style>",
    "<svg><desc><b>x</desc></svg><style><a title=\"</style><a href='x.html'>\"></style>",
    "<table><svg><title><a title=\"</title><a href='x.html'>\"></a></title></svg></table>",
    "<svg><![CDATA[<a title=\"]]><a href='x.html'><svg onload=alert(1)>\">]]></svg>",
    "<![CDATA[<a title=\"]]><a href='x.html'><svg onload=alert(1)>\">",
    // Raw text in HTML, noscript as a browser with scripts on reads it.
    "<noscript><a href=\"&lt;/noscript&gt;&lt;svg onload=alert(1)&gt;\"></noscript>",
    "<style/><a title=\"</style><a href='x.html'><svg onload=alert(1)>\">",
    "<textarea/><a href=\"x.html\"></textarea><title/><a href='&lt;/title&gt;'></title>",
    "<plaintext><a href=x.html>",
    // Script text and its escapes.
    "<script><!--<script></script><a href=\"&lt;/script&gt;&lt;svg onload=alert(1)&gt;\">"
    "</script>",
    "<script><!--</script><a href=\"&lt;/script&gt;&lt;svg onload=alert(1)&gt;\">",
    "<script><!--<script>--></script><a href=\"&lt;!--&lt;script&gt;\"></script>",
    // Style text: a link written back is escaped for it.
    "<svg><style>a{background:url(\"\\3c svg/onload=alert(6)\\3e \")}</style></svg>",
    "<style>a{background:url(\"x\\3c /style\\3e \\3c img src=x onerror=alert(1)\\3e \")}</style>"
    "<a href=y.html>",
    "<p style=\"background:url('&quot;&gt;&lt;svg onload=alert(1)&gt;')\">",
    // A refresh's URL is rewritten inside the rest of its content.
    "<meta http-equiv=refresh content=\"0; url='x.html&quot;&gt;&lt;svg onload=alert(1)&gt;'\">",
    // The link pass rewrites style text in place; the parser would read the
    // rest of the page otherwise.
    "<style>a{background:url(i.gif)}</style><textarea/><img src=x onerror=alert(1)></textarea>",
    // A character set that a reading byte by byte may trust.
    "<meta charset=shift_jis><style/><img src=x onerror=alert(1)></style>",
    "<meta charset=shift_jis><textarea/><img src=x onerror=alert(1)></textarea>",
    "<meta charset=shift_jis><!-- --!><p title=\"--><img src=x onerror=alert(1)>\">",
    // A NUL byte is a character like any other.
    "<p>before</p>\0<p>after</p><a href=x.html>"s,
    "<a\0 href=x.html><a href=\"\0&lt;svg&gt;\"><script>\0</script><a href=y.html>"s,
    // Attributes whose removal or new value must not run into their neighbours.
    "<base a href=x/ =y><a href=y.html><base href\0=http://h/><a\0 href=http://h/x>"s,
    "<base href=\"http://h/\"/><svg><base/href=x><g></g></svg><a href=z.html>",
    "<a href=x.html/><a href=\"x.html\"/onload=alert(1)><a href><a href/>",
    "<frameset><frame src=f.html><noframes><a href=x.html></noframes></frameset>",
};

// Pages that a reading of their bytes cannot be sure of: they are kept as
// served, and the link pass leaves them so.
const std::string kDoubtfulPages[] = {
    "<select><style><a title=\"</style><a href='x.html'><svg onload=alert(1)>\"></a></select>",
    "<svg><g></p><style><a title=\"</style><a href='x.html'>\"></style></svg>",
    "<div><svg></div><style><a title=\"</style><a href='x.html'>\"></style>",
    "<meta charset=iso-2022-jp><style/><img src=x onerror=alert(1)></style><a href=x.html>",
    // Deeper than real pages nest SVG.
    [] {
        std::string page = "<svg>";
        for (int i = 0; i < 600; ++i) {
            page += "<g>";
        }
        return page + "<a href=x.html>";
    }(),
};

std::vector<std::string> CorpusPages() {
    std::vector<std::string> pages;
    for (const char* corpus : {"fuzz_splice", "fuzz_html", "fuzz_links", "fuzz_rewritten_page"}) {
        const std::filesystem::path folder =
            std::filesystem::path(TARNWICK_SOURCE_DIR) / "fuzz" / "corpus" / corpus;
        for (const auto& file : std::filesystem::directory_iterator(folder)) {
            pages.push_back(ReadFile(file.path().string()));
        }
    }
    return pages;
}

void ExpectSameTreeAfterEveryRewriting(const std::string& page) {
    const CrawledPage crawled = CrawlPage(page);
    EXPECT_EQ(CompareTrees(page, crawled.saved), "") << "after the crawl: " << crawled.saved;
    const std::string passed = PassOverPage(crawled);
    EXPECT_EQ(CompareTrees(page, passed), "") << "after the link pass: " << passed;
    CLinkSplicer splicer;
    for (const bool utf8 : {false, true}) {
        if (const auto spliced = SpliceMarkupLinks(splicer, page, utf8)) {
            EXPECT_EQ(CompareTrees(page, *spliced), "") << "spliced: " << *spliced;
        }
    }
}

TEST(RewrittenPageTest, HostilePagesKeepTheirOwnMarkupAndReadAsServed) {
    for (const std::string& page : kHostilePages) {
        SCOPED_TRACE(page);
        ExpectSameTreeAfterEveryRewriting(page);
        EXPECT_TRUE(CrawlPage(page).ownMarkup);
    }
}

TEST(RewrittenPageTest, DoubtfulPagesAreKeptAsServed) {
    for (const std::string& page : kDoubtfulPages) {
        SCOPED_TRACE(page);
        ExpectSameTreeAfterEveryRewriting(page);
        const CrawledPage crawled = CrawlPage(page);
        EXPECT_FALSE(crawled.ownMarkup);
        EXPECT_EQ(crawled.saved, page);
        EXPECT_EQ(PassOverPage(crawled), page);
    }
}

TEST(RewrittenPageTest, FuzzCorpusPagesReadAsServed) {
    for (const std::string& page : CorpusPages()) {
        SCOPED_TRACE(page);
        ExpectSameTreeAfterEveryRewriting(page);
    }
}

// A NUL byte cuts neither the saved page nor the links found after it.
TEST(RewrittenPageTest, LinksAfterANulByteAreFound) {
    const CrawledPage crawled = CrawlPage("<p>before</p>\0<p>after</p><a href=x.html>"s);
    EXPECT_EQ(crawled.saved, "<p>before</p>\0<p>after</p><a href=http://h/d/x.html>"s);
    EXPECT_EQ(crawled.links, std::vector<std::string>{"http://h/d/x.html"});
}

}  // namespace
