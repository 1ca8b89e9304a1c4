#include "protocol/cookie_jar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/url.h"

namespace {

constexpr std::int64_t kNow = 1700000000;

CUrl Parsed(const std::string& text) {
    CUrl url;
    EXPECT_TRUE(url.Parse(text)) << text;
    return url;
}

struct Case {
    const char* setBy;
    const char* setCookie;
    const char* requestUrl;
    const char* expected;
};

TEST(CookieJarTest, SendsACookieOnlyWhereItsDomainPathAndSchemeMatch) {
    const Case cases[] = {
        // Host-only by default: not for subdomains or other hosts.
        {"http://www.site.test/", "s=1", "http://www.site.test/any", "s=1"},
        {"http://www.site.test/", "s=1", "http://sub.www.site.test/", ""},
        {"http://www.site.test/", "s=1", "http://other.test/", ""},
        // A Domain above the host covers its subdomains, dot or not.
        {"http://www.site.test/", "s=1; Domain=.site.test", "http://img.site.test/", "s=1"},
        {"http://www.site.test/", "s=1; Domain=SITE.test", "http://site.test/", "s=1"},
        // Never for another site, a public suffix, a TLD or past an address.
        {"http://www.site.test/", "s=1; Domain=other.test", "http://other.test/", ""},
        {"http://a.example.co.uk/", "s=1; Domain=co.uk", "http://b.example.co.uk/", ""},
        {"http://a.example.co.uk/", "s=1; Domain=example.co.uk", "http://b.example.co.uk/", "s=1"},
        {"http://a.site.com/", "s=1; Domain=com", "http://b.site.com/", ""},
        {"http://127.0.0.1/", "s=1; Domain=0.0.1", "http://127.0.0.1/", ""},
        {"http://127.0.0.1:8080/", "s=1", "http://127.0.0.1:9090/", "s=1"},
        // Paths: the default is the folder of the request; "/docs" is no prefix of "/docsx".
        {"http://h.test/docs/a.html", "s=1", "http://h.test/docs/b/c", "s=1"},
        {"http://h.test/docs/a.html", "s=1", "http://h.test/", ""},
        {"http://h.test/", "s=1; Path=/docs", "http://h.test/docsx", ""},
        {"http://h.test/", "s=1; Path=/docs", "http://h.test/docs", "s=1"},
        // Secure only over https, and never set over plain http.
        {"https://h.test/", "s=1; Secure", "http://h.test/", ""},
        {"https://h.test/", "s=1; Secure; HttpOnly", "https://h.test/", "s=1"},
        {"http://h.test/", "s=1; Secure", "https://h.test/", ""},
        // Expiry: Max-Age wins over Expires; past or 0 means gone.
        {"http://h.test/", "s=1; Max-Age=0", "http://h.test/", ""},
        {"http://h.test/", "s=1; Expires=Thu, 01 Jan 1970 00:00:01 GMT", "http://h.test/", ""},
        {"http://h.test/", "s=1; Expires=Thu, 01 Jan 1970 00:00:01 GMT; Max-Age=60",
         "http://h.test/", "s=1"},
        // Malformed lines are dropped.
        {"http://h.test/", "novalue", "http://h.test/", ""},
        {"http://h.test/", "=v", "http://h.test/", ""},
    };
    for (const Case& c : cases) {
        CCookieJar jar;
        jar.Store(Parsed(c.setBy), {c.setCookie}, kNow);
        EXPECT_EQ(jar.HeaderFor(Parsed(c.requestUrl), kNow), c.expected)
            << c.setBy << " sets " << c.setCookie << ", asked by " << c.requestUrl;
    }
}

TEST(CookieJarTest, ReplacesByNameDomainAndPathAndOrdersLongerPathsFirst) {
    CCookieJar jar;
    const CUrl url = Parsed("http://h.test/a/b/page");
    jar.Store(url, {"root=1; Path=/", "deep=2; Path=/a/b", "root=3; Path=/"}, kNow);
    EXPECT_EQ(jar.HeaderFor(url, kNow), "deep=2; root=3");
    jar.Store(url, {"deep=gone; Path=/a/b; Max-Age=-1"}, kNow);
    EXPECT_EQ(jar.HeaderFor(url, kNow), "root=3");
    jar.Store(url, {"late=1; Max-Age=10"}, kNow);
    EXPECT_EQ(jar.HeaderFor(url, kNow + 11), "root=3");
}

TEST(CookieJarTest, NetscapeFilesRoundTripAndSkipWhatIsNoCookie) {
    CCookieJar jar;
    ASSERT_TRUE(
        jar.LoadNetscapeText("# Netscape HTTP Cookie File\n"
                             "\n"
                             ".site.test\tTRUE\t/\tFALSE\t0\tsession\tabc\r\n"
                             "#HttpOnly_h.test\tFALSE\t/p\tTRUE\t2000000000\tsec\tx y\n"
                             "gone.test\tFALSE\t/\tFALSE\t1\told\tv\n"
                             "too\tfew\tfields\n"));
    EXPECT_EQ(jar.HeaderFor(Parsed("http://www.site.test/"), kNow), "session=abc");
    EXPECT_EQ(jar.HeaderFor(Parsed("https://h.test/p/q"), kNow), "sec=x y");
    EXPECT_EQ(jar.HeaderFor(Parsed("http://h.test/p/q"), kNow), "");
    EXPECT_EQ(jar.HeaderFor(Parsed("http://gone.test/"), kNow), "");

    const std::string saved = jar.FormatNetscapeText(kNow);
    EXPECT_EQ(saved,
              "# Netscape HTTP Cookie File\n"
              ".site.test\tTRUE\t/\tFALSE\t0\tsession\tabc\n"
              "#HttpOnly_h.test\tFALSE\t/p\tTRUE\t2000000000\tsec\tx y\n");
    CCookieJar reloaded;
    ASSERT_TRUE(reloaded.LoadNetscapeText(saved));
    EXPECT_EQ(reloaded.FormatNetscapeText(kNow), saved);
    EXPECT_FALSE(reloaded.LoadNetscapeFile("/nonexistent/cookies.txt"));
}

}  // namespace
