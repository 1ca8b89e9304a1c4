// Reads a script by the lexical grammar of ECMAScript, far enough to tell its
// string literals from its comments, regular expressions and code: a quote
// inside a comment or a regular expression opens no string, and "//" inside
// a string comments nothing out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CJsTokenizer {
public:
    // With htmlComments, "<!--" and a "-->" that starts a line begin a
    // comment to the line's end, as they do in a classic script of a page.
    explicit CJsTokenizer(std::string_view source, bool htmlComments = true)
        : m_source(source), m_htmlComments(htmlComments) {}

    // The value of the next string literal, or template literal without
    // substitutions, with its escapes decoded, in UTF-8. False at the end
    // of the script and where it stops reading as one (a literal or
    // comment left open, a broken escape); IsComplete tells the two apart.
    bool NextString(std::string& value);
    bool IsComplete() const { return !m_failed; }

private:
    enum class TemplatePart { Complete, Substitution };

    // Skips white space, line ends and comments; false when a comment is
    // left open.
    bool SkipBlanks();
    bool SkipBlank();
    void SkipToLineEnd();
    bool ReadString(char quote, std::string& value);
    // Reads the template from just past its "`" or the "}" that ends a
    // substitution, to its closing "`" or the next "${".
    bool ReadTemplate(std::string& value, TemplatePart& part);
    bool ReadTemplateToken(std::string& value, bool& whole);
    bool ReadEscape(std::string& value);
    bool ReadUnicodeEscape(std::string& value);
    bool SkipRegularExpression();
    void SkipNumber();
    // The word at the position; the position moves past it.
    std::string_view ReadWord();
    void ReadPunctuator();
    bool Fail();

    bool StartsWith(std::string_view text) const { return m_source.substr(m_at).starts_with(text); }
    // The length of the line end at the position, or 0.
    std::size_t LineEndLength() const;

    std::string_view m_source;
    std::size_t m_at = 0;
    bool m_htmlComments;
    bool m_failed = false;
    // Whether a "/" here starts a regular expression rather than a division.
    bool m_regexAllowed = true;
    // The last token was a ".", so a word names a property.
    bool m_propertyNext = false;
    // Nothing but blanks and comments since the last line end.
    bool m_lineStart = true;
    // For each open template substitution, the braces opened inside it.
    std::vector<std::size_t> m_substitutionBraces;
};
