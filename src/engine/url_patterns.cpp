#include "engine/url_patterns.h"

#include <cstdint>

#include "base/errors.h"
#include "base/stream.h"

namespace {

constexpr std::string_view kRegexPrefix = "re:";

}  // namespace

bool MatchesGlob(std::string_view glob, std::string_view text) {
    std::size_t g = 0, t = 0;
    std::size_t starG = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (g < glob.size() && (glob[g] == '?' || glob[g] == text[t])) {
            ++g;
            ++t;
        } else if (g < glob.size() && glob[g] == '*') {
            starG = g++;
            starT = t;
        } else if (starG != std::string_view::npos) {
            g = starG + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') {
        ++g;
    }
    return g == glob.size();
}

bool CUrlPatterns::AddLine(std::string_view line, std::string& error) {
    if (line.empty() || (line.front() != '+' && line.front() != '-')) {
        error = "a URL pattern starts with + (include) or - (exclude)";
        return false;
    }
    return Add(line.front() == '+', std::string(line.substr(1)), error);
}

bool CUrlPatterns::Add(bool include, std::string text, std::string& error) {
    Compiled compiled;
    if (text.empty() || text == kRegexPrefix) {
        error = "a URL pattern must not be empty";
        return false;
    }
    if (text.starts_with(kRegexPrefix)) {
        try {
            compiled.expression = std::make_shared<const std::regex>(
                text.substr(kRegexPrefix.size()), std::regex::ECMAScript);
        } catch (const std::regex_error& e) {
            error = "the regular expression " + text + " does not compile: " + e.what();
            return false;
        }
    }
    m_patterns.push_back({include, std::move(text)});
    m_compiled.push_back(std::move(compiled));
    return true;
}

void CUrlPatterns::RemoveAt(std::size_t index) {
    if (index < m_patterns.size()) {
        m_patterns.erase(m_patterns.begin() + static_cast<std::ptrdiff_t>(index));
        m_compiled.erase(m_compiled.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void CUrlPatterns::Clear() {
    m_patterns.clear();
    m_compiled.clear();
}

std::string CUrlPatterns::FormatLine(const Pattern& pattern) {
    return (pattern.include ? "+" : "-") + pattern.text;
}

CUrlPatterns::Verdict CUrlPatterns::Decide(std::string_view url) const {
    const std::optional<std::size_t> deciding = FindDecidingPattern(url);
    if (!deciding) {
        return Verdict::None;
    }
    return m_patterns[*deciding].include ? Verdict::Include : Verdict::Exclude;
}

std::optional<std::size_t> CUrlPatterns::FindDecidingPattern(std::string_view url) const {
    for (std::size_t i = m_patterns.size(); i-- > 0;) {
        if (Matches(m_patterns[i], m_compiled[i], url)) {
            return i;
        }
    }
    return std::nullopt;
}

bool CUrlPatterns::Matches(const Pattern& pattern, const Compiled& compiled, std::string_view url) {
    if (compiled.expression) {
        return std::regex_search(url.begin(), url.end(), *compiled.expression);
    }
    return MatchesGlob(pattern.text, url);
}

void CUrlPatterns::Store(CStream& stream) const {
    stream << static_cast<std::int32_t>(m_patterns.size());
    for (const Pattern& pattern : m_patterns) {
        stream << pattern.include << pattern.text;
    }
}

void CUrlPatterns::Load(CStream& stream) {
    std::int32_t count = 0;
    stream >> count;
    if (count < 0) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    CUrlPatterns loaded;
    for (std::int32_t i = 0; i < count; ++i) {
        bool include = false;
        std::string text, error;
        stream >> include >> text;
        if (!loaded.Add(include, std::move(text), error)) {
            ThrowStreamException(ERR_STREAM_DATA);
        }
    }
    *this = std::move(loaded);
}
