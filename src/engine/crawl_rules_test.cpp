#include "engine/crawl_rules.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/url.h"
#include "protocol/response_info.h"
#include "support/memory_stream.h"
#include "support/parsed_url.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;
using testing_support::ParsedUrl;

CResponseInfo Response(const char* url, bool lengthKnown = false, std::uint32_t length = 0) {
    CResponseInfo response;
    response.valid = true;
    response.url = ParsedUrl(url);
    response.contentLengthKnown = lengthKnown;
    response.contentLength = length;
    return response;
}

// The default groups with only the one at index enabled.
CFilterList DefaultsWithEnabled(std::size_t index) {
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(index).SetEnabled(true);
    return filters;
}

constexpr std::size_t kImage = 0;
constexpr std::size_t kOther = 5;

TEST(CrawlRulesTest, LevelLimits) {
    const struct {
        std::int32_t internalLevels, externalLevels, level;
        bool internal, passes;
    } cases[] = {
        {-1, -1, 1000, true, true}, {0, -1, 0, true, true},    {0, -1, 1, true, false},
        {2, -1, 2, true, true},     {-1, -1, 0, false, false}, {-1, 0, 0, false, true},
        {-1, 0, 1, false, false},   {-5, 3, 3, false, true},
    };
    for (const auto& c : cases) {
        CCrawlRules rules;
        rules.SetLevels(c.internalLevels, c.externalLevels);
        EXPECT_EQ(rules.CheckLevel(c.level, c.internal), c.passes)
            << c.internalLevels << " " << c.externalLevels << " " << c.level;
        EXPECT_EQ(rules.GetLastReject(), c.passes ? RejectNone : RejectLevel);
    }
}

TEST(CrawlRulesTest, AnchorsToOtherHostsCountTheirStepsAwayFromTheSite) {
    const struct {
        std::int32_t externalLevels;
        const char* url;
        std::int32_t level;
        bool internal, passes;
    } cases[] = {
        // The starting host keeps its directory and internal limit.
        {2, "http://h/docs/a.html", 2, true, true},
        {2, "http://h/other/a.html", 1, true, false},
        {2, "http://H/docs/a.html", 3, true, false},
        // A page the site links to, then a page that one links to.
        {-1, "http://g/a.html", 0, false, false},
        {0, "http://g/a.html", 0, false, false},
        {1, "http://g/a.html", 0, false, true},
        {1, "http://g/b.html", 1, false, false},
        {2, "http://g/b.html", 1, false, true},
        {2, "http://g/other/c.html", 2, false, false},
        {100, "http://g/b.html", 2147483647, false, false},
    };
    for (const auto& c : cases) {
        CCrawlRules rules;
        rules.SetLevels(2, c.externalLevels);
        rules.SetScope("h", "/docs/index.html");
        EXPECT_EQ(rules.CheckAnchor(ParsedUrl(c.url), c.level, c.internal), c.passes)
            << c.externalLevels << " " << c.url << " " << c.level;
        EXPECT_EQ(rules.GetLastReject() == RejectNone, c.passes);
    }
}

TEST(CrawlRulesTest, ScopeByDomainAndDirectory) {
    const struct {
        const char* domain;
        const char* directory;
        const char* url;
        bool passes;
    } cases[] = {
        {"h", "", "http://H/x", true},
        {"h", "", "http://sub.h/x", false},
        {"", "", "http://h/x", false},
        {"h", "/docs/index.html", "http://h/docs/", true},
        {"h", "/docs/index.html", "http://h/docs/a/b.html", true},
        {"h", "/docs/index.html", "http://h/DOCS/a/b.html", true},
        {"h", "/docs/index.html", "http://h/doc", false},
        {"h", "/docs/index.html", "http://h/other/docs/", false},
        {"h", "/docs/index.html", "http://h", false},
        {"h", "/docs", "http://h/anything/else", true},
        {"h", "/", "http://h", true},  // an empty path counts as "/"
        {"h", "/docs/", "http://other/docs/", false},
    };
    for (const auto& c : cases) {
        CCrawlRules rules;
        rules.SetScope(c.domain, c.directory);
        EXPECT_EQ(rules.CheckScope(ParsedUrl(c.url)), c.passes)
            << c.domain << " " << c.directory << " " << c.url;
        EXPECT_EQ(rules.GetLastReject(), c.passes ? RejectNone : RejectScope);
    }
}

TEST(CrawlRulesTest, ExtensionFilterWithOnlyImageEnabled) {
    const struct {
        const char* url;
        std::int32_t reject;
    } cases[] = {
        {"http://h/a.jpg", RejectNone},
        {"http://h/a.JPG", RejectExtension},  // extensions are case-sensitive
        {"http://h/a.txt", RejectExtension},
        {"http://h/dir/", RejectNone},
        {"http://h/a", RejectNone},
        {"http://h/p?x=1.gif", RejectNone},  // only the path's extension counts
        {"http://h/p.txt?x=1.gif", RejectExtension},
    };
    CCrawlRules rules;
    rules.SetFilters(DefaultsWithEnabled(kImage));
    EXPECT_TRUE(rules.AnyFilterEnabled());
    for (const auto& c : cases) {
        EXPECT_EQ(rules.CheckFilter(Response(c.url)), c.reject == RejectNone) << c.url;
        EXPECT_EQ(rules.GetLastReject(), c.reject) << c.url;
    }
}

