#include "html/link_element_table.h"

#include <gtest/gtest.h>

namespace {

// A refresh's content, the URL a browser goes to (empty: none), and the
// content with that URL replaced by "N".
struct RefreshCase {
    const char* content;
    const char* link;
    const char* replaced;
};

TEST(LinkOfValueTest, ReadsTheUrlOfARefreshAsBrowsersDo) {
    const LinkAttribute refresh{"content", true, true};
    const RefreshCase cases[] = {
        {"0; url=a.html", "a.html", "0; url=N"},
        {" 5 ,URL = 'a b.html' x", "a b.html", " 5 ,URL = 'N' x"},
        {"1.5 uri.html", "uri.html", "1.5 N"},
        {".5;url=\"a.html", "a.html", ".5;url=\"N"},
        {"0 a.html  ", "a.html", "0 N  "},
        // Without "url=" the rest is the URL, quotes and all.
        {"0;urx=a.html", "urx=a.html", "0;N"},
        {"0; url a.html", "url a.html", "0; N"},
        // No URL: the page refreshes itself, or no refresh at all.
        {"30", "", "30"},
        {"0; url=", "", "0; url="},
        {"0; url=''", "", "0; url=''"},
        {"soon; url=a.html", "", "soon; url=a.html"},
        {"0x; url=a.html", "", "0x; url=a.html"},
    };
    for (const RefreshCase& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(LinkOfValue(refresh, c.content), c.link);
        EXPECT_EQ(ReplaceLinkOfValue(refresh, c.content, "N"), c.replaced);
    }
    // Any other attribute's value is its link.
    const LinkAttribute href{"href", true};
    EXPECT_EQ(LinkOfValue(href, "0; url=a.html"), "0; url=a.html");
    EXPECT_EQ(ReplaceLinkOfValue(href, "0; url=a.html", "N"), "N");
}

}  // namespace
