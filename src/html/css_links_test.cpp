#include "html/css_links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Addresses(std::string_view sheet) {
    std::vector<std::string> addresses;
    for (const CssLink& link : FindCssLinks(sheet)) {
        addresses.push_back(link.address);
    }
    return addresses;
}

using Links = std::vector<std::string>;

TEST(CssLinksTest, FindsTheAddressesABrowserWouldFetch) {
    const struct {
        const char* label;
        std::string sheet;
        Links expected;
    } cases[] = {
        {"unquoted", "p{background:url(img/a.png)}", {"img/a.png"}},
        {"quoted and spaced",
         "p{background:URL(  'b c.png'  ) ; cursor: url(\"c.cur\"),auto}",
         {"b c.png", "c.cur"}},
        {"imports",
         "@import 'one.css';@IMPORT url(two.css) screen;@import\n\"three.css\";",
         {"one.css", "two.css", "three.css"}},
        {"font sources",
         "@font-face{src:url(f.woff2) format('woff2'),url(f.woff)}",
         {"f.woff2", "f.woff"}},
        {"escapes",
         "a{b:url(sp\\ ace\\29 .png)} c{d:url('\\71 uote\\'d.png')}",
         {"sp ace).png", "quote'd.png"}},
        {"string continued over a line", "a{b:url('long\\\nname.png')}", {"longname.png"}},
        {"escaped function name", "a{b:\\75rl(e.png)}", {"e.png"}},
        {"inert references",
         "a{b:url(data:image/png;base64,AAA=);c:url('javascript:x()');d:url( );e:url(#f);"
         "g:url(about:blank);h:url('')}",
         {}},
        {"comments and strings hide links",
         "/* url(no.png) */ a{content:'url(no2.png)'} b{c:url(/*yes*/.png)}",
         {"/*yes*/.png"}},
        {"other functions and names", "a{b:myurl(x.png);c:-url(y.png);d:1url(z.png)}", {}},
        {"a string after anything but @import", "a{content:\"x.png\"} @media 'y.css' {}", {}},
        {"broken: unclosed comment", "a{b:url(a.png)} /* c{d:url(b.png)}", {"a.png"}},
        {"broken: line end in a string", "@import 'a.css\n; b{c:url(b.png)}", {"b.png"}},
        {"broken: url without its )", "a{b:url(a.png", {"a.png"}},
        {"broken: quote inside an unquoted url", "a{b:url(a\"b.png) c:url(c.png)}", {"c.png"}},
        {"broken: space inside an unquoted url", "a{b:url(a b.png)}c{d:url(d.png)}", {"d.png"}},
        {"broken: unclosed string at the end", "@import 'last.css", {"last.css"}},
        {"broken: lone backslash at the end", "a{b:url(x\\", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Addresses(c.sheet), c.expected) << c.label;
    }
}

TEST(CssLinksTest, RewritingChangesOnlyTheAddressesItIsGiven) {
    const std::string sheet =
        "@import \"a.css\";\n/* url(b.png) */\np { background: url( b.png ) no-repeat;\n"
        "  content: 'b.png'; cursor: url('http://h/c.cur'), auto; }\n"
        "q { background: url(keep.png) }";
    const std::string rewritten = RewriteCssLinks(sheet, [](const std::string& address) {
        if (address == "a.css") {
            return std::string("local/a.css");
        }
        if (address == "b.png") {
            return std::string("img/b (1).png");
        }
        if (address == "http://h/c.cur") {
            return std::string("../h/it's.cur");
        }
        return std::string();
    });
    EXPECT_EQ(rewritten,
              "@import \"local/a.css\";\n/* url(b.png) */\np { background: url( img/b\\20 \\28 "
              "1\\29 .png ) no-repeat;\n  content: 'b.png'; cursor: url('../h/it\\27 s.cur'), "
              "auto; }\nq { background: url(keep.png) }");
    EXPECT_EQ(Addresses(rewritten),
              (Links{"local/a.css", "img/b (1).png", "../h/it's.cur", "keep.png"}));
}

// A link written back cannot end the style element or attribute around it.
TEST(CssLinksTest, RewrittenAddressesHoldNoMarkup) {
    const std::string markup = "</style><svg onload=\"alert('1')\">";
    const std::string rewritten =
        RewriteCssLinks("a{background:url(x.png)} b{background:url(\"y.png\")} @import 'z.css';",
                        [&](const std::string&) { return markup; });
    EXPECT_EQ(rewritten.find_first_of("<>"), std::string::npos) << rewritten;
    EXPECT_EQ(Addresses(rewritten), (Links{markup, markup, markup}));
}

}  // namespace
