#include "html/tag_scanner.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "html/html_charset.h"

namespace {

constexpr std::string_view kHtmlSpace = " \t\n\f\r";
constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsHtmlSpace(char c) {
    return kHtmlSpace.find(c) != std::string_view::npos;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlphanumeric(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

// Whether an end tag of the name starts at `at`: "</", the name in any case,
// and a blank, "/" or ">".
bool IsEndTagAt(std::string_view page, std::size_t at, std::string_view name) {
    const std::size_t after = at + 2 + name.size();
    return page.substr(at).starts_with("</") && after < page.size() &&
           EqualsIgnoreCase(page.substr(at + 2, name.size()), name) &&
           (IsHtmlSpace(page[after]) || page[after] == '/' || page[after] == '>');
}

// What a numeric reference to a C1 control stands for: browsers read such
// references as the windows-1252 characters of those bytes.
char32_t ReplaceC1Control(char32_t code) {
    static constexpr char32_t kWindows1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return code >= 0x80 && code <= 0x9F ? kWindows1252[code - 0x80] : code;
}

// The character of the numeric reference after "&#" at text's start, and its
// length with the ";" when there is one; none when no digit follows, which
// leaves the "&#" as it is.
std::optional<std::pair<char32_t, std::size_t>> ReadNumericReference(std::string_view text) {
    const bool hex = !text.empty() && (text[0] == 'x' || text[0] == 'X');
    std::size_t at = hex ? 1 : 0;
    const std::size_t digitsBegin = at;
    std::uint32_t code = 0;
    for (; at < text.size(); ++at) {
        const int digit = hex                                    ? HexDigitValue(text[at])
                          : (text[at] >= '0' && text[at] <= '9') ? text[at] - '0'
                                                                 : -1;
        if (digit < 0) {
            break;
        }
        // Past the last character every value reads the same.
        code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit),
                                       0x110000);
    }
    if (at == digitsBegin) {
        return std::nullopt;
    }
    const std::size_t length = at < text.size() && text[at] == ';' ? at + 1 : at;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::make_pair(kReplacementCharacter, length);
    }
    return std::make_pair(ReplaceC1Control(code), length);
}

// The code point of the UTF-8 character of the given length at text's start.
char32_t ReadUtf8Char(std::string_view text, std::size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t code = static_cast<unsigned char>(text[0]) & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    return code;
}

}  // namespace

std::string EscapeAttributeText(std::string_view value, bool unquoted, bool asciiOnly) {
    std::string escaped;
    escaped.reserve(value.size() + 8);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const std::size_t length = asciiOnly && !IsAscii(value.substr(i, 1))
                                       ? html_charset::Utf8CharLength(value.substr(i))
                                       : 0;
        if (length > 1) {
            escaped +=
                "&#" +
                std::to_string(static_cast<std::uint32_t>(ReadUtf8Char(value.substr(i), length))) +
                ";";
            i += length - 1;
            continue;
        }
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '\r':
                escaped += "&#13;";
                break;
            default:
                if (unquoted && (IsHtmlSpace(c) || c == '=' || c == '`')) {
                    escaped += "&#" + std::to_string(static_cast<int>(c)) + ";";
                } else {
                    escaped += c;
                }
        }
    }
    return escaped;
}

bool ScannedAttribute::ReadsAsWritten() const {
    return FindFirstOf(value, std::string_view("&\0", 2)) == std::string_view::npos;
}

bool ScannedTag::Is(std::string_view lowerName) const {
    return EqualsIgnoreCase(name, lowerName);
}

const ScannedAttribute* ScannedTag::Find(std::string_view lowerName) const {
    const auto found = std::find_if(attributes.begin(), attributes.end(), [&](const auto& a) {
        return EqualsIgnoreCase(a.name, lowerName);
    });
    return found == attributes.end() ? nullptr : &*found;
}

