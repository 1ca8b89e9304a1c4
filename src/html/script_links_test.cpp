#include "html/script_links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/crawl_rules.h"
#include "html/link_extractor.h"
#include "support/memory_stream.h"

namespace {

using testing_support::MemoryStream;

TEST(ScriptLinksTest, OnlyStringsThatNameAFileOfAKnownKindAreReferences) {
    const struct {
        const char* text;
        bool reference;
    } cases[] = {
        {"index.html", true},
        {"../img/plus.PNG", true},
        {"/search/all_0.js?v=2#x", true},
        {"https://h/a.css", true},
        {"//h/data.json", true},
        {"doc.pdf", false},
        {"statistics.NormalDist.pdf", false},
        {"xml.etree.ElementTree.XML", false},
        {"a.mp4", false},
        {"fonts/a.woff2", true},
        {"searchindex", false},
        {".png", false},
        {"dir/.png", false},
        {"a.png/", false},
        {"?q=a.png", false},
        {"a.exe", false},
        {"text/css", false},
        {"a b.html", false},
        {"<img src=a.png>", false},
        {"javascript:go('a.html')", false},
        {"data:image/png;base64,a.png", false},
        {"mailto:a@h.html", false},
        {"a\\b.png", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LooksLikeFileReference(c.text), c.reference) << c.text;
    }
}

TEST(ScriptLinksTest, ScriptTypesAreThoseThatRunAsJavaScript) {
    for (const char* type : {"", " text/javascript ", "TEXT/JAVASCRIPT", "application/ecmascript",
                             "module", "text/javascript1.5"}) {
        EXPECT_TRUE(IsJavaScriptType(type)) << type;
    }
    for (const char* type : {"text/template", "application/json", "text/x-mathjax-config",
                             "text/javascript; charset=utf-8", "importmap"}) {
        EXPECT_FALSE(IsJavaScriptType(type)) << type;
    }
}

class ScriptReferencesTest : public ::testing::Test {
protected:
    ScriptReferencesTest() {
        rules.SetScope("h", "/d/");
        extractor.SetPageRequisites(true);
    }

    static CLinkItem Item(const char* url) {
        CUrl parsed;
        parsed.Parse(url);
        return CLinkItem(parsed, 1, true);
    }

    std::vector<std::string> Found() const {
        std::vector<std::string> urls;
        for (const CFoundLinks::Link link : extractor.GetFoundLinks()) {
            urls.emplace_back(link.urlText);
        }
        return urls;
    }

    CCrawlRules rules;
    CLinkExtractor extractor{rules};
};

// Inline scripts resolve against the page's base; scripts of other types,
// and those with a source of their own, name nothing. Other hosts and
// folders outside the scope are left alone, and the page keeps its scripts.
TEST_F(ScriptReferencesTest, InlineScriptsOfThePageNameRequisitesInScope) {
    const struct {
        std::string page;
        std::vector<std::string> found;
    } cases[] = {
        {R"(<script>Search.loadIndex("searchindex.js")</script>)", {"http://h/d/searchindex.js"}},
        {R"(<script type="text/javascript">x = {url:"sub/a.html", u:"sub/a.html"}</script>)",
         {"http://h/d/sub/a.html"}},
        {R"(<base href="/d/api/"><script>go('b.html')</script>)", {"http://h/d/api/b.html"}},
        {R"(<script type=module>go('m.json')</script>)", {"http://h/d/m.json"}},
        {R"(<script>go('/other/a.html', 'http://g/d/a.html', 'no file')</script>)", {}},
        {R"(<script type="text/template">go('t.html')</script>)", {}},
        {R"(<script src="s.js">go('inline.html')</script>)", {"http://h/d/s.js"}},
        {R"(<script>// go('c.html')
             go(/x'/, 'r.png')</script>)",
         {"http://h/d/r.png"}},
        // Read from the parser's tree: the page's markup is left to it.
        {R"(<select><style></style></select><script>go('t.png')</script>)", {"http://h/d/t.png"}},
        {R"(<select><style></style></select><script type=x>go('t.png')</script>)", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        MemoryStream stream(c.page);
        ASSERT_TRUE(extractor.ExtractLinks(stream, "http://h/d/p.html", Item("http://h/d/p.html")));
        EXPECT_EQ(Found(), c.found);
        if (!c.page.starts_with("<base") && !c.page.starts_with("<script src")) {
            EXPECT_EQ(stream.Bytes(), c.page);
        }
    }
}

// A script file's references resolve against its own URL, as the site's
// folders keep their layout in the mirror; its bytes stay as they were.
TEST_F(ScriptReferencesTest, ScriptFilesNameRequisitesBesideThemselves) {
    const std::string menudata =
        R"(var menudata={children:[{text:"Main Page",url:"index.html"},)"
        R"({text:"Files",url:"files.html",children:[{text:"a.h",url:"a_8h.html"}]}]})";
    MemoryStream stream(menudata);
    ASSERT_TRUE(extractor.ExtractScriptLinks(stream, "http://h/d/api/menudata.js",
                                             Item("http://h/d/api/menudata.js")));
    EXPECT_EQ(Found(),
              (std::vector<std::string>{"http://h/d/api/index.html", "http://h/d/api/files.html",
                                        "http://h/d/api/a_8h.html"}));
    EXPECT_EQ(stream.Bytes(), menudata);

    MemoryStream sidebar(
        "s.replace(/minus\\.png$/, 'plus.png'); img = '../x/../up.gif';"
        "h = '<img src=\"' + relpath + 'sync_on.png\" title=\"' + t + '\"/>'");
    ASSERT_TRUE(extractor.ExtractScriptLinks(sidebar, "http://h/d/_static/sidebar.js",
                                             Item("http://h/d/_static/sidebar.js")));
    EXPECT_EQ(Found(), (std::vector<std::string>{"http://h/d/_static/plus.png", "http://h/d/up.gif",
                                                 "http://h/d/_static/sync_on.png"}));
}

}  // namespace
