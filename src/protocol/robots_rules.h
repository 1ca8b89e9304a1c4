// What one host's robots.txt allows a crawler whose product token is given
// (RFC 9309): the groups that name the token, else the "*" groups, their
// Allow and Disallow rules with "*" and "$", the longest match deciding and
// Allow winning a tie, and the Crawl-delay that the group asks for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CRobotsRules {
public:
    // Every path allowed, no delay: no robots.txt, or one that a 4xx refused.
    CRobotsRules() = default;
    static CRobotsRules Parse(std::string_view text, std::string_view productToken);
    // A host whose robots.txt could not be had at all.
    static CRobotsRules DisallowAll();

    // target: the escaped path and query of a URL, as sent on the wire.
    bool IsAllowed(std::string_view target) const;
    // Milliseconds between two requests that the group asks for; 0 for none.
    std::uint32_t GetCrawlDelayMs() const { return m_crawlDelayMs; }

private:
    struct Rule {
        std::string pattern;
        bool allow = false;
    };

    std::vector<Rule> m_rules;
    std::uint32_t m_crawlDelayMs = 0;
};

// Whether a pattern of "*" wildcards, ending in "$" when it is anchored,
// matches the start of target (the whole of it with "$").
bool MatchesRobotsPattern(std::string_view pattern, std::string_view target);
