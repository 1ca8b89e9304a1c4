#include "html/css_links.h"

#include <optional>

#include "base/ascii.h"
#include "html/html_charset.h"

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsNewline(char c) {
    return c == '\n' || c == '\r' || c == '\f';
}

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || IsNewline(c);
}

bool IsNameChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || byte >= 0x80;
}

bool IsNonPrintable(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x08 || byte == 0x0B || (byte >= 0x0E && byte <= 0x1F) || byte == 0x7F;
}

void AppendCssCharacter(std::string& text, char32_t code) {
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        code = kReplacementCharacter;
    }
    html_charset::AppendUtf8(text, code);
}

// Reads a sheet token by token as far as links need: comments, strings,
// names with their escapes, and url tokens; every other byte is passed over.
class CCssScanner {
public:
    explicit CCssScanner(std::string_view sheet) : m_sheet(sheet) {}

    std::vector<CssLink> Scan() {
        while (!AtEnd()) {
            ScanToken();
        }
        return std::move(m_links);
    }

private:
    bool AtEnd() const { return m_pos >= m_sheet.size(); }
    bool Has(std::size_t ahead) const { return m_pos + ahead < m_sheet.size(); }
    char At(std::size_t ahead) const { return m_sheet[m_pos + ahead]; }
    bool IsEscapeAt(std::size_t ahead) const {
        return Has(ahead + 1) && At(ahead) == '\\' && !IsNewline(At(ahead + 1));
    }

    void ScanToken() {
        const char c = At(0);
        if (c == '/' && Has(1) && At(1) == '*') {
            SkipComment();
        } else if (c == '"' || c == '\'') {
            const std::size_t begin = m_pos;
            const std::optional<std::string> text = ConsumeString(c);
            if (text && m_importPending) {
                Add(begin, m_pos, true, *text);
            }
            m_importPending = false;
        } else if (c == '@') {
            ++m_pos;
            m_importPending = EqualsIgnoreCase(ConsumeName(), "import");
        } else if (IsNameChar(c) || IsEscapeAt(0)) {
            const bool isUrl = EqualsIgnoreCase(ConsumeName(), "url") && !AtEnd() && At(0) == '(';
            m_importPending = false;
            if (isUrl) {
                ++m_pos;
                ConsumeUrl();
            }
        } else {
            // White space keeps an @import waiting for its address.
            m_importPending = m_importPending && IsWhitespace(c);
            ++m_pos;
        }
    }

    void SkipComment() {
        const std::size_t end = m_sheet.find("*/", m_pos + 2);
        m_pos = end == std::string_view::npos ? m_sheet.size() : end + 2;
    }

    void SkipWhitespace() {
        while (!AtEnd() && IsWhitespace(At(0))) {
            ++m_pos;
        }
    }

    // At a backslash that starts an escape; appends what it stands for.
    void ConsumeEscape(std::string& text) {
        ++m_pos;
        if (AtEnd()) {
            AppendCssCharacter(text, kReplacementCharacter);
            return;
        }
        if (!IsHexDigit(At(0))) {
            text += At(0);
            ++m_pos;
            return;
        }
        char32_t code = 0;
        for (int digits = 0; digits < 6 && !AtEnd() && IsHexDigit(At(0)); ++digits, ++m_pos) {
            code = code * 16 + static_cast<char32_t>(HexDigitValue(At(0)));
        }
        if (!AtEnd() && IsWhitespace(At(0))) {
            m_pos += (At(0) == '\r' && Has(1) && At(1) == '\n') ? 2 : 1;
        }
        AppendCssCharacter(text, code);
    }

    std::string ConsumeName() {
        std::string name;
        while (!AtEnd()) {
            if (IsNameChar(At(0))) {
                name += At(0);
                ++m_pos;
            } else if (IsEscapeAt(0)) {
                ConsumeEscape(name);
            } else {
                break;
            }
        }
        return name;
    }

    // At the opening quote. Empty for a string that a line end breaks, which
    // stays in the sheet for the next token; the sheet's end closes one.
    std::optional<std::string> ConsumeString(char quote) {
        std::string text;
        for (++m_pos; !AtEnd();) {
            const char c = At(0);
            if (c == quote) {
                ++m_pos;
                break;
            }
            if (IsNewline(c)) {
                return std::nullopt;
            }
            if (c != '\\') {
                text += c;
                ++m_pos;
            } else if (!Has(1)) {
                ++m_pos;
            } else if (IsNewline(At(1))) {
                m_pos += (At(1) == '\r' && Has(2) && At(2) == '\n') ? 3 : 2;
            } else {
                ConsumeEscape(text);
            }
        }
        return text;
    }