std::string ReadDeclaredCharset(const ScannedTag& meta) {
    if (const ScannedAttribute* charset = meta.Find("charset")) {
        return html_charset::DeclaredEncoding(TrimAscii(charset->value));
    }
    const ScannedAttribute* equiv = meta.Find("http-equiv");
    const ScannedAttribute* content = meta.Find("content");
    if (!equiv || !content || !EqualsIgnoreCase(TrimAscii(equiv->value), "content-type")) {
        return {};
    }
    const std::string type = ToLowerAscii(content->value);
    const std::size_t at = type.find("charset=");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t end = std::min(type.find_first_of(";\"' ", at + 8), type.size());
    return html_charset::DeclaredEncoding(
        TrimAscii(std::string_view(type).substr(at + 8, end - at - 8)));
}

std::optional<ScannedAttribute> FindFirstBaseHref(std::string_view page) {
    // Most pages have no base at all, and are not read twice for it.
    constexpr std::string_view kBaseTag = "<base";
    const auto baseTag = std::search(page.begin(), page.end(), kBaseTag.begin(), kBaseTag.end(),
                                     [](char a, char b) { return ToLowerAscii(a) == b; });
    if (baseTag == page.end()) {
        return std::nullopt;
    }
    CTagScanner scanner(page);
    ScannedTag tag;
    while (scanner.Next(tag)) {
        if (const ScannedAttribute* href = tag.Is("base") ? tag.Find("href") : nullptr) {
            return *href;
        }
    }
    return std::nullopt;
}

bool CTagScanner::Fail() {
    m_certain = false;
    m_at = m_page.size();
    return false;
}

bool CTagScanner::Next(ScannedTag& tag) {
    while (m_certain && (m_at = m_page.find('<', m_at)) != std::string_view::npos) {
        if (m_at + 1 >= m_page.size()) {
            break;  // a "<" that the page ends in is text
        }
        const char next = m_page[m_at + 1];
        if (IsAsciiLetter(next)) {
            if (ReadTag(tag, m_at + 1)) {
                return TakeStartTag(tag);
            }
        } else if (next == '/') {
            ReadEndTag();
        } else if (next == '!') {
            SkipMarkupDeclaration();
        } else if (next == '?') {
            SkipPastGreaterThan(m_at + 1);  // a bogus comment
        } else {
            ++m_at;  // a "<" that starts no tag is text
        }
    }
    m_at = m_page.size();
    return false;
}

bool CTagScanner::TakeStartTag(ScannedTag& tag) {
    if (!m_elements.StartTag(tag, tag.text)) {
        return Fail();
    }
    SkipText(tag);
    return true;
}

void CTagScanner::ReadEndTag() {
    const std::size_t nameBegin = m_at + 2;
    if (nameBegin >= m_page.size()) {
        m_at = m_page.size();  // "</" at the page's end is text
    } else if (IsAsciiLetter(m_page[nameBegin])) {
        if (ReadTag(m_endTag, nameBegin) && !std::exchange(m_rawTextEnds, false) &&
            !m_elements.EndTag(ToLowerAscii(m_endTag.name))) {
            Fail();
        }
    } else if (m_page[nameBegin] == '>') {
        m_at = nameBegin + 1;  // "</>" is dropped
    } else {
        SkipPastGreaterThan(nameBegin);  // a bogus comment
    }
}

void CTagScanner::SkipMarkupDeclaration() {
    const std::string_view rest = m_page.substr(m_at);
    if (rest.starts_with("<!--")) {
        SkipComment();
    } else if (rest.starts_with("<![CDATA[") && m_elements.InForeignContent()) {
        const std::size_t close = m_page.find("]]>", m_at + 9);
        const std::size_t end = std::min(close, m_page.size());
        // In a multi-byte character set a "]" may be the second byte of a
        // character, which a byte-wise search would take for the end.
        if (!IsAscii(m_page.substr(m_at, end - m_at))) {
            Fail();
            return;
        }
        m_at = close == std::string_view::npos ? m_page.size() : close + 3;
    } else {
        SkipPastGreaterThan(m_at + 2);  // a document type, or a bogus comment
    }
}

