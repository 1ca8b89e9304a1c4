#include "protocol/robots_rules.h"

#include <gtest/gtest.h>

namespace {

struct Verdict {
    const char* robots;
    const char* target;
    bool allowed;
};

constexpr const char* kGroups =
    "User-agent: *\n"
    "Disallow: /\n"
    "\n"
    "User-agent: OtherBot\n"
    "User-agent: Tarnwick/2.1\n"
    "Disallow: /private/\n"
    "Allow: /private/open$\n"
    "Disallow: /*.pdf$\n"
    "Disallow: /tmp  # scratch space\n"
    "Allow: /tmp/keep\n"
    "\n"
    "user-agent: tarnwick\n"
    "disallow: /merged\n";

TEST(RobotsRulesTest, JudgesTargetsByTheGroupThatNamesTheCrawler) {
    const Verdict cases[] = {
        // Our groups, merged; the "*" group does not apply beside them.
        {kGroups, "/", true},
        {kGroups, "/private/", false},
        {kGroups, "/private/a.html", false},
        {kGroups, "/private/open", true},
        {kGroups, "/private/open/more", false},
        {kGroups, "/docs/a.pdf", false},
        {kGroups, "/docs/a.pdf?x=1", true},
        {kGroups, "/tmp", false},
        {kGroups, "/tmpfile", false},
        {kGroups, "/tmp/keep/x", true},
        {kGroups, "/merged/page", false},
        {kGroups, "/robots.txt", true},
        // Only "*" applies to us.
        {"User-agent: *\nDisallow: /a\n", "/a/b", false},
        {"User-agent: *\nDisallow: /a\n", "/b", true},
        {"User-agent: Googlebot\nDisallow: /\n", "/x", true},
        // Longest match; Allow wins a tie of equal length.
        {"User-agent: *\nAllow: /a\nDisallow: /a\n", "/a", true},
        {"User-agent: *\nDisallow: /a\nAllow: /a/b\n", "/a/b/c", true},
        {"User-agent: *\nAllow: /a\nDisallow: /a/*/c\n", "/a/b/c", false},
        // An empty Disallow disallows nothing; "$" anchors; "*" spans "/".
        {"User-agent: *\nDisallow:\n", "/x", true},
        {"User-agent: *\nDisallow: /*/secret$\n", "/a/b/secret", false},
        {"User-agent: *\nDisallow: /*/secret$\n", "/a/b/secret/", true},
        {"User-agent: *\nDisallow: /**x*y\n", "/0x1y", false},
        // CR LF lines, upper-case keys, no groups at all, rules before any group.
        {"USER-AGENT: *\r\nDISALLOW: /q\r\n", "/q?a=1", false},
        {"Disallow: /\n", "/x", true},
        {"", "/x", true},
        {"garbage without colons\n\x01\xff", "/", true},
    };
    for (const Verdict& verdict : cases) {
        EXPECT_EQ(CRobotsRules::Parse(verdict.robots, "Tarnwick").IsAllowed(verdict.target),
                  verdict.allowed)
            << verdict.robots << " -> " << verdict.target;
    }
}

TEST(RobotsRulesTest, ReadsTheCrawlDelayOfItsGroupBounded) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"User-agent: *\nCrawl-delay: 2\n", 2000},
        {"User-agent: *\nCrawl-delay: 0.25\n", 250},
        {"User-agent: *\nCrawl-delay: 86400\n", 300000},
        {"User-agent: *\nCrawl-delay: -1\n", 0},
        {"User-agent: *\nCrawl-delay: soon\n", 0},
        {"User-agent: other\nCrawl-delay: 5\n", 0},
        {"User-agent: tarnwick\nCrawl-delay: 1\nUser-agent: *\nCrawl-delay: 9\n", 1000},
    };
    for (const auto& [robots, delay] : cases) {
        EXPECT_EQ(CRobotsRules::Parse(robots, "Tarnwick").GetCrawlDelayMs(), delay) << robots;
    }
}

TEST(RobotsRulesTest, DisallowAllRefusesAllButTheFileItself) {
    const CRobotsRules rules = CRobotsRules::DisallowAll();
    EXPECT_FALSE(rules.IsAllowed("/"));
    EXPECT_FALSE(rules.IsAllowed(""));
    EXPECT_TRUE(rules.IsAllowed("/robots.txt"));
    EXPECT_TRUE(CRobotsRules().IsAllowed("/anything"));
}

}  // namespace