    // After "url(": a quoted address or an unquoted url token.
    void ConsumeUrl() {
        SkipWhitespace();
        if (!AtEnd() && (At(0) == '"' || At(0) == '\'')) {
            const std::size_t begin = m_pos;
            if (const std::optional<std::string> text = ConsumeString(At(0))) {
                Add(begin, m_pos, true, *text);
            }
            return;
        }
        ConsumeUnquotedUrl();
    }

    void ConsumeUnquotedUrl() {
        const std::size_t begin = m_pos;
        std::string address;
        while (!AtEnd()) {
            const char c = At(0);
            if (c == ')') {
                Add(begin, m_pos, false, address);
                ++m_pos;
                return;
            }
            if (IsWhitespace(c)) {
                const std::size_t end = m_pos;
                SkipWhitespace();
                if (AtEnd() || At(0) == ')') {
                    Add(begin, end, false, address);
                    m_pos += AtEnd() ? 0 : 1;
                } else {
                    SkipBadUrl();
                }
                return;
            }
            if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c) ||
                (c == '\\' && !IsEscapeAt(0))) {
                SkipBadUrl();
                return;
            }
            if (c == '\\') {
                ConsumeEscape(address);
            } else {
                address += c;
                ++m_pos;
            }
        }
        Add(begin, m_pos, false, address);
    }

    // The rest of a url token that is no address, up to its ")".
    void SkipBadUrl() {
        while (!AtEnd()) {
            if (At(0) == ')') {
                ++m_pos;
                return;
            }
            if (IsEscapeAt(0)) {
                std::string ignored;
                ConsumeEscape(ignored);
            } else {
                ++m_pos;
            }
        }
    }

    void Add(std::size_t begin, std::size_t end, bool quoted, const std::string& address) {
        const std::string_view trimmed = TrimAscii(address, " \t\n\r\f");
        if (!IsInertReference(trimmed)) {
            m_links.push_back({begin, end, quoted, std::string(trimmed)});
        }
    }

    std::string_view m_sheet;
    std::size_t m_pos = 0;
    bool m_importPending = false;
    std::vector<CssLink> m_links;
};

void AppendHexEscape(std::string& text, char c) {
    const auto byte = static_cast<unsigned char>(c);
    text += '\\';
    if (byte >= 0x10) {
        text += kLowerHexDigits[byte >> 4];
    }
    text += kLowerHexDigits[byte & 0x0F];
    text += ' ';
}

// A link written back must not end the style element or attribute that the
// sheet stands in, whatever reads it: "<" and ">" (which could spell an end
// tag or end a comment) and both quotes are escaped as CSS escapes, which
// read back as the same characters.
bool EndsMarkup(char c) {
    return c == '<' || c == '>' || c == '"' || c == '\'';
}

std::string QuoteString(const std::string& text, char quote) {
    std::string quoted(1, quote);
    for (const char c : text) {
        if (EndsMarkup(c) || c == '\\' || IsNewline(c)) {
            AppendHexEscape(quoted, c);
        } else {
            quoted += c;
        }
    }
    return quoted + quote;
}

std::string EscapeUnquotedUrl(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (IsWhitespace(c) || EndsMarkup(c) || c == '(' || c == ')' || c == '\\' ||
            IsNonPrintable(c)) {
            AppendHexEscape(escaped, c);
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::vector<CssLink> FindCssLinks(std::string_view sheet) {
    return CCssScanner(sheet).Scan();
}

std::string RewriteCssLinks(std::string_view sheet,
                            const std::function<std::string(const std::string&)>& replace) {
    std::string rewritten;
    std::size_t copied = 0;
    for (const CssLink& link : FindCssLinks(sheet)) {
        const std::string replacement = replace(link.address);
        if (replacement.empty()) {
            continue;
        }
        rewritten.append(sheet.substr(copied, link.begin - copied));
        rewritten += link.quoted ? QuoteString(replacement, sheet[link.begin])
                                 : EscapeUnquotedUrl(replacement);
        copied = link.end;
    }
    rewritten.append(sheet.substr(copied));
    return rewritten;
}

bool IsInertReference(std::string_view reference) {
    reference = TrimAscii(reference, " \t\n\r\f");
    return reference.empty() || reference.front() == '#' ||
           StartsWithIgnoreCase(reference, "data:") ||
           StartsWithIgnoreCase(reference, "javascript:") ||
           StartsWithIgnoreCase(reference, "about:");
}