// A comment ends at the first "-->" or "--!>" after its "<!--"; "<!-->" and
// "<!--->" are whole, empty comments.
void CTagScanner::SkipComment() {
    const std::size_t body = m_at + 4;
    for (const std::string_view empty : {">", "->"}) {
        if (m_page.substr(body).starts_with(empty)) {
            m_at = body + empty.size();
            return;
        }
    }
    for (std::size_t dashes = m_page.find("--", body); dashes != std::string_view::npos;
         dashes = m_page.find("--", dashes + 1)) {
        const std::string_view after = m_page.substr(dashes + 2);
        if (after.starts_with(">") || after.starts_with("!>")) {
            m_at = dashes + 2 + (after[0] == '>' ? 1 : 2);
            return;
        }
    }
    m_at = m_page.size();
}

void CTagScanner::SkipPastGreaterThan(std::size_t from) {
    const std::size_t found = m_page.find('>', from);
    m_at = found == std::string_view::npos ? m_page.size() : found + 1;
}

// The tag's attributes are read the way the tokenizer's attribute states
// read them; a "/" that is not followed by ">" only separates attributes.
bool CTagScanner::ReadTag(ScannedTag& tag, std::size_t nameBegin) {
    tag.begin = m_at;
    tag.attributes.clear();
    tag.selfClosing = false;
    tag.text = TextKind::Markup;
    tag.rawText = {};
    tag.rawTextBegin = 0;
    std::size_t at = std::min(FindFirstOf(m_page, " \t\n\f\r/>", nameBegin), m_page.size());
    tag.name = m_page.substr(nameBegin, at - nameBegin);
    while (at != std::string_view::npos) {
        while (at < m_page.size() && IsHtmlSpace(m_page[at])) {
            ++at;
        }
        if (at >= m_page.size()) {
            break;
        }
        if (m_page[at] == '>') {
            tag.end = m_at = at + 1;
            return true;
        }
        if (m_page[at] == '/') {
            if (at + 1 < m_page.size() && m_page[at + 1] == '>') {
                tag.selfClosing = true;
                tag.end = m_at = at + 2;
                return true;
            }
            ++at;
            continue;
        }
        at = ReadAttribute(tag, at);
    }
    m_at = m_page.size();
    return false;
}

std::size_t CTagScanner::ReadAttribute(ScannedTag& tag, std::size_t at) {
    ScannedAttribute& attribute = tag.attributes.emplace_back();
    attribute.begin = at;
    while (attribute.begin > tag.begin && IsHtmlSpace(m_page[attribute.begin - 1])) {
        --attribute.begin;
    }
    attribute.preceding = m_page[attribute.begin - 1];
    // The first character belongs to the name even when it is "=".
    const std::size_t nameEnd =
        std::min(FindFirstOf(m_page, " \t\n\f\r/>=", at + 1), m_page.size());
    attribute.name = m_page.substr(at, nameEnd - at);
    attribute.valueBegin = attribute.valueEnd = attribute.end = nameEnd;
    at = nameEnd;
    while (at < m_page.size() && IsHtmlSpace(m_page[at])) {
        ++at;
    }
    if (at >= m_page.size()) {
        return std::string_view::npos;
    }
    if (m_page[at] != '=') {
        attribute.following = m_page[nameEnd];
        return nameEnd;
    }
    ++at;
    while (at < m_page.size() && IsHtmlSpace(m_page[at])) {
        ++at;
    }
    if (at >= m_page.size()) {
        return std::string_view::npos;
    }
    attribute.valueBegin = at;
    if (m_page[at] == '>') {
        attribute.form = ValueForm::Empty;
        attribute.valueEnd = attribute.end = at;
        attribute.following = '>';
        return at;
    }
    if (m_page[at] == '"' || m_page[at] == '\'') {
        const std::size_t close = m_page.find(m_page[at], at + 1);
        if (close == std::string_view::npos) {
            return std::string_view::npos;
        }
        attribute.form = ValueForm::Quoted;
        attribute.quote = m_page[at];
        attribute.value = m_page.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        const std::size_t close = FindFirstOf(m_page, " \t\n\f\r>", at);
        if (close == std::string_view::npos) {
            return std::string_view::npos;
        }
        attribute.form = ValueForm::Unquoted;
        attribute.value = m_page.substr(at, close - at);
        at = close;
    }
    attribute.valueEnd = attribute.end = at;
    attribute.following = at < m_page.size() ? m_page[at] : '\0';
    return at;
}