TEST(CrawlRulesTest, NoEnabledExtensionLetsEverythingPass) {
    CCrawlRules defaults;
    EXPECT_FALSE(defaults.AnyFilterEnabled());
    EXPECT_TRUE(defaults.CheckFilter(Response("http://h/a.txt")));

    // "Other" has no extensions: enabling it alone indexes nothing.
    CCrawlRules other;
    other.SetFilters(DefaultsWithEnabled(kOther));
    EXPECT_TRUE(other.AnyFilterEnabled());
    EXPECT_TRUE(other.CheckFilter(Response("http://h/a.txt", true, 1 << 30)));
    EXPECT_TRUE(other.CheckFilter(Response("http://h/a.jpg")));
}

TEST(CrawlRulesTest, SizeLimits) {
    const struct {
        std::uint32_t minimumKb, maximumKb;
        bool lengthKnown;
        std::uint32_t length;
        bool passes;
    } cases[] = {
        {10, 0, true, 0, false},     {10, 0, true, 1 << 30, false}, {10, 0, false, 0, true},
        {0, 0, true, 1 << 30, true}, {1, 2, true, 1024, true},      {1, 2, true, 1023, false},
        {1, 2, true, 2049, false},   {0, 1, false, 5000, true},
    };
    for (const auto& c : cases) {
        CFilterList filters;
        filters.Append("sized", ".bin", c.minimumKb, c.maximumKb, true);
        CCrawlRules rules;
        rules.SetFilters(filters);
        EXPECT_EQ(rules.CheckFilter(Response("http://h/f.bin", c.lengthKnown, c.length)), c.passes)
            << c.minimumKb << " " << c.maximumKb << " " << c.lengthKnown << " " << c.length;
        EXPECT_EQ(rules.GetLastReject(), c.passes ? RejectNone : RejectSize);
    }
}

TEST(CrawlRulesTest, SharedExtensionIsJudgedByTheLaterEnabledGroup) {
    const CResponseInfo big = Response("http://h/f.gif", true, 100 * 1024);
    CFilterList filters;
    filters.Append("tiny", ".gif", 0, 1, true);
    filters.Append("any", ".gif;.png", 0, 0, true);
    CCrawlRules rules;
    rules.SetFilters(filters);
    EXPECT_TRUE(rules.CheckFilter(big));

    filters.GetAt(1).SetEnabled(false);  // a disabled later group has no say
    rules.SetFilters(filters);
    EXPECT_FALSE(rules.CheckFilter(big));
    EXPECT_FALSE(rules.CheckFilter(Response("http://h/f.png")));

    CFilterList reversed;
    reversed.Append("any", ".gif", 0, 0, true);
    reversed.Append("tiny", ".gif", 0, 1, true);
    rules.SetFilters(reversed);
    EXPECT_FALSE(rules.CheckFilter(big));
}

TEST(CrawlRulesTest, CopiesKeepTheirOwnIndex) {
    CCrawlRules original;
    original.SetFilters(DefaultsWithEnabled(kImage));
    CCrawlRules copy(original);
    original.SetFilters(CFilterList::DefaultGroups());
    EXPECT_FALSE(copy.CheckFilter(Response("http://h/a.txt")));
    EXPECT_TRUE(original.CheckFilter(Response("http://h/a.txt")));
    CFilterList out;
    copy.CopyFiltersTo(out);
    EXPECT_TRUE(out.GetAt(kImage).IsEnabled());
}

TEST(CrawlRulesTest, StoresItsRecordAndRebuildsTheIndexOnLoad) {
    CFilterList filters;
    filters.Append("Pics", ".jpg", 0, 0, true);
    CCrawlRules rules;
    rules.SetLevels(-1, 2);
    rules.SetScope("h", "/d/");
    rules.SetFilters(filters);
    rules.CheckLevel(5, false);  // leaves lastReject 8
    MemoryStream stream;
    rules.Store(stream);
    EXPECT_EQ(stream.Bytes(), ExpectedBytes()
                                  .Int(0xFFFFFFFF)
                                  .Int(2)
                                  .Str("h")
                                  .Str("/d/")
                                  .Int(1)
                                  .Str("Pics")
                                  .Str("*.jpg")
                                  .Int(0)
                                  .Int(0)
                                  .Bool(true)
                                  .Int(8)
                                  .Bytes());

    MemoryStream input(stream.Bytes());
    CCrawlRules loaded;
    loaded.Load(input);
    EXPECT_EQ(loaded.GetInternalLevels(), -1);
    EXPECT_EQ(loaded.GetExternalLevels(), 2);
    EXPECT_EQ(loaded.GetDomain(), "h");
    EXPECT_TRUE(loaded.IsDirectoryMode());
    EXPECT_EQ(loaded.GetLastReject(), RejectLevel);
    EXPECT_FALSE(loaded.CheckFilter(Response("http://h/a.png")));
    EXPECT_TRUE(loaded.CheckFilter(Response("http://h/a.jpg")));
}

}  // namespace
