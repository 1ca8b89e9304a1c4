#include "protocol/robots_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "base/ascii.h"

namespace {

// The longest delay that a robots.txt can ask for; a larger one would stall
// a crawl for good.
constexpr double kMaxCrawlDelaySeconds = 300;

struct Line {
    std::string key;
    std::string_view value;
};

std::optional<Line> SplitLine(std::string_view line) {
    line = line.substr(0, line.find('#'));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    return Line{ToLowerAscii(TrimAscii(line.substr(0, colon))), TrimAscii(line.substr(colon + 1))};
}

// The product token that a user-agent line names: its leading letters,
// "_" and "-", so that "Tarnwick/1.0" names Tarnwick.
std::string_view ProductTokenOf(std::string_view value) {
    const auto end = std::find_if_not(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
    });
    return value.substr(0, static_cast<std::size_t>(end - value.begin()));
}

std::optional<std::uint32_t> ParseDelayMs(std::string_view value) {
    double seconds = 0;
    const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (failure != std::errc() || end == value.data() || !std::isfinite(seconds) || seconds < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::min(seconds, kMaxCrawlDelaySeconds) * 1000);
}

// The groups of one kind (those naming the token, or "*") read in one pass.
struct GroupReader {
    std::string_view token;
    bool wildcard = false;

    template <typename RuleSink>
    bool Read(std::string_view text, RuleSink&& sink) const {
        bool found = false;
        bool inGroup = false;
        bool groupMatches = false;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
            const auto line = SplitLine(text.substr(start, end - start));
            start = end + 1;
            if (!line) {
                continue;
            }
            if (line->key == "user-agent") {
                // A user-agent line after rules starts the next group.
                if (!inGroup) {
                    groupMatches = false;
                    inGroup = true;
                }
                groupMatches = groupMatches || Names(line->value);
                found = found || groupMatches;
            } else if (line->key == "allow" || line->key == "disallow" ||
                       line->key == "crawl-delay") {
                inGroup = false;
                if (groupMatches) {
                    sink(line->key, line->value);
                }
            }
        }
        return found;
    }

    bool Names(std::string_view value) const {
        if (wildcard) {
            return value == "*";
        }
        const std::string_view product = ProductTokenOf(value);
        return !product.empty() && EqualsIgnoreCase(product, token);
    }
};

}  // namespace

CRobotsRules CRobotsRules::Parse(std::string_view text, std::string_view productToken) {
    CRobotsRules rules;
    const auto sink = [&rules](const std::string& key, std::string_view value) {
        if (key == "crawl-delay") {
            if (const auto delay = ParseDelayMs(value)) {
                rules.m_crawlDelayMs = std::max(rules.m_crawlDelayMs, *delay);
            }
        } else if (!value.empty()) {
            // An empty Disallow disallows nothing; an empty Allow allows
            // what is allowed anyway.
            rules.m_rules.push_back({std::string(value), key == "allow"});
        }
    };
    if (!GroupReader{productToken, false}.Read(text, sink)) {
        GroupReader{productToken, true}.Read(text, sink);
    }
    return rules;
}

CRobotsRules CRobotsRules::DisallowAll() {
    CRobotsRules rules;
    rules.m_rules.push_back({"/", false});
    return rules;
}

bool CRobotsRules::IsAllowed(std::string_view target) const {
    if (target.empty()) {
        target = "/";
    }
    // The file itself is always there to be read.
    if (target == "/robots.txt") {
        return true;
    }
    std::size_t bestLength = 0;
    bool allowed = true;
    for (const Rule& rule : m_rules) {
        if (!MatchesRobotsPattern(rule.pattern, target)) {
            continue;
        }
        const std::size_t length = rule.pattern.size();
        if (length > bestLength || (length == bestLength && rule.allow)) {
            bestLength = length;
            allowed = rule.allow;
        }
    }
    return allowed;
}

bool MatchesRobotsPattern(std::string_view pattern, std::string_view target) {
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) {
        pattern.remove_suffix(1);
    }
    // Greedy matching with one backtrack point per "*", as for shell globs.
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (true) {
        if (p == pattern.size() && (!anchored || t == target.size())) {
            return true;
        }
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && t < target.size() && pattern[p] == target[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos && starT < target.size()) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
}
