// A project's ordered include and exclude patterns on whole URLs: globs
// ("*" any run of characters, "?" any one) or, after "re:", ECMAScript
// regular expressions that may match anywhere in the URL. The last pattern
// that matches decides; a URL that none matches follows the other rules.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

class CStream;

class CUrlPatterns {
public:
    enum class Verdict { None, Include, Exclude };

    struct Pattern {
        bool include = true;
        // As the user wrote it, "re:" included.
        std::string text;
    };

    // A pattern line as the front ends take it: "+pattern" includes,
    // "-pattern" excludes. False, with nothing added, for a line without
    // either sign, an empty pattern or a regular expression that does not
    // compile; error then says why.
    bool AddLine(std::string_view line, std::string& error);
    // False, with nothing added, for an empty pattern or a bad expression.
    bool Add(bool include, std::string text, std::string& error);
    void RemoveAt(std::size_t index);
    void Clear();

    const std::vector<Pattern>& GetPatterns() const { return m_patterns; }
    bool IsEmpty() const { return m_patterns.empty(); }
    // "+pattern" or "-pattern".
    static std::string FormatLine(const Pattern& pattern);

    Verdict Decide(std::string_view url) const;
    // The index of the pattern that decides, or none; what the project
    // sheet's test box shows.
    std::optional<std::size_t> FindDecidingPattern(std::string_view url) const;

    // Count, then each pattern: include (bool), text (string). Load throws
    // ERR_STREAM_DATA, changing nothing, for a negative count, an empty
    // pattern or an expression that does not compile.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

private:
    struct Compiled {
        // Empty for a glob.
        std::shared_ptr<const std::regex> expression;
    };

    static bool Matches(const Pattern& pattern, const Compiled& compiled, std::string_view url);

    std::vector<Pattern> m_patterns;
    std::vector<Compiled> m_compiled;
};

// Whether a glob of "*" and "?" matches the whole of text.
bool MatchesGlob(std::string_view glob, std::string_view text);
