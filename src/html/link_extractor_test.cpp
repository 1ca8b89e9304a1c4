#include "html/link_extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_stream.h"
#include "engine/crawl_rules.h"
#include "support/memory_stream.h"
#include "support/temp_folder.h"

namespace {

using testing_support::MemoryStream;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
using namespace std::string_literals;

constexpr const char* kPageUrl = "http://h/d/p.html";

CLinkItem PageItem(std::int32_t level = 0, bool internal = true) {
    CUrl url;
    url.Parse(kPageUrl);
    return CLinkItem(url, level, internal);
}

// "url level internal|external", so that a failure shows the whole list.
std::vector<std::string> Describe(const CFoundLinks& links) {
    std::vector<std::string> described;
    for (const CFoundLinks::Link link : links) {
        described.push_back(std::string(link.urlText) + " " + std::to_string(link.level) +
                            (link.internal ? " internal" : " external"));
    }
    return described;
}

// What a parser reads back from a saved page: the attribute of every element
// of one name, in page order.
class CAttributeReader : public CHtmlDocument {
public:
    CAttributeReader(std::string element, std::string attribute)
        : m_element(std::move(element)), m_attribute(std::move(attribute)) {}
    std::vector<std::string> values;

protected:
    void OnNode(CHtmlNode& node) override {
        if (node.GetNodeName() == m_element) {
            values.push_back(node.GetAttribute(m_attribute));
        }
    }

private:
    std::string m_element;
    std::string m_attribute;
};

std::vector<std::string> SavedValues(const std::string& saved, const std::string& element,
                                     const std::string& attribute) {
    MemoryStream stream(saved);
    CAttributeReader reader(element, attribute);
    EXPECT_TRUE(reader.Load(stream));
    reader.Walk();
    return reader.values;
}

// A page's markup, the element and attribute whose saved value is checked,
// that value, and the links found as Describe prints them.
struct LinkCase {
    std::string markup;
    std::string element;
    std::string attribute;
    std::string saved;
    std::vector<std::string> links;
};

class LinkExtractorTest : public ::testing::Test {
protected:
    LinkExtractorTest() { rules.SetScope("h"); }

    // Runs the extractor over the page saved in a file, as a crawl does, and
    // returns the file as it was written back.
    std::string Extract(const std::string& page, const CLinkItem& item = PageItem(),
                        const std::string& base = kPageUrl) {
        const std::string path = folder.File("p.html");
        WriteFile(path, page);
        CFileStream stream;
        stream.Open(path, CFileStream::modeReadWrite);
        EXPECT_TRUE(extractor.ExtractLinks(stream, base, item));
        stream.Close();
        return ReadFile(path);
    }
    std::vector<std::string> Links() const { return Describe(extractor.GetFoundLinks()); }