void CTagScanner::SkipText(ScannedTag& tag) {
    if (tag.text == TextKind::Markup) {
        return;
    }
    const std::size_t end = tag.text == TextKind::PlainText    ? m_page.size()
                            : tag.text == TextKind::ScriptData ? FindScriptEnd()
                                                               : FindRawTextEnd(tag.name);
    tag.rawTextBegin = m_at;
    tag.rawText = m_page.substr(m_at, end - m_at);
    m_at = end;
    m_rawTextEnds = end < m_page.size();
}

std::size_t CTagScanner::FindRawTextEnd(std::string_view name) const {
    for (std::size_t at = m_page.find("</", m_at); at != std::string_view::npos;
         at = m_page.find("</", at + 2)) {
        if (IsEndTagAt(m_page, at, name)) {
            return at;
        }
    }
    return m_page.size();
}

// Script text ends at "</script" as raw text does, except that after "<!--"
// a "<script" opens a part where "</script" ends only that part, up to the
// next "-->".
std::size_t CTagScanner::FindScriptEnd() const {
    enum class State { Data, Escaped, DoubleEscaped } state = State::Data;
    std::size_t dashes = 0;  // the "-" just before, in an escaped part
    for (std::size_t at = m_at; at < m_page.size(); ++at) {
        const char c = m_page[at];
        if (state == State::Data) {
            if (IsEndTagAt(m_page, at, "script")) {
                return at;
            }
            if (m_page.substr(at).starts_with("<!--")) {
                state = State::Escaped;
                dashes = 2;
                at += 3;
            }
            continue;
        }
        if (c == '-') {
            ++dashes;
            continue;
        }
        if (c == '>' && dashes >= 2) {
            state = State::Data;
        } else if (c == '<') {
            const bool closing = at + 1 < m_page.size() && m_page[at + 1] == '/';
            if (state == State::Escaped && closing && IsEndTagAt(m_page, at, "script")) {
                return at;
            }
            // "<script" or "</script" and a blank, "/" or ">" switch the part.
            const std::size_t name = at + (closing ? 2 : 1);
            const std::size_t after = name + 6;
            const bool opens = state == State::Escaped && !closing;
            const bool closes = state == State::DoubleEscaped && closing;
            if ((opens || closes) && after < m_page.size() &&
                EqualsIgnoreCase(m_page.substr(name, 6), "script") &&
                (IsHtmlSpace(m_page[after]) || m_page[after] == '/' || m_page[after] == '>')) {
                state = opens ? State::DoubleEscaped : State::Escaped;
                at = after;
            }
        }
        dashes = 0;
    }
    return m_page.size();
}

