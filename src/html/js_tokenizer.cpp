#include "html/js_tokenizer.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "html/html_charset.h"

namespace {

// The words after which a "/" starts a regular expression, as after an operator.
constexpr std::array<std::string_view, 14> kOperatorWords = {
    "return", "typeof", "instanceof", "in", "of",   "new",   "delete",
    "void",   "throw",  "case",       "do", "else", "yield", "await",
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool IsWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || IsDigit(c) || c == '_' ||
           c == '$' || c == '\\' || byte >= 0x80;
}

// The length of the Unicode space (not a line end) that text starts with, in
// UTF-8, or 0: no-break space, byte-order mark, and the spaces of class Zs.
std::size_t UnicodeSpaceLength(std::string_view text) {
    if (text.starts_with("\xC2\xA0")) {
        return 2;
    }
    if (text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xE3\x80\x80") ||
        text.starts_with("\xE2\x81\x9F") || text.starts_with("\xE1\x9A\x80")) {
        return 3;
    }
    if (text.size() >= 3 && text.starts_with("\xE2\x80")) {
        const auto last = static_cast<unsigned char>(text[2]);
        return (last >= 0x80 && last <= 0x8A) || last == 0xAF ? 3 : 0;
    }
    return 0;
}

// The value of count hex digits from at, which moves past them; -1 when
// one of them is no hex digit.
std::int64_t ReadHex(std::string_view text, std::size_t& at, std::size_t count) {
    std::int64_t value = 0;
    for (std::size_t i = 0; i < count; ++i, ++at) {
        const int digit = at < text.size() ? HexValue(text[at]) : -1;
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

bool CJsTokenizer::Fail() {
    m_failed = true;
    m_at = m_source.size();
    return false;
}

std::size_t CJsTokenizer::LineEndLength() const {
    if (StartsWith("\r\n")) {
        return 2;
    }
    if (m_at < m_source.size() && (m_source[m_at] == '\n' || m_source[m_at] == '\r')) {
        return 1;
    }
    return StartsWith("\xE2\x80\xA8") || StartsWith("\xE2\x80\xA9") ? 3 : 0;
}

bool CJsTokenizer::NextString(std::string& value) {
    while (SkipBlanks() && m_at < m_source.size()) {
        const char c = m_source[m_at];
        if (c == '"' || c == '\'') {
            ++m_at;
            m_regexAllowed = false;
            m_propertyNext = false;
            return ReadString(c, value);
        }
        if (c == '`' ||
            (c == '}' && !m_substitutionBraces.empty() && m_substitutionBraces.back() == 0)) {
            bool whole = false;
            if (!ReadTemplateToken(value, whole)) {
                return false;
            }
            if (whole) {
                return true;
            }
        } else if (c == '/' && m_regexAllowed) {
            if (!SkipRegularExpression()) {
                return false;
            }
        } else if (IsDigit(c) ||
                   (c == '.' && m_at + 1 < m_source.size() && IsDigit(m_source[m_at + 1]))) {
            SkipNumber();
        } else if (IsWordByte(c)) {
            // A property's name is no keyword: "a.return / b" divides.
            const std::string_view word = ReadWord();
            m_regexAllowed =
                !m_propertyNext && std::find(kOperatorWords.begin(), kOperatorWords.end(), word) !=
                                       kOperatorWords.end();
        } else {
            ReadPunctuator();
            continue;
        }
        m_propertyNext = false;
    }
    // A substitution left open leaves its template open.
    return m_substitutionBraces.empty() ? false : Fail();
}

// A "}" that ends a substitution goes on with its template; whole when the
// token is a template without substitutions, which is a string.
bool CJsTokenizer::ReadTemplateToken(std::string& value, bool& whole) {
    const bool opens = m_source[m_at] == '`';
    if (!opens) {
        m_substitutionBraces.pop_back();
    }
    ++m_at;
    TemplatePart part = TemplatePart::Complete;
    if (!ReadTemplate(value, part)) {
        return false;
    }
    m_regexAllowed = part == TemplatePart::Substitution;
    if (part == TemplatePart::Substitution) {
        m_substitutionBraces.push_back(0);
    }
    whole = opens && part == TemplatePart::Complete;
    return true;
}

bool CJsTokenizer::SkipBlanks() {
    while (m_at < m_source.size()) {
        const std::size_t before = m_at;
        if (!SkipBlank()) {
            return false;
        }
        if (m_at == before) {
            return true;
        }
    }
    return true;
}

bool CJsTokenizer::SkipBlank() {
    const char c = m_source[m_at];
    if (const std::size_t lineEnd = LineEndLength()) {
        m_at += lineEnd;
        m_lineStart = true;
    } else if (c == ' ' || c == '\t' || c == '\v' || c == '\f') {
        ++m_at;
    } else if (const std::size_t space = UnicodeSpaceLength(m_source.substr(m_at))) {
        m_at += space;
    } else if (StartsWith("//") || (m_at == 0 && StartsWith("#!")) ||
               (m_htmlComments && (StartsWith("<!--") || (m_lineStart && StartsWith("-->"))))) {
        SkipToLineEnd();
    } else if (StartsWith("/*")) {
        const std::size_t end = m_source.find("*/", m_at + 2);
        if (end == std::string_view::npos) {
            return Fail();
        }
        // A comment across lines ends a line, for "-->" as for anything else.
        for (; m_at < end; ++m_at) {
            m_lineStart = m_lineStart || LineEndLength() > 0;
        }
        m_at = end + 2;
    }
    return true;
}

void CJsTokenizer::SkipToLineEnd() {
    while (m_at < m_source.size() && LineEndLength() == 0) {
        ++m_at;
    }
}

bool CJsTokenizer::ReadString(char quote, std::string& value) {
    value.clear();
    m_lineStart = false;
    while (m_at < m_source.size()) {
        const char c = m_source[m_at];
        if (c == quote) {
            ++m_at;
            return true;
        }
        if (c == '\n' || c == '\r') {
            return Fail();
        }
        ++m_at;
        if (c != '\\') {
            value += c;
        } else if (!ReadEscape(value)) {
            return false;
        }
    }
    return Fail();
}

bool CJsTokenizer::ReadTemplate(std::string& value, TemplatePart& part) {
    value.clear();
    m_lineStart = false;
    while (m_at < m_source.size()) {
        const char c = m_source[m_at];
        if (c == '`') {
            ++m_at;
            part = TemplatePart::Complete;
            return true;
        }
        if (StartsWith("${")) {
            m_at += 2;
            part = TemplatePart::Substitution;
            return true;
        }
        // Its line ends are read as line feeds, whichever were written.
        if (const std::size_t lineEnd = c == '\r' ? LineEndLength() : 0) {
            m_at += lineEnd;
            value += '\n';
            continue;
        }
        ++m_at;
        if (c != '\\') {
            value += c;
        } else if (!ReadEscape(value)) {
            return false;
        }
    }
    return Fail();
}

bool CJsTokenizer::ReadEscape(std::string& value) {
    if (m_at >= m_source.size()) {
        return Fail();
    }
    // A line continuation stands for nothing.
    if (const std::size_t lineEnd = LineEndLength()) {
        m_at += lineEnd;
        return true;
    }
    const char c = m_source[m_at++];
    switch (c) {
        case 'n':
            value += '\n';
            return true;
        case 't':
            value += '\t';
            return true;
        case 'r':
            value += '\r';
            return true;
        case 'b':
            value += '\b';
            return true;
        case 'f':
            value += '\f';
            return true;
        case 'v':
            value += '\v';
            return true;
        case 'x': {
            const std::int64_t code = ReadHex(m_source, m_at, 2);
            if (code < 0) {
                return Fail();
            }
            html_charset::AppendUtf8(value, static_cast<char32_t>(code));
            return true;
        }
        case 'u':
            return ReadUnicodeEscape(value);
        default:
            break;
    }
    if (c >= '0' && c <= '7') {
        // A legacy octal escape: up to three digits, at most \377.
        std::uint32_t code = static_cast<std::uint32_t>(c - '0');
        const std::size_t more = c <= '3' ? 2 : 1;
        for (std::size_t i = 0;
             i < more && m_at < m_source.size() && m_source[m_at] >= '0' && m_source[m_at] <= '7';
             ++i) {
            code = code * 8 + static_cast<std::uint32_t>(m_source[m_at++] - '0');
        }
        html_charset::AppendUtf8(value, static_cast<char32_t>(code));
        return true;
    }
    value += c;
    return true;
}

// \uXXXX or \u{X...}; a surrogate pair written as two escapes is one
// character, a lone surrogate the replacement character.
bool CJsTokenizer::ReadUnicodeEscape(std::string& value) {
    std::int64_t code = -1;
    if (StartsWith("{")) {
        const std::size_t close = m_source.find('}', m_at);
        const std::size_t digits = close == std::string_view::npos ? 0 : close - m_at - 1;
        ++m_at;
        code = digits > 0 && digits <= 8 ? ReadHex(m_source, m_at, digits) : -1;
        ++m_at;
    } else {
        code = ReadHex(m_source, m_at, 4);
    }
    if (code < 0 || code > 0x10FFFF) {
        return Fail();
    }
    if (code >= 0xD800 && code <= 0xDBFF && StartsWith("\\u")) {
        std::size_t next = m_at + 2;
        const std::int64_t low = ReadHex(m_source, next, 4);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            m_at = next;
        }
    }
    html_charset::AppendUtf8(
        value, code >= 0xD800 && code <= 0xDFFF ? U'\uFFFD' : static_cast<char32_t>(code));
    return true;
}

// A class in brackets may hold a "/" of its own.
bool CJsTokenizer::SkipRegularExpression() {
    bool inClass = false;
    for (++m_at; m_at < m_source.size(); ++m_at) {
        if (LineEndLength() > 0) {
            return Fail();
        }
        const char c = m_source[m_at];
        if (c == '\\') {
            ++m_at;
            if (m_at >= m_source.size() || LineEndLength() > 0) {
                return Fail();
            }
        } else if (c == '[') {
            inClass = true;
        } else if (c == ']') {
            inClass = false;
        } else if (c == '/' && !inClass) {
            ++m_at;
            ReadWord();  // the flags
            m_regexAllowed = false;
            m_lineStart = false;
            return true;
        }
    }
    return Fail();
}

void CJsTokenizer::SkipNumber() {
    const bool hex = StartsWith("0x") || StartsWith("0X");
    while (m_at < m_source.size() && (IsWordByte(m_source[m_at]) || m_source[m_at] == '.')) {
        const char c = m_source[m_at++];
        if (!hex && (c == 'e' || c == 'E') && m_at < m_source.size() &&
            (m_source[m_at] == '+' || m_source[m_at] == '-')) {
            ++m_at;
        }
    }
    m_regexAllowed = false;
    m_lineStart = false;
}

std::string_view CJsTokenizer::ReadWord() {
    const std::size_t begin = m_at;
    while (m_at < m_source.size() && IsWordByte(m_source[m_at]) &&
           UnicodeSpaceLength(m_source.substr(m_at)) == 0 && LineEndLength() == 0) {
        ++m_at;
    }
    m_lineStart = false;
    return m_source.substr(begin, m_at - begin);
}

// After a closing bracket, or "++" and "--" that end an operand, a "/" divides.
void CJsTokenizer::ReadPunctuator() {
    const char c = m_source[m_at++];
    m_lineStart = false;
    m_propertyNext = c == '.';
    if ((c == '+' || c == '-') && m_at < m_source.size() && m_source[m_at] == c) {
        ++m_at;
        m_regexAllowed = false;
        return;
    }
    if (!m_substitutionBraces.empty()) {
        if (c == '{') {
            ++m_substitutionBraces.back();
        } else if (c == '}') {
            --m_substitutionBraces.back();
        }
    }
    m_regexAllowed = c != ')' && c != ']' && c != '}';
}
