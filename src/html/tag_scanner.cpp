#include "html/tag_scanner.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <array>

#include "base/ascii.h"
#include "html/html_charset.h"

namespace {

constexpr std::string_view kHtmlSpace = " \t\n\f\r";

// Elements whose text a browser reads as text up to their end tag, "<" and all.
constexpr std::array<std::string_view, 8> kRawTextElements = {
    "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};

bool IsHtmlSpace(char c) {
    return kHtmlSpace.find(c) != std::string_view::npos;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlphanumeric(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

// The character of the numeric reference after "&#" at text's start, and its
// length up to and with the ";"; none unless it is a whole reference to a
// character that may stand in text.
std::optional<std::pair<char32_t, std::size_t>> ReadNumericReference(std::string_view text) {
    const bool hex = !text.empty() && (text[0] == 'x' || text[0] == 'X');
    std::size_t at = hex ? 1 : 0;
    char32_t code = 0;
    const std::size_t digitsBegin = at;
    for (; at < text.size() && at - digitsBegin < 8; ++at) {
        const int digit = hex                                    ? HexDigitValue(text[at])
                          : (text[at] >= '0' && text[at] <= '9') ? text[at] - '0'
                                                                 : -1;
        if (digit < 0) {
            break;
        }
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    if (at == digitsBegin || at >= text.size() || text[at] != ';' || code == 0 || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::make_pair(code, at + 1);
}

// The value quoted for writing into a tag: "&" and '"' escaped.
std::string QuoteAttributeValue(std::string_view value) {
    std::string quoted = "\"";
    quoted.reserve(value.size() + 2);
    for (const char c : value) {
        if (c == '&') {
            quoted += "&amp;";
        } else if (c == '"') {
            quoted += "&quot;";
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace

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

bool CTagScanner::Fail() {
    m_certain = false;
    m_at = m_page.size();
    return false;
}

bool CTagScanner::Next(ScannedTag& tag) {
    // A NUL byte is read differently by every reader, so a page with one is
    // no page this reading can vouch for.
    if (m_at == 0 && m_page.find('\0') != std::string_view::npos) {
        return Fail();
    }
    while ((m_at = m_page.find('<', m_at)) != std::string_view::npos) {
        const char next = m_at + 1 < m_page.size() ? m_page[m_at + 1] : '\0';
        if (IsAsciiLetter(next)) {
            return ReadStartTag(tag);
        }
        if (next == '!' || next == '?' || next == '/') {
            if (!SkipMarkup()) {
                return Fail();
            }
        } else {
            ++m_at;  // a "<" that starts no tag is text
        }
    }
    m_at = m_page.size();
    return false;
}

bool CTagScanner::SkipMarkup() {
    const std::string_view rest = m_page.substr(m_at);
    if (rest.starts_with("<!--")) {
        // "<!-->" and "<!--->" are whole, empty comments.
        for (const std::string_view empty : {"<!-->", "<!--->"}) {
            if (rest.starts_with(empty)) {
                m_at += empty.size();
                return true;
            }
        }
        const std::size_t close = m_page.find("-->", m_at + 4);
        if (close == std::string_view::npos) {
            return false;
        }
        m_at = close + 3;
        return true;
    }
    // End tags, declarations, processing instructions and what only looks
    // like one of them all end at the next ">".
    const std::size_t close = m_page.find('>', m_at + 2);
    if (close == std::string_view::npos) {
        return false;
    }
    m_at = close + 1;
    return true;
}

bool CTagScanner::ReadStartTag(ScannedTag& tag) {
    tag.begin = m_at;
    tag.attributes.clear();
    tag.rawText = {};
    tag.rawTextBegin = 0;
    const std::size_t nameEnd =
        std::min(FindFirstOf(m_page, " \t\n\f\r/>", m_at + 1), m_page.size());
    tag.name = m_page.substr(m_at + 1, nameEnd - m_at - 1);
    m_at = nameEnd;
    while (true) {
        while (m_at < m_page.size() && (IsHtmlSpace(m_page[m_at]) || m_page[m_at] == '/')) {
            ++m_at;
        }
        if (m_at >= m_page.size()) {
            return Fail();
        }
        if (m_page[m_at] == '>') {
            break;
        }
        if (!ReadAttribute(tag)) {
            return Fail();
        }
    }
    tag.end = ++m_at;
    SkipRawText(tag);
    return true;
}

bool CTagScanner::ReadAttribute(ScannedTag& tag) {
    ScannedAttribute& attribute = tag.attributes.emplace_back();
    attribute.begin = m_at;
    while (attribute.begin > tag.begin && IsHtmlSpace(m_page[attribute.begin - 1])) {
        --attribute.begin;
    }
    // A browser reads a name that begins with "=" as a name, but once the
    // attribute before it is removed it would read as that one's value.
    if (m_page[m_at] == '=') {
        return false;
    }
    const std::size_t nameEnd =
        std::min(FindFirstOf(m_page, " \t\n\f\r/>=", m_at + 1), m_page.size());
    attribute.name = m_page.substr(m_at, nameEnd - m_at);
    m_at = attribute.valueBegin = attribute.valueEnd = attribute.end = nameEnd;
    std::size_t at = nameEnd;
    while (at < m_page.size() && IsHtmlSpace(m_page[at])) {
        ++at;
    }
    if (at >= m_page.size() || m_page[at] != '=') {
        return at < m_page.size();
    }
    ++at;
    while (at < m_page.size() && IsHtmlSpace(m_page[at])) {
        ++at;
    }
    if (at >= m_page.size()) {
        return false;
    }
    attribute.valueBegin = at;
    if (m_page[at] == '"' || m_page[at] == '\'') {
        const std::size_t close = m_page.find(m_page[at], at + 1);
        if (close == std::string_view::npos) {
            return false;
        }
        attribute.value = m_page.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        const std::size_t close = std::min(FindFirstOf(m_page, " \t\n\f\r>", at), m_page.size());
        attribute.value = m_page.substr(at, close - at);
        at = close;
    }
    m_at = attribute.valueEnd = attribute.end = at;
    // A "/" would join an unquoted value before it once this one is gone.
    attribute.touchesNext = at < m_page.size() && !IsHtmlSpace(m_page[at]) && m_page[at] != '>';
    return true;
}

void CTagScanner::SkipRawText(ScannedTag& tag) {
    const auto* raw = std::find_if(kRawTextElements.begin(), kRawTextElements.end(),
                                   [&](std::string_view name) { return tag.Is(name); });
    if (raw == kRawTextElements.end()) {
        return;
    }
    // The text ends at the first end tag of the element's own name, in any case.
    std::size_t close = m_at;
    while ((close = m_page.find("</", close)) != std::string_view::npos) {
        const std::string_view rest = m_page.substr(close + 2);
        const std::size_t after = close + 2 + raw->size();
        if (StartsWithIgnoreCase(rest, *raw) &&
            (after >= m_page.size() || IsHtmlSpace(m_page[after]) || m_page[after] == '/' ||
             m_page[after] == '>')) {
            break;
        }
        close += 2;
    }
    close = std::min(close, m_page.size());
    tag.rawTextBegin = m_at;
    tag.rawText = m_page.substr(m_at, close - m_at);
    m_at = close;
}

std::optional<std::string> DecodeAttributeValue(std::string_view written) {
    std::string value;
    value.reserve(written.size());
    for (std::size_t i = 0; i < written.size();) {
        const char c = written[i];
        if (c == '\0' || c == '\r') {
            return std::nullopt;
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
            const auto reference = ReadNumericReference(rest.substr(1));
            if (!reference) {
                return std::nullopt;
            }
            html_charset::AppendUtf8(value, reference->first);
            i += 2 + reference->second;
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
        } else if (entity != nullptr) {
            return std::nullopt;  // browsers read some of these, others not
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

void CPageEdits::RemoveAttribute(const ScannedTag& tag, std::string_view lowerName) {
    for (const ScannedAttribute& attribute : tag.attributes) {
        if (EqualsIgnoreCase(attribute.name, lowerName)) {
            Replace(attribute.begin, attribute.end, attribute.touchesNext ? " " : "");
        }
    }
}

void CPageEdits::ReplaceValue(const ScannedAttribute& attribute, std::string_view value) {
    const bool bare = attribute.valueBegin == attribute.valueEnd;
    Replace(attribute.valueBegin, attribute.valueEnd,
            (bare ? "=" : "") + QuoteAttributeValue(value));
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
