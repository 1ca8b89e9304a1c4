#include "base/url.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "base/errors.h"
#include "base/file_stream.h"
#include "support/temp_folder.h"

using namespace std::string_literals;

namespace {

struct EscapeCase {
    std::string text;
    UrlComponent component;
    std::string expected;
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class EscapeComponentTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeComponentTest, EscapesWhatTheComponentDoesNotKeep) {
    const EscapeCase& c = GetParam();
    const std::string escaped = CUrl::EscapeComponent(c.text, c.component);
    EXPECT_EQ(escaped, c.expected);
    // Escaping twice changes nothing: an escape is never escaped again.
    EXPECT_EQ(CUrl::EscapeComponent(escaped, c.component), escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, EscapeComponentTest,
    testing::Values(EscapeCase{"", UrlComponent::Path, ""},
                    EscapeCase{"aZ09-_.!~*'()", UrlComponent::Host, "aZ09-_.!~*'()"},
                    EscapeCase{"/:@&=+$,", UrlComponent::Path, "/:@&=+$,"},
                    EscapeCase{"/a b;c?#", UrlComponent::Path, "/a%20b;c%3F%23"},
                    EscapeCase{";&=+$,", UrlComponent::User, ";&=+$,"},
                    EscapeCase{"a@b:c/", UrlComponent::Password, "a%40b%3Ac%2F"},
                    EscapeCase{"h:8/x@;", UrlComponent::Host, "h%3A8%2Fx%40%3B"},
                    EscapeCase{"?;:@&=+,$", UrlComponent::Query, "?;:@&=+,$"},
                    EscapeCase{"?x=/y?z", UrlComponent::Query, "?x=/y?z"},
                    EscapeCase{"?", UrlComponent::Query, "?"},
                    EscapeCase{"#top", UrlComponent::Fragment, "#top"},
                    EscapeCase{"#a#b/c", UrlComponent::Fragment, "#a%23b%2Fc"}));

// Reserved characters keep their meaning only as written; what no request
// line may hold raw is escaped.
INSTANTIATE_TEST_SUITE_P(
    Reserved, EscapeComponentTest,
    testing::Values(
        EscapeCase{"/s;p=1,2:@!$&'()*+", UrlComponent::Path, "/s;p=1,2:@!$&'()*+"},
        EscapeCase{"/\"<>`{}^[]|", UrlComponent::Path, "/%22%3C%3E%60%7B%7D%5E%5B%5D%7C"},
        EscapeCase{"?a=b;c&d=/e?f:@!$'()*+,", UrlComponent::Query, "?a=b;c&d=/e?f:@!$'()*+,"},
        EscapeCase{"?\"<> `{}#", UrlComponent::Query, "?%22%3C%3E%20%60%7B%7D%23"}));

INSTANTIATE_TEST_SUITE_P(ExistingEscapes, EscapeComponentTest,
                         testing::Values(EscapeCase{"%41%2f%2F", UrlComponent::Path, "%41%2f%2F"},
                                         EscapeCase{"?q=%3d", UrlComponent::Query, "?q=%3d"},
                                         EscapeCase{"100%", UrlComponent::Path, "100%25"},
                                         EscapeCase{"%4", UrlComponent::Path, "%254"},
                                         EscapeCase{"%zz", UrlComponent::Path, "%25zz"},
                                         EscapeCase{"%%41", UrlComponent::Path, "%25%41"},
                                         EscapeCase{"?%", UrlComponent::Query, "?%25"}));

INSTANTIATE_TEST_SUITE_P(
    ControlAndHighBytes, EscapeComponentTest,
    testing::Values(EscapeCase{"\x80\xff\xe9", UrlComponent::Path, "%80%FF%E9"},
                    EscapeCase{"\xc3\xa9t\xc3\xa9", UrlComponent::Host, "%C3%A9t%C3%A9"},
                    EscapeCase{"a\0b"s, UrlComponent::Path, "a%00b"},
                    EscapeCase{"\r\n\t\x7f", UrlComponent::Query, "\r%0A%09%7F"},
                    EscapeCase{"\\", UrlComponent::Path, "%5C"}));

TEST(UnescapeComponentTest, DecodesOnlyCompleteEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"%41%2f%2F", "A//"},
        {"a%20b", "a b"},
        {"%e9%C3%A9", "\xe9\xc3\xa9"},
        {"%00x", "\0x"s},
        {"%", "%"},
        {"a%4", "a%4"},
        {"%zz1", "%zz1"},
        // The two bytes after a stray "%" are passed over, even a "%" among them.
        {"%%41", "%%41"},
        {"%4%41", "%4%41"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(CUrl::UnescapeComponent(text), expected) << text;
    }
}

struct ParseCase {
    std::string text;
    UrlScheme scheme;
    std::string host;
    int port;
    std::string path;
    std::string query;
    std::string fragment;
    std::string escapedPath;
    std::string url;
    std::string source = {};  // empty: the text itself
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, SplitsDecodesAndPrints) {
    const ParseCase& c = GetParam();
    CUrl url;
    ASSERT_TRUE(url.Parse(c.text)) << c.text;
    EXPECT_EQ(url.GetSourceText(), c.source.empty() ? c.text : c.source);
    EXPECT_EQ(url.GetScheme(), c.scheme);
    EXPECT_EQ(url.GetHost(), c.host);
    EXPECT_EQ(url.GetPort(), c.port);
    EXPECT_EQ(url.GetPath(), c.path);
    EXPECT_EQ(url.GetQuery(), c.query);
    EXPECT_EQ(url.GetFragment(), c.fragment);
    EXPECT_EQ(url.GetEscapedPath(), c.escapedPath);
    EXPECT_EQ(url.GetUrl(), c.url);

    // The printed form is a fixed point: it parses to the same components.
    CUrl again;
    ASSERT_TRUE(again.Parse(url.GetUrl())) << url.GetUrl();
    EXPECT_EQ(again.GetUrl(), url.GetUrl());
    EXPECT_EQ(again.GetHost(), url.GetHost());
    EXPECT_EQ(again.GetPath(), url.GetPath());
    EXPECT_EQ(again.GetUser(), url.GetUser());
    EXPECT_EQ(again.GetPassword(), url.GetPassword());
}

INSTANTIATE_TEST_SUITE_P(
    Hierarchical, ParseTest,
    testing::Values(
        ParseCase{" http://H/a b ", SchemeHttp, "h", 0, "/a b", "", "", "/a%20b", "http://h/a%20b",
                  "http://h/a b"},
        ParseCase{"HTTP://h/x", SchemeHttp, "h", 0, "/x", "", "", "/x", "http://h/x", "http://h/x"},
        ParseCase{"http://h", SchemeHttp, "h", 0, "", "", "", "", "http://h"},
        ParseCase{"http://h/a%2fb", SchemeHttp, "h", 0, "/a/b", "", "", "/a%2fb", "http://h/a%2fb"},
        ParseCase{"http://h/a\\b//c", SchemeHttp, "h", 0, "/a/b/c", "", "", "/a%5Cb//c",
                  "http://h/a%5Cb//c"},
        ParseCase{"http://h/p?x=/y", SchemeHttp, "h", 0, "/p", "?x=/y", "", "/p",
                  "http://h/p?x=/y"},
        ParseCase{"http://h:80/", SchemeHttp, "h", 80, "/", "", "", "/", "http://h:80/"},
        ParseCase{"https://h:0/", SchemeHttps, "h", 0, "/", "", "", "/", "https://h/"},
        ParseCase{"http://h:8080x/", SchemeHttp, "h", 8080, "/", "", "", "/", "http://h:8080/"},
        ParseCase{"http://h:65535", SchemeHttp, "h", 65535, "", "", "", "", "http://h:65535"},
        ParseCase{"ftp://h", SchemeFtp, "h", 0, "", "", "", "", "ftp://h"},
        ParseCase{"gopher://h/1x", SchemeGopher, "h", 0, "/1x", "", "", "/1x", "gopher://h/1x"},
        ParseCase{"http://h#top", SchemeHttp, "h", 0, "", "", "#top", "", "http://h#top"},
        ParseCase{"http://h?q#f", SchemeHttp, "h", 0, "", "?q", "#f", "", "http://h?q#f"},
        ParseCase{"http://h/p#f?x", SchemeHttp, "h", 0, "/p", "", "#f?x", "/p", "http://h/p#f%3Fx"},
        ParseCase{"http://@h/", SchemeHttp, "@h", 0, "/", "", "", "/", "http://%40h/"},
        ParseCase{"http://h/\xe9t\xc3\xa9", SchemeHttp, "h", 0, "/\xe9t\xc3\xa9", "", "",
                  "/%E9t%C3%A9", "http://h/%E9t%C3%A9"},
        ParseCase{"http://h%2Ex/a%00b", SchemeHttp, "h.x", 0, "/a\0b"s, "", "", "/a%00b",
                  "http://h%2Ex/a%00b"}));

// What a link in hand-wrapped markup holds around and inside it is no part
// of the address; scheme and host are one whatever their case.
INSTANTIATE_TEST_SUITE_P(
    AsWritten, ParseTest,
    testing::Values(
        ParseCase{"\t http://h/a\n\tb.html\r\n ", SchemeHttp, "h", 0, "/ab.html", "", "",
                  "/ab.html", "http://h/ab.html", "http://h/ab.html"},
        ParseCase{"\x01\x1f ht\ntp://h\r.x/p?a\t=b \0"s, SchemeHttp, "h.x", 0, "/p", "?a=b", "",
                  "/p", "http://h.x/p?a=b", "http://h.x/p?a=b"},
        ParseCase{"http://h/a\fb", SchemeHttp, "h", 0, "/a\fb", "", "", "/a%0Cb", "http://h/a%0Cb"},
        ParseCase{"htTp://Host.Example/P/Q?R=S#T", SchemeHttp, "host.example", 0, "/P/Q", "?R=S",
                  "#T", "/P/Q", "http://host.example/P/Q?R=S#T", "http://host.example/P/Q?R=S#T"},
        ParseCase{"HTTPS://Us:PW@HOST:81/", SchemeHttps, "host", 81, "/", "", "", "/",
                  "https://Us:PW@host:81/", "https://Us:PW@host:81/"},
        ParseCase{"http://XN%41\xc3\x89%4A/", SchemeHttp, "xna\xc3\x89j", 0, "/", "", "", "/",
                  "http://xn%41%C3%89%4A/", "http://xn%41\xc3\x89%4A/"},
        ParseCase{"http://h/site;sub:.html?a=b;c/d?e", SchemeHttp, "h", 0, "/site;sub:.html",
                  "?a=b;c/d?e", "", "/site;sub:.html", "http://h/site;sub:.html?a=b;c/d?e"},
        ParseCase{"http://h/a%3Bb;c", SchemeHttp, "h", 0, "/a;b;c", "", "", "/a%3Bb;c",
                  "http://h/a%3Bb;c"},
        ParseCase{"http://h/{a}^|?<\"x\">", SchemeHttp, "h", 0, "/{a}^|", "?<\"x\">", "",
                  "/%7Ba%7D%5E%7C", "http://h/%7Ba%7D%5E%7C?%3C%22x%22%3E"}));

// Decoded paths lose their dot segments, so that no encoded "..", "/" or "\"
// can lead the local file mapping out of its folder; the escaped path stays.
INSTANTIATE_TEST_SUITE_P(
    DotSegments, ParseTest,
    testing::Values(ParseCase{"http://h/a/./b/.", SchemeHttp, "h", 0, "/a/b", "", "", "/a/./b/.",
                              "http://h/a/./b/."},
                    ParseCase{"http://h/a/%2e%2e/%2E%2E/../x", SchemeHttp, "h", 0, "/x", "", "",
                              "/a/%2e%2e/%2E%2E/../x", "http://h/a/%2e%2e/%2E%2E/../x"},
                    ParseCase{"http://h/a%2f..%2f..%2fetc", SchemeHttp, "h", 0, "/etc", "", "",
                              "/a%2f..%2f..%2fetc", "http://h/a%2f..%2f..%2fetc"},
                    ParseCase{"http://h/..%5c..%5cx", SchemeHttp, "h", 0, "/x", "", "",
                              "/..%5c..%5cx", "http://h/..%5c..%5cx"},
                    ParseCase{"http://h/.", SchemeHttp, "h", 0, "/", "", "", "/.", "http://h/."}));

// An IPv6 literal keeps its brackets, and its colons are no port's; the
// mirror's own folder names ("[::1]_8080") parse as hosts too.
INSTANTIATE_TEST_SUITE_P(
    Ipv6Literals, ParseTest,
    testing::Values(
        ParseCase{"http://[::1]:8080/", SchemeHttp, "[::1]", 8080, "/", "", "", "/",
                  "http://[::1]:8080/"},
        ParseCase{"http://[::1]/a", SchemeHttp, "[::1]", 0, "/a", "", "", "/a", "http://[::1]/a"},
        ParseCase{"HTTP://u:p@[2001:DB8:0:0::1]:81?q", SchemeHttp, "[2001:db8::1]", 81, "", "?q",
                  "", "", "http://u:p@[2001:db8::1]:81?q", "http://u:p@[2001:db8:0:0::1]:81?q"},
        ParseCase{"https://[::ffff:192.0.2.1]#f", SchemeHttps, "[::ffff:192.0.2.1]", 0, "", "",
                  "#f", "", "https://[::ffff:192.0.2.1]#f"},
        ParseCase{"http://[::1]_8080/i.htm", SchemeHttp, "[::1]_8080", 0, "/i.htm", "", "",
                  "/i.htm", "http://[::1]_8080/i.htm"}));

INSTANTIATE_TEST_SUITE_P(
    Opaque, ParseTest,
    testing::Values(
        ParseCase{"mailto:joe@h", SchemeMailto, "h", 0, "", "", "", "", "mailto:joe@h"},
        ParseCase{"MAILTO:joe", SchemeMailto, "joe", 0, "", "", "", "", "mailto:joe", "mailto:joe"},
        ParseCase{"mailto:a%20b:pw@h", SchemeMailto, "h", 0, "", "", "", "", "mailto:a%20b:pw@h"},
        ParseCase{"news:comp.lang.c", SchemeNews, "comp.lang.c", 0, "", "", "", "",
                  "news:comp.lang.c"},
        ParseCase{"news:x?z#", SchemeNews, "x?z#", 0, "", "", "", "", "news:x%3Fz%23"}));

TEST(ParseUserInfoTest, SplitsAndDecodesUserAndPassword) {
    CUrl url;
    ASSERT_TRUE(url.Parse("http://us%65r:p%40ss:w@h:8080/p?q=1#f"));
    EXPECT_EQ(url.GetUser(), "user");
    EXPECT_EQ(url.GetPassword(), "p@ss:w");
    EXPECT_EQ(url.GetHost(), "h");
    EXPECT_EQ(url.GetPort(), 8080);
    EXPECT_EQ(url.GetPath(), "/p");
    EXPECT_EQ(url.GetQuery(), "?q=1");
    EXPECT_EQ(url.GetFragment(), "#f");
    EXPECT_EQ(url.GetUrl(), "http://us%65r:p%40ss%3Aw@h:8080/p?q=1#f");

    ASSERT_TRUE(url.Parse("ftp://anon@h/"));
    EXPECT_EQ(url.GetUser(), "anon");
    EXPECT_EQ(url.GetPassword(), "");
    EXPECT_EQ(url.GetUrl(), "ftp://anon:@h/");
}

TEST(ParseTest, RefusesWhatIsNoUrlAndLeavesTheObjectCleared) {
    const std::vector<std::string> refused = {
        "",
        "   ",
        "\t\r\n\x01\x1f",
        "file:///c:/x",
        "http:/x",
        "http:x",
        "about:blank",
        "data:x",
        "javascript:void(0)",
        ":x",
        "httpx://h/",
        "http://",
        "http:///x",
        "http://?q",
        "http://u@/x",
        "http://u:p@",
        "mailto:",
        "news:",
        "news:a/b",
        "http://h:65536/",
        "http://h:99999999999999999999/",
        "http://%2e%2e/x",
        "http://./x",
        "http://a%2fb/",
        "http://a\\b/",
        "http://a%00b/",
        "http://a%0d%0aX-Injected:1/",
        "http://a b/",
        "http://[::1/",
        "http://[]/",
        "http://[1.2.3.4]/",
        "http://[::g]/",
        "http://[::1]]/",
        "http://%5B::1%5D/",
        "http://h/a\0b"s,
        "http://h/" + std::string(CStream::kMaxStringLength - 8, 'a'),
    };
    for (const std::string& text : refused) {
        CUrl url;
        ASSERT_TRUE(url.Parse("http://u:p@h:1/p?q#f"));
        EXPECT_FALSE(url.Parse(text)) << text;
        EXPECT_FALSE(url.HasUrl());
        EXPECT_EQ(url.GetScheme(), SchemeNone);
        EXPECT_EQ(url.GetHost(), "");
        EXPECT_EQ(url.GetUser(), "");
        EXPECT_EQ(url.GetPort(), 0);
        EXPECT_EQ(url.GetPath(), "");
        EXPECT_EQ(url.GetEscapedQuery(), "");
        EXPECT_EQ(url.GetUrl(), "");
    }
}

TEST(ParseTest, AcceptsTheLongestStorableText) {
    CUrl url;
    const std::string text = "http://h/" + std::string(CStream::kMaxStringLength - 9, 'a');
    EXPECT_TRUE(url.Parse(text));
}

struct ResolveCase {
    std::string base;
    std::string reference;
    std::string expected;  // empty: resolution fails
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
    *os << '"' << c.base << "\" + \"" << c.reference << '"';
}

class ResolveRelativeTest : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveRelativeTest, BuildsTheAbsoluteUrl) {
    const ResolveCase& c = GetParam();
    CUrl url;
    ASSERT_TRUE(url.Parse("http://other/x"));
    EXPECT_EQ(url.ResolveRelative(c.base, c.reference), !c.expected.empty())
        << c.base << " + " << c.reference;
    EXPECT_EQ(url.GetSourceText(), c.expected);
    if (c.expected.empty()) {
        EXPECT_EQ(url.GetScheme(), SchemeNone);
        EXPECT_EQ(url.GetUrl(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    FromAPage, ResolveRelativeTest,
    testing::Values(ResolveCase{"http://h/d/p.html", "q.html", "http://h/d/q.html"},
                    ResolveCase{"http://h/d/p.html", "../x.gif", "http://h/x.gif"},
                    ResolveCase{"http://h/d/p.html", "../../x.gif", "http://h/x.gif"},
                    ResolveCase{"http://h/d/p.html", "/..", "http://h/"},
                    ResolveCase{"http://h/d/p.html", "a/../../..", "http://h/"},
                    // Above the root, browsers stay at the root.
                    ResolveCase{"http://h/css/a.css", "../../../img/x.png", "http://h/img/x.png"},
                    ResolveCase{"http://h/", "../page2.html?a=../b", "http://h/page2.html?a=../b"},
                    ResolveCase{"http://h", "./../x#../y", "http://h/x#../y"},
                    ResolveCase{"http://h/d/p.html", "", "http://h/d/"},
                    ResolveCase{"http://h/d/p.html", "//g/y", "http://g/y"},
                    ResolveCase{"http://h/d/p.html", "//g", "http://g"},
                    ResolveCase{"http://h/d/p.html", "#top", "http://h/d/p.html#top"},
                    ResolveCase{"http://h/d/p.html", "/z", "http://h/z"},
                    ResolveCase{"http://h/d/p.html", "./a/./b/../c", "http://h/d/a/c"},
                    ResolveCase{"http://h/d/p.html", "a/.", "http://h/d/a"},
                    ResolveCase{"http://h/d/p.html", "a/b/..", "http://h/d/a"},
                    ResolveCase{"http://h/d/p.html", "a//b", "http://h/d/a//b"},
                    ResolveCase{"http://h/d/p.html", "?page=2", "http://h/d/p.html?page=2"},
                    ResolveCase{"http://h/d/p.html", "x?u=../../y#../z",
                                "http://h/d/x?u=../../y#../z"},
                    ResolveCase{"http://h/d/p.html", "javascript:void(0)", ""},
                    ResolveCase{"http://h/d/p.html", "data:text/plain,x", ""},
                    ResolveCase{"http://h/d/p.html", "a:b", ""},
                    ResolveCase{"http://h/d/p.html", "1:b", "http://h/d/1:b"},
                    ResolveCase{"http://h/d/p.html", "./a:b", "http://h/d/a:b"},
                    ResolveCase{"http://h/d/p.html", "\n a\tb.html\r\n", "http://h/d/ab.html"},
                    ResolveCase{"http://h/d/p.html", " \t//G/y", "http://g/y"},
                    ResolveCase{"http://h/d/p.html", "java\nscript:void(0)", ""}));

INSTANTIATE_TEST_SUITE_P(
    FromUnusualBases, ResolveRelativeTest,
    testing::Values(ResolveCase{"http://h", "a", "http://h/a"},
                    ResolveCase{"http://h", "", "http://h/"},
                    ResolveCase{"http://h", "#f", "http://h#f"}, ResolveCase{"http://", "a", ""},
                    ResolveCase{"http://", "/a", ""}, ResolveCase{"http://", "//g/y", "http://g/y"},
                    ResolveCase{"", "a", ""}, ResolveCase{"h/d/p.html", "a", ""},
                    ResolveCase{"http://h/d/p?x=a/b", "y", "http://h/d/y"},
                    ResolveCase{"http://h/d/p?x=a/b", "?z", "http://h/d/p?z"},
                    ResolveCase{"http://h?x=/a", "/z", "http://h/z"},
                    ResolveCase{"http://h?x=/a", "y", "http://h/y"},
                    ResolveCase{"http://h/p#a/b", "#c", "http://h/p#c"},
                    ResolveCase{"https://h:8443/a/b/", "../c", "https://h:8443/a/c"},
                    ResolveCase{"ftp://u:p@h/pub/", "f.zip", "ftp://u:p@h/pub/f.zip"},
                    ResolveCase{"gopher://h/x", "y", "gopher://h/y"},
                    ResolveCase{"unknown://h/x", "y", ""},
                    ResolveCase{"http://[::1]:8080/a/b", "../c", "http://[::1]:8080/c"},
                    ResolveCase{"http://h/", "//[::1]/x", "http://[::1]/x"}));

struct FileNameCase {
    std::string url;
    std::string name;
    std::string title;
    std::string extension;
};

TEST(FileNameTest, SplitsTheLastSegmentOfTheDecodedPath) {
    const std::vector<FileNameCase> cases = {
        {"http://h", "", "", ""},
        {"http://h/", "", "", ""},
        {"http://h/d/p.html", "p.html", "p", ".html"},
        {"http://h/d/Page.HTM?x=1#f", "Page.HTM", "Page", ".HTM"},
        {"http://h/a.tar.gz", "a.tar.gz", "a.tar", ".gz"},
        {"http://h/a.b/README", "README", "README", ""},
        {"http://h/.htaccess", ".htaccess", "", ".htaccess"},
        {"http://h/dir/", "", "", ""},
        {"http://h/a%2Eb", "a.b", "a", ".b"},
        {"http://h/x%2Fy.css", "y.css", "y", ".css"},
    };
    for (const FileNameCase& c : cases) {
        CUrl url;
        ASSERT_TRUE(url.Parse(c.url)) << c.url;
        EXPECT_EQ(url.GetFileName(), c.name) << c.url;
        EXPECT_EQ(url.GetFileTitle(), c.title) << c.url;
        EXPECT_EQ(url.GetFileExtension(), c.extension) << c.url;
    }
}

TEST(SchemeTest, NamesAndDefaultPorts) {
    const std::vector<std::tuple<std::string, UrlScheme, std::string, int>> cases = {
        {"file://h/x", SchemeFile, "file", 0},       {"ftp://h/", SchemeFtp, "ftp", 21},
        {"http://h/", SchemeHttp, "http", 80},       {"HTTPS://h/", SchemeHttps, "https", 443},
        {"gopher://h/", SchemeGopher, "gopher", 70}, {"mailto:a@h", SchemeMailto, "mailto", 0},
        {"news:g", SchemeNews, "news", 0},           {"Telnet://h", SchemeTelnet, "telnet", 0},
    };
    for (const auto& [text, scheme, name, port] : cases) {
        CUrl url;
        ASSERT_TRUE(url.Parse(text)) << text;
        EXPECT_EQ(url.GetScheme(), scheme);
        EXPECT_EQ(url.GetSchemeName(), name);
        EXPECT_EQ(url.GetDefaultPort(), port);
        EXPECT_EQ(url.GetPort(), 0);
        EXPECT_TRUE(url.HasUrl());
    }
    const CUrl empty;
    EXPECT_EQ(empty.GetSchemeName(), "");
    EXPECT_EQ(empty.GetDefaultPort(), 0);
    EXPECT_FALSE(empty.HasUrl());
}

class UrlStreamTest : public testing::Test {
protected:
    std::string Path() const { return m_folder.File("urls.bin"); }

    void Store(const std::vector<CUrl>& urls) {
        CFileStream stream;
        ASSERT_TRUE(stream.Open(Path(), CFileStream::modeWriteCreate));
        for (const CUrl& url : urls) {
            WriteUrl(stream, url);
        }
    }

    testing_support::TempFolder m_folder;
};

TEST_F(UrlStreamTest, StoresTheSourceTextAndReadsItBack) {
    CUrl first;
    ASSERT_TRUE(first.Parse(" http://H/a b "));
    CUrl second;
    ASSERT_TRUE(second.Parse("ftp://u@h/f"));
    Store({first, CUrl(), second});
    EXPECT_EQ(testing_support::ReadFile(Path()), "http://h/a b\0\0ftp://u@h/f\0"s);

    CFileStream stream;
    ASSERT_TRUE(stream.Open(Path(), CFileStream::modeRead));
    CUrl url;
    ReadUrl(stream, url);
    EXPECT_EQ(url.GetSourceText(), "http://h/a b");
    EXPECT_EQ(url.GetEscapedPath(), "/a%20b");
    ReadUrl(stream, url);
    EXPECT_FALSE(url.HasUrl());
    EXPECT_EQ(url.GetScheme(), SchemeNone);
    ReadUrl(stream, url);
    EXPECT_EQ(url.GetUser(), "u");
    EXPECT_EQ(url.GetPath(), "/f");
}

TEST_F(UrlStreamTest, StoredTextThatDoesNotParseIsADataError) {
    testing_support::WriteFile(Path(), "about:blank\0"s);
    CFileStream stream;
    ASSERT_TRUE(stream.Open(Path(), CFileStream::modeRead));
    CUrl url;
    ASSERT_TRUE(url.Parse("http://h/"));
    try {
        ReadUrl(stream, url);
        FAIL() << "no exception";
    } catch (const CStreamException& e) {
        EXPECT_EQ(e.GetCode(), ERR_STREAM_DATA);
    }
    EXPECT_FALSE(url.HasUrl());
}

TEST_F(UrlStreamTest, TruncatedStoreIsADataError) {
    testing_support::WriteFile(Path(), "http://h/");
    CFileStream stream;
    ASSERT_TRUE(stream.Open(Path(), CFileStream::modeRead));
    CUrl url;
    EXPECT_THROW(ReadUrl(stream, url), CStreamException);
}

}  // namespace