    TempFolder folder;
    CCrawlRules rules;
    CLinkExtractor extractor{rules};
};

TEST_F(LinkExtractorTest, EachLinkIsMadeAbsoluteAndJudged) {
    const LinkCase cases[] = {
        {"<a href='../x.html'>", "a", "href", "http://h/x.html", {"http://h/x.html 1 internal"}},
        {"<A HREF='Y.html'>", "a", "href", "http://h/d/Y.html", {"http://h/d/Y.html 1 internal"}},
        {"<a href=' \n x.html\t'>",
         "a",
         "href",
         "http://h/d/x.html",
         {"http://h/d/x.html 1 internal"}},
        {"<a href='#top'>", "a", "href", "http://h/d/p.html#top", {"http://h/d/p.html 1 internal"}},
        {"<a href='HTTPS://H/s'>", "a", "href", "https://h/s", {"https://h/s 1 internal"}},
        {"<img src='/i.png?x=1&amp;y=2'>",
         "img",
         "src",
         "http://h/i.png?x=1&y=2",
         {"http://h/i.png?x=1&y=2 1 internal"}},
        // Another host: a resource starts an external chain, an anchor is out of scope.
        {"<img src='http://g/i.png'>",
         "img",
         "src",
         "http://g/i.png",
         {"http://g/i.png 0 external"}},
        {"<a href='//g/p.html'>", "a", "href", "http://g/p.html", {}},
        // Not downloadable: left as they were.
        {"<iframe src='about:blank'>", "iframe", "src", "about:blank", {}},
        {"<a href='mailto:a@h'>", "a", "href", "mailto:a@h", {}},
        {"<a href='javascript:go(1)'>", "a", "href", "javascript:go(1)", {}},
        {"<a href='gopher://h/x'>", "a", "href", "gopher://h/x", {}},
        {"<a href='ftp://h/dir/'>", "a", "href", "ftp://h/dir/", {}},
        {"<a href=''>", "a", "href", "", {}},
        {"<div href='x.html'>", "div", "href", "x.html", {}},
        {"<img href='x.html'>", "img", "href", "x.html", {}},
        // An ftp file is a resource even from an anchor.
        {"<a href='ftp://h/dir/f.zip'>",
         "a",
         "href",
         "ftp://h/dir/f.zip",
         {"ftp://h/dir/f.zip 1 internal"}},
        {"<param name='Movie' value='clip.swf'>",
         "param",
         "value",
         "http://h/d/clip.swf",
         {"http://h/d/clip.swf 1 internal"}},
        {"<param name=SRC value='clip.mov'>",
         "param",
         "value",
         "http://h/d/clip.mov",
         {"http://h/d/clip.mov 1 internal"}},
        {"<param name='quality' value='clip.swf'>", "param", "value", "clip.swf", {}},
        {"<link href=s.css>", "link", "href", "http://h/d/s.css", {"http://h/d/s.css 1 internal"}},
        // A link element leads to a resource only when its relation says so;
        // any other one is an anchor, out of scope on another host.
        {"<link rel='Shortcut  ICON' href='//g/i.ico'>",
         "link",
         "href",
         "http://g/i.ico",
         {"http://g/i.ico 0 external"}},
        {"<link rel='preload stylesheet' href='//g/s.css'>",
         "link",
         "href",
         "http://g/s.css",
         {"http://g/s.css 0 external"}},
        {"<link rel=next href='//g/n.html'>", "link", "href", "http://g/n.html", {}},
        {"<link rel='alternate icons' href='//g/i.ico'>", "link", "href", "http://g/i.ico", {}},
        {"<link href='//g/n.html'>", "link", "href", "http://g/n.html", {}},
        {"<body background=b.gif>",
         "body",
         "background",
         "http://h/d/b.gif",
         {"http://h/d/b.gif 1 internal"}},
        {"<table><tr background=r.gif><th background=h.gif><td background=c.gif></table>",
         "td",
         "background",
         "http://h/d/c.gif",
         {"http://h/d/r.gif 1 internal", "http://h/d/h.gif 1 internal",
          "http://h/d/c.gif 1 internal"}},
        {"<frameset><frame src=f.html></frameset>",
         "frame",
         "src",
         "http://h/d/f.html",
         {"http://h/d/f.html 1 internal"}},
        {"<script src=j.js></script>",
         "script",
         "src",
         "http://h/d/j.js",
         {"http://h/d/j.js 1 internal"}},
        {"<embed src=e.swf>", "embed", "src", "http://h/d/e.swf", {"http://h/d/e.swf 1 internal"}},
        {"<object data=o.swf></object>",
         "object",
         "data",
         "http://h/d/o.swf",
         {"http://h/d/o.swf 1 internal"}},
        // An image map's area and a refresh's target are anchors; SVG images
        // and uses, and a table's background, are resources.
        {"<map><area href='../m.html'></map>",
         "area",
         "href",
         "http://h/m.html",
         {"http://h/m.html 1 internal"}},
        {"<table background=t.gif></table>",
         "table",
         "background",
         "http://h/d/t.gif",
         {"http://h/d/t.gif 1 internal"}},
        {"<svg><image href=i.svg xlink:href=old.svg /><use href='//g/s.svg#i'/></svg>",
         "image",
         "href",
         "http://h/d/i.svg",
         {"http://h/d/i.svg 1 internal", "http://g/s.svg 0 external"}},
        {"<svg><image href='' xlink:href=x.png /></svg>",
         "image",
         "xlink:href",
         "http://h/d/x.png",
         {"http://h/d/x.png 1 internal"}},
        {"<meta http-equiv=Refresh content=\"0; URL='../n.html?a=1' \">",
         "meta",
         "content",
         "0; URL='http://h/n.html?a=1'",
         {"http://h/n.html?a=1 1 internal"}},
        {"<meta http-equiv=refresh content='5,url = \"//g/n.html\"'>",
         "meta",
         "content",
         "5,url = \"http://g/n.html\"",
         {}},
        // A meta element holds no link unless it is a refresh.
        {"<meta name=refresh content='0; url=x.html'>", "meta", "content", "0; url=x.html", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.markup);
        const std::string saved = Extract(c.markup);
        EXPECT_EQ(SavedValues(saved, c.element, c.attribute), std::vector<std::string>{c.saved})
            << saved;
        EXPECT_EQ(Links(), c.links);
    }
}

// Browsers resolve every link of a page against its first base with an
// href, the links before it too, whether the page keeps its own markup or
// is kept as served (raw text in a select leaves its reading uncertain).
TEST_F(LinkExtractorTest, TheFirstBaseRedirectsEveryLinkOfThePage) {
    const std::string page =
        "<head><link rel=stylesheet href=early.css><base href='http://g/b/'></head>"
        "<body><a href=a.html>a</a><img src=i.png><base href=/root/><img src=r.png></body>";
    for (const std::string end : {"", "<select><style></style></select>"}) {
        SCOPED_TRACE(end);
        const std::string saved = Extract(page + end);
        EXPECT_EQ(extractor.KeptOwnMarkup(), end.empty());
        if (end.empty()) {
            EXPECT_EQ(SavedValues(saved, "base", "href"), (std::vector<std::string>{"", ""}))
                << saved;
            EXPECT_EQ(SavedValues(saved, "a", "href"),
                      std::vector<std::string>{"http://g/b/a.html"});
        } else {
            EXPECT_EQ(saved, page + end);
        }
        EXPECT_EQ(Links(), (std::vector<std::string>{"http://g/b/early.css 0 external",
                                                     "http://g/b/i.png 0 external",
                                                     "http://g/b/r.png 0 external"}));
    }
    // A first base whose href is empty or names no URL leaves the page its own base.
    for (const std::string first : {"<base href>", "<base href='javascript:x'>"}) {
        SCOPED_TRACE(first);
        Extract("<img src=a.png>" + first + "<base href='http://g/b/'><img src=b.png>");
        EXPECT_EQ(Links(), (std::vector<std::string>{"http://h/d/a.png 1 internal",
                                                     "http://h/d/b.png 1 internal"}));
    }
}

// A URL keeps at most 1023 bytes, so that it can be stored in the project file.
TEST_F(LinkExtractorTest, ValuesBeyond1024BytesAreNoLinks) {
    const std::string fits = "http://h/" + std::string(1023 - 9, 'a');
    const std::string page = "<img src='" + fits + "'><img src='" + fits + "b'><img src='" +
                             std::string(1025, 'c') + "'>";
    const std::string saved = Extract(page);
    EXPECT_EQ(SavedValues(saved, "img", "src"),
              (std::vector<std::string>{fits, fits + "b", std::string(1025, 'c')}));
    EXPECT_EQ(Links(), std::vector<std::string>{fits + " 1 internal"});
}

TEST_F(LinkExtractorTest, LevelFollowsThePageItemAndTheHost) {
    const struct {
        CLinkItem page;
        std::vector<std::string> links;
    } cases[] = {
        {PageItem(3, true), {"http://h/i.png 4 internal", "http://g/i.png 0 external"}},
        {PageItem(3, false), {"http://h/i.png 4 external"}},
        {PageItem(0x7fffffff, true),
         {"http://h/i.png 2147483647 internal", "http://g/i.png 0 external"}},
    };
    for (const auto& c : cases) {
        Extract("<img src=/i.png><img src=http://g/i.png>", c.page);
        EXPECT_EQ(Links(), c.links);
    }
}

TEST_F(LinkExtractorTest, OnlyAnchorsObeyScopeAndLevelLimits) {
    rules.SetLevels(1, 0);
    rules.SetScope("h", "/d/");
    const std::string page =
        "<a href=/d/in.html></a><a href=/out.html></a><img src=/out.png>"
        "<a href=ftp://h/f.zip></a>";
    Extract(page, PageItem(0));
    EXPECT_EQ(Links(), (std::vector<std::string>{"http://h/d/in.html 1 internal",
                                                 "http://h/out.png 1 internal",
                                                 "ftp://h/f.zip 1 internal"}));
    Extract(page, PageItem(1));
    EXPECT_EQ(Links(), (std::vector<std::string>{"http://h/out.png 2 internal",
                                                 "ftp://h/f.zip 2 internal"}));
}

// Resources of resources are fetched whatever the levels say, so their chain
// is cut on a count of its own; an anchor starts that count afresh.
TEST_F(LinkExtractorTest, AChainOfResourcesEndsAtItsOwnDepth) {
    rules.SetLevels(1, 0);
    const struct {
        std::uint8_t pageDepth;
        std::vector<std::string> links;
    } cases[] = {
        {0, {"http://h/d/a.html 1 internal depth 0", "http://h/d/i.png 1 internal depth 1"}},
        {kMaxRequisiteDepth - 1,
         {"http://h/d/a.html 1 internal depth 0", "http://h/d/i.png 1 internal depth 10"}},
        {kMaxRequisiteDepth, {"http://h/d/a.html 1 internal depth 0"}},
    };
    for (const auto& c : cases) {
        CLinkItem page = PageItem(0);
        page.SetRequisiteDepth(c.pageDepth);
        Extract("<a href=a.html></a><img src=i.png>", page);
        std::vector<std::string> links = Links();
        for (std::size_t i = 0; i < links.size(); ++i) {
            links[i] += " depth " + std::to_string(extractor.GetFoundLinks()[i].requisiteDepth);
        }
        EXPECT_EQ(links, c.links) << int{c.pageDepth};
    }
}

TEST_F(LinkExtractorTest, PageWhoseLinksAllFailIsStillWrittenBackAbsolute) {
    rules.SetScope("elsewhere");
    const std::string saved =
        Extract("<a href=a.html>a</a><img src=http://g/i.png><a href=mailto:x@h>m</a>",
                PageItem(0, false), "  http://h/d/p.html\n");
    EXPECT_TRUE(Links().empty());
    EXPECT_EQ(SavedValues(saved, "a", "href"),
              (std::vector<std::string>{"http://h/d/a.html", "mailto:x@h"}));
    EXPECT_EQ(SavedValues(saved, "img", "src"), std::vector<std::string>{"http://g/i.png"});
}

TEST_F(LinkExtractorTest, SavedFileIsCutToTheWrittenPage) {
    const std::string text(20000, 'A');
    const std::string saved =
        Extract("<base href=\"http://h/d/\"><p><a href=x.html>x</a>" + text + "</p>");
    EXPECT_EQ(saved, "<base><p><a href=http://h/d/x.html>x</a>" + text + "</p>");
}

// A page keeps its text and its own markup whatever its character set, its
// links made absolute; in another character set than UTF-8 they are written
// in ASCII.
TEST_F(LinkExtractorTest, SavedPagesKeepTheirText) {
    const std::string text =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xE6\x97\xA5";
    const std::string latin = "Gr\xFC\xDF";
    const struct {
        std::string page;
        std::string title;
        std::string background;
    } cases[] = {
        {"<meta charset=utf-8><title>" + text + "</title><body background='\xC3\xA9.gif'>" +
             "<a href='caf\xC3\xA9.html'>" + text + "</a>",
         text, "http://h/d/\xC3\xA9.gif"},
        {"<meta charset=iso-8859-1><title>" + latin + "</title><body background='\xE9.gif'>" +
             "<a href='caf\xE9.html'>" + latin + "</a>",
         "Gr\xC3\xBC\xC3\x9F", "http://h/d/%C3%A9.gif"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string saved = Extract(c.page);
        EXPECT_TRUE(extractor.KeptOwnMarkup());
        MemoryStream stream(saved);
        CHtmlDocument again;
        ASSERT_TRUE(again.Load(stream));
        EXPECT_EQ(again.GetTitle(), c.title) << saved;
        EXPECT_EQ(again.GetBody().FindChild("a").GetContent(), c.title);
        EXPECT_EQ(again.GetBody().GetAttribute("background"), c.background);
        CUrl written;
        ASSERT_TRUE(written.Parse(SavedValues(saved, "a", "href").at(0)));
        EXPECT_EQ(written.GetPath(), "/d/caf\xC3\xA9.html");
        ASSERT_EQ(extractor.GetFoundLinks().size(), 2u);
        EXPECT_EQ(extractor.GetFoundLinks()[1].urlText, "http://h/d/caf\xC3\xA9.html");
    }
}

// A redirect may hand over a URL with raw bytes of another character set;
// links resolved against it must not stop the page from being written back.
TEST_F(LinkExtractorTest, BaseUrlThatIsNoUtf8IsEscaped) {
    const std::string text(100000, 'x');
    const std::string saved =
        Extract("<meta charset=utf-8><p>" + text + "</p><table><td background=b.gif></table>",
                PageItem(), "http://h/caf\xE9/\xC3\xA9/p.html");
    const std::string link = "http://h/caf%E9/\xC3\xA9/b.gif";
    EXPECT_EQ(SavedValues(saved, "td", "background"), std::vector<std::string>{link});
    EXPECT_EQ(Links(), std::vector<std::string>{link + " 1 internal"});
    MemoryStream stream(saved);
    CHtmlDocument again;
    ASSERT_TRUE(again.Load(stream));
    EXPECT_EQ(again.GetBody().FindChild("p").GetContent(), text);
}

// The library stops at 256 levels by default and would keep only what came
// before; unclosed font tags are how real pages get that deep.
TEST_F(LinkExtractorTest, LinksBelowDeepNestingAreFoundAndKept) {
    std::string fonts;
    for (int i = 0; i < 300; ++i) {
        fonts += "<font>";
    }
    const std::string saved = Extract("<body>" + fonts + "<a href=deep.html>d</a><p>end</p>");
    EXPECT_EQ(Links(), std::vector<std::string>{"http://h/d/deep.html 1 internal"});
    EXPECT_EQ(SavedValues(saved, "a", "href"), std::vector<std::string>{"http://h/d/deep.html"});
    EXPECT_NE(saved.find("<p>end</p>"), std::string::npos);
}

// Pages keep every byte but the values that change, each written in its own
// form; a page that cannot be read with certainty keeps the bytes it was
// served with, and its links are found in the parser's tree.
struct OwnMarkupCase {
    std::string markup;
    // The page as written back; empty when it is kept as served.
    std::string kept;
    std::size_t links;
};

TEST_F(LinkExtractorTest, PagesKeepTheirOwnMarkupUnlessTheyCannotBeReadWithCertainty) {
    const OwnMarkupCase cases[] = {
        {"<A HREF=x.html TITLE='t'>x</A>\r\n<!-- <a href=c.html> --><p>&nbsp;</p>",
         "<A HREF=http://h/d/x.html TITLE='t'>x</A>\r\n<!-- <a href=c.html> --><p>&nbsp;</p>", 1},
        {"<img src = \"q?a=1&amp;b=2&c=3\" alt=\"&lt;\">",
         "<img src = \"http://h/d/q?a=1&amp;b=2&amp;c=3\" alt=\"&lt;\">", 1},
        {"<script>document.write(\"<a href='s.html'>\")</script><a href='t.html'>",
         "<script>document.write(\"<a href='s.html'>\")</script><a href='http://h/d/t.html'>", 1},
        {"<base href=\"http://h/x/\" target=_top><a href=y.html href=z.html>",
         "<base target=_top><a href=http://h/x/y.html href=z.html>", 1},
        {"<base href=\"http://h/x/\"target=_top href=/z/><a href=y.html>",
         "<base target=_top><a href=http://h/x/y.html>", 1},
        {"<base x=a href=\"http://h/x/\"/><a href=y.html>",
         "<base x=a /><a href=http://h/x/y.html>", 1},
        {"<base href=x/ =y><a href=y.html>", "<base / =y><a href=http://h/d/x/y.html>", 1},
        {"<meta charset=utf-8><a href=\"http://h/caf\xC3\xA9.html\">",
         "<meta charset=utf-8><a href=\"http://h/caf\xC3\xA9.html\">", 1},
        // A declared UTF-16 is read as UTF-8, as a browser reads it.
        {"<meta charset=utf-16><a href=x.html>", "<meta charset=utf-16><a href=http://h/d/x.html>",
         1},
        {"<p>no links</p>", "<p>no links</p>", 0},
        {"<a title href=\"x.html\"=y>", "<a title href=\"http://h/d/x.html\"=y>", 1},
        {"<a href=\"a\rb.html\">", "<a href=\"http://h/d/ab.html\">", 1},
        {"<a href=x.html>\0</a><a href=y.html>"s,
         "<a href=http://h/d/x.html>\0</a><a href=http://h/d/y.html>"s, 2},
        // A tag that the page ends in is no tag.
        {"<a href=\"x.html\"", "<a href=\"x.html\"", 0},
        // A page that is not UTF-8 and names no character set is windows-1252.
        {"<a href=\"caf\xE9.html\" title=\"\x80\">",
         "<a href=\"http://h/d/caf%C3%A9.html\" title=\"\x80\">", 1},
        // What cannot be read with certainty.
        {"<a href=\"x.html?&copy=1\">", "", 1},
        {"<meta charset=utf-8><a href=\"caf\xE9.html\">", "", 1},
        {"<meta charset=\"iso-2022-jp\"><a href=x.html>", "", 1},
        {"<a href=\"x.html?&copy=1\"><meta http-equiv=refresh content='0;url=n.html'>", "", 2},
    };
    for (const OwnMarkupCase& c : cases) {
        SCOPED_TRACE(c.markup);
        const std::string saved = Extract(c.markup);
        EXPECT_EQ(extractor.KeptOwnMarkup(), !c.kept.empty());
        EXPECT_EQ(saved, c.kept.empty() ? c.markup : c.kept);
        // What the crawl reads the page's robots meta tag from.
        EXPECT_EQ(extractor.TakeWrittenPage(), saved);
        EXPECT_EQ(Links().size(), c.links);
    }
}

// A byte-order mark decides a page's character set, then the server's
// header, then the page's own declaration; a link's path is requested in
// UTF-8, its query in the page's character set, and written back in ASCII.
TEST_F(LinkExtractorTest, LinksAreReadInThePagesCharacterSet) {
    const struct {
        const char* charset;
        std::string page;
        std::string link;
        std::string saved;
    } cases[] = {
        {"ISO-8859-15", "<meta charset=utf-8><a href='\xA4.html'>", "http://h/d/\xE2\x82\xAC.html",
         "<meta charset=utf-8><a href='http://h/d/%E2%82%AC.html'>"},
        {"latin1", "<a href=\x80.html>", "http://h/d/\xE2\x82\xAC.html",
         "<a href=http://h/d/%E2%82%AC.html>"},
        {"", "<meta http-equiv=Content-Type content='text/html; charset=L9'><a href=\xA4.html>",
         "http://h/d/\xE2\x82\xAC.html",
         "<meta http-equiv=Content-Type content='text/html; charset=L9'>"
         "<a href=http://h/d/%E2%82%AC.html>"},
        {"no-such-set", "<meta charset=iso-8859-15><a href=\xA4.html>",
         "http://h/d/\xE2\x82\xAC.html",
         "<meta charset=iso-8859-15><a href=http://h/d/%E2%82%AC.html>"},
        {"", "<a href=\xA4.html>", "http://h/d/\xC2\xA4.html", "<a href=http://h/d/%C2%A4.html>"},
        {"iso-8859-15", "\xEF\xBB\xBF<a href=\xE2\x82\xAC.html>", "http://h/d/\xE2\x82\xAC.html",
         "\xEF\xBB\xBF<a href=http://h/d/\xE2\x82\xAC.html>"},
        {"shift_jis", "<a href='\x93\xFA.html?\x93\xFA#\x93\xFA'>",
         "http://h/d/\xE6\x97\xA5.html?%93%FA",
         "<a href='http://h/d/%E6%97%A5.html?%93%FA#%E6%97%A5'>"},
        // Only the links of a style change; one that holds a character
        // reference is written anew, its text beyond ASCII as references.
        {"iso-8859-15", "<p style=\"font-family:'\xA4'; background:url(\xA4.png) \">",
         "http://h/d/\xE2\x82\xAC.png",
         "<p style=\"font-family:'\xA4'; background:url(http://h/d/%E2%82%AC.png) \">"},
        {"iso-8859-15", "<p style=\"font-family:&quot;\xA4&quot;; background:url(\xA4.png)\">",
         "http://h/d/\xE2\x82\xAC.png",
         "<p style=\"font-family:&quot;&#8364;&quot;; background:url(http://h/d/%E2%82%AC.png)\">"},
        // Bytes that are no text of the server's set leave the page to the
        // parser, which reads it in the set it finds.
        {"shift_jis", "<a href='\x82.html'>", "http://h/d/\xC2\x82.html", ""},
        // A page that is not read in its own markup is parsed in that set too.
        {"iso-8859-15", "<meta charset=utf-8><a href='\xA4.html'><select><style></style></select>",
         "http://h/d/\xE2\x82\xAC.html", ""},
    };
    extractor.SetPageRequisites(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const std::string path = folder.File("p.html");
        WriteFile(path, c.page);
        CFileStream stream;
        stream.Open(path, CFileStream::modeReadWrite);
        EXPECT_TRUE(extractor.ExtractLinks(stream, kPageUrl, PageItem(), c.charset));
        stream.Close();
        EXPECT_EQ(ReadFile(path), c.saved.empty() ? c.page : c.saved);
        ASSERT_EQ(extractor.GetFoundLinks().size(), 1u);
        EXPECT_EQ(extractor.GetFoundLinks()[0].urlText, c.link);
    }
}

TEST_F(LinkExtractorTest, FailuresAreReportedAndTheNextPageStartsClean) {
    Extract("<a href=a.html>");
    ASSERT_EQ(Links().size(), 1u);

    MemoryStream empty;
    EXPECT_FALSE(extractor.ExtractLinks(empty, kPageUrl, PageItem()));
    EXPECT_TRUE(Links().empty());

    // The links are found before the write fails.
    class CReadOnlyStream : public MemoryStream {
    public:
        using MemoryStream::MemoryStream;
        std::size_t Write(const void*, std::size_t) override {
            ThrowStreamException(ERR_FILE_STREAM_WRITE);
        }
    } readOnly("<img src=i.png>");
    EXPECT_FALSE(extractor.ExtractLinks(readOnly, kPageUrl, PageItem()));
    EXPECT_EQ(Links(), std::vector<std::string>{"http://h/d/i.png 1 internal"});
}

}  // namespace

TEST_F(LinkExtractorTest, PageRequisitesAreResourcesOnlyWhenTurnedOn) {
    const LinkCase cases[] = {
        {"<img src='a.png' srcset='a.png 1x, /b.png 2x,http://g/c.png 3x'>",
         "img",
         "srcset",
         "http://h/d/a.png 1x, http://h/b.png 2x,http://g/c.png 3x",
         {"http://h/d/a.png 1 internal", "http://h/b.png 1 internal", "http://g/c.png 0 external",
          "http://h/d/a.png 1 internal"}},
        {"<picture><source srcset='w.webp' type='image/webp'></picture>",
         "source",
         "srcset",
         "http://h/d/w.webp",
         {"http://h/d/w.webp 1 internal"}},
        {"<video src='v.mp4' poster='p.jpg'><source src='v.webm'><track src='t.vtt'></video>",
         "video",
         "poster",
         "http://h/d/p.jpg",
         {"http://h/d/v.mp4 1 internal", "http://h/d/p.jpg 1 internal",
          "http://h/d/v.webm 1 internal", "http://h/d/t.vtt 1 internal"}},
        {"<audio src='s.ogg'></audio>",
         "audio",
         "src",
         "http://h/d/s.ogg",
         {"http://h/d/s.ogg 1 internal"}},
        {"<input type=IMAGE src='go.png'>",
         "input",
         "src",
         "http://h/d/go.png",
         {"http://h/d/go.png 1 internal"}},
        {"<input type=text src='no.png'>", "input", "src", "no.png", {}},
        {"<div style='background:url(bg.png) ;cursor:url(\"/c.cur\"),auto'>",
         "div",
         "style",
         "background:url(http://h/d/bg.png) ;cursor:url(\"http://h/c.cur\"),auto",
         {"http://h/d/bg.png 1 internal", "http://h/c.cur 1 internal"}},
        // Each requisite once per page, inert references none.
        {"<p style='a:url(x.png);b:url(x.png);c:url(data:,x);d:url(#f)'>",
         "p",
         "style",
         "a:url(http://h/d/x.png);b:url(http://h/d/x.png);c:url(data:,x);d:url(#f)",
         {"http://h/d/x.png 1 internal"}},
        {"<style>@import 's.css'; p{background:url( 'i/bg.png' )}</style>",
         "style",
         "",
         "@import 'http://h/d/s.css'; p{background:url( 'http://h/d/i/bg.png' )}",
         {"http://h/d/s.css 1 internal", "http://h/d/i/bg.png 1 internal"}},
    };
    rules.SetLevels(0, 0);  // requisites ignore the level limits
    for (const auto& c : cases) {
        SCOPED_TRACE(c.markup);
        Extract(c.markup);
        EXPECT_EQ(Links().size(), c.markup.starts_with("<img") ? 1u : 0u);

        extractor.SetPageRequisites(true);
        const std::string saved = Extract(c.markup);
        extractor.SetPageRequisites(false);
        EXPECT_EQ(Links(), c.links);
        if (c.attribute.empty()) {
            EXPECT_NE(saved.find(c.saved), std::string::npos) << saved;
        } else {
            EXPECT_EQ(SavedValues(saved, c.element, c.attribute), std::vector{c.saved});
        }
    }
}

TEST_F(LinkExtractorTest, StyleSheetLinksResolveAgainstTheSheetAndOnlyTheirBytesChange) {
    const struct {
        std::string sheet;
        std::string saved;
        std::vector<std::string> links;
    } cases[] = {
        {"@import url(b.css);\n/* url(no.png) */ a{b:url(../f/x.woff2) format('woff2')}",
         "@import url(http://h/d/b.css);\n/* url(no.png) */ a{b:url(http://h/f/x.woff2) "
         "format('woff2')}",
         {"http://h/d/b.css 1 internal", "http://h/f/x.woff2 1 internal"}},
        {"@import 'p.css'; @import \"p.css\";",
         "@import 'http://h/d/p.css'; @import \"http://h/d/p.css\";",
         {"http://h/d/p.css 1 internal"}},
        // Broken syntax ends the sheet without reading past it; a string cut
        // off by the end is closed.
        {"a{b:url(\"x.png", "a{b:url(\"http://h/d/x.png\"", {"http://h/d/x.png 1 internal"}},
        {"a{b:url(x y.png)} c{", "a{b:url(x y.png)} c{", {}},
        {"", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sheet);
        const std::string path = folder.File("s.css");
        WriteFile(path, c.sheet);
        CFileStream stream;
        stream.Open(path, CFileStream::modeReadWrite);
        CUrl sheetUrl;
        sheetUrl.Parse("http://h/d/s.css");
        EXPECT_TRUE(extractor.ExtractStyleSheetLinks(stream, sheetUrl.GetSourceText(),
                                                     CLinkItem(sheetUrl, 0, true)));
        stream.Close();
        EXPECT_EQ(ReadFile(path), c.saved);
        EXPECT_EQ(Links(), c.links);
    }
}