std::optional<std::string> DecodeAttributeValue(std::string_view written) {
    std::string value;
    value.reserve(written.size());
    for (std::size_t i = 0; i < written.size();) {
        const char c = written[i];
        if (c == '\r') {
            value += '\n';
            i += i + 1 < written.size() && written[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        if (c == '\0') {
            html_charset::AppendUtf8(value, kReplacementCharacter);
            ++i;
            continue;
        }
        if (c != '&') {
            const std::size_t next =
                std::min(FindFirstOf(written, std::string_view("&\r\0", 3), i), written.size());
            value.append(written.substr(i, next - i));
            i = next;
            continue;
        }
        const std::string_view rest = written.substr(i + 1);
        if (rest.starts_with('#')) {
            if (const auto reference = ReadNumericReference(rest.substr(1))) {
                html_charset::AppendUtf8(value, reference->first);
                i += 2 + reference->second;
            } else {
                value += "&#";
                i += 2;
            }
            continue;
        }
        std::size_t nameLength = 0;
        while (nameLength < rest.size() && IsAsciiAlphanumeric(rest[nameLength])) {
            ++nameLength;
        }
        const std::string name(rest.substr(0, nameLength));
        const htmlEntityDesc* entity =
            nameLength > 0 ? htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()))
                           : nullptr;
        const bool closed = nameLength < rest.size() && rest[nameLength] == ';';
        if (entity != nullptr && closed) {
            html_charset::AppendUtf8(value, static_cast<char32_t>(entity->value));
            i += 2 + nameLength;
        } else if (entity != nullptr || (closed && nameLength > 0)) {
            // Browsers read some names without ";" and know more names.
            return std::nullopt;
        } else {
            value += '&';
            ++i;
        }
    }
    return value;
}

void CPageEdits::Replace(std::size_t begin, std::size_t end, std::string text) {
    m_edits.push_back({begin, end, std::move(text)});
}

// What is left must read as the other attributes did: a blank keeps a value
// from running into what followed, or a "/" before a ">" from becoming "/>",
// and a "/" keeps an attribute whose name begins with "=" from turning into
// the value of the attribute before.
void CPageEdits::RemoveAttribute(const ScannedTag& tag, std::string_view lowerName) {
    const std::vector<ScannedAttribute>& attributes = tag.attributes;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const ScannedAttribute& attribute = attributes[i];
        if (!EqualsIgnoreCase(attribute.name, lowerName)) {
            continue;
        }
        const bool touches = !IsHtmlSpace(attribute.following) && attribute.following != '>';
        const bool wouldCloseTag = attribute.preceding == '/' && attribute.following == '>';
        const bool equalsFollows =
            i + 1 < attributes.size() && attributes[i + 1].name.starts_with('=');
        Replace(attribute.begin, attribute.end,
                equalsFollows              ? " /"
                : touches || wouldCloseTag ? " "
                                           : "");
    }
}

void CPageEdits::ReplaceValue(const ScannedAttribute& attribute, std::string_view value,
                              bool asciiOnly) {
    std::string text;
    if (attribute.form == ValueForm::Quoted) {
        text = attribute.quote + EscapeAttributeText(value, false, asciiOnly) + attribute.quote;
    } else {
        text = value.empty() ? "\"\"" : EscapeAttributeText(value, true, asciiOnly);
    }
    if (attribute.form == ValueForm::Bare) {
        // A "/" right after the name would join the value.
        text = "=" + text + (attribute.following == '/' ? " " : "");
    }
    Replace(attribute.valueBegin, attribute.valueEnd, std::move(text));
}

void CPageEdits::ReplaceValueText(const ScannedAttribute& attribute, std::string text) {
    const std::size_t quotes = attribute.form == ValueForm::Quoted ? 1 : 0;
    Replace(attribute.valueBegin + quotes, attribute.valueEnd - quotes, std::move(text));
}

std::string CPageEdits::ApplyTo(std::string_view page) const {
    std::vector<const Edit*> ordered;
    ordered.reserve(m_edits.size());
    for (const Edit& edit : m_edits) {
        ordered.push_back(&edit);
    }
    // A tag's values are changed in the order the element tables name them.
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Edit* a, const Edit* b) { return a->begin < b->begin; });
    std::string edited;
    edited.reserve(page.size() + page.size() / 8);
    std::size_t copied = 0;
    for (const Edit* edit : ordered) {
        edited.append(page.substr(copied, edit->begin - copied));
        edited += edit->text;
        copied = edit->end;
    }
    edited.append(page.substr(copied));
    return edited;
}
