#include "html/html_charset.h"

#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "base/ascii.h"
#include "html/html_node.h"

namespace html_charset {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

bool IsContinuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Drops a character that the end of the chunk cut short; its other bytes
// come with the next chunk.
std::string_view WithoutCutCharacter(std::string_view text) {
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 3 &&
           IsContinuationByte(static_cast<unsigned char>(text[start - 1]))) {
        --start;
    }
    if (start == 0) {
        return text;
    }
    const std::size_t lead = start - 1;
    const bool cut = SequenceLength(static_cast<unsigned char>(text[lead])) > text.size() - lead;
    return cut ? text.substr(0, lead) : text;
}

// Every text of every saved page passes here, so it is read eight bytes at
// a time.
bool IsAscii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & kHighBits) != 0) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Keeps the UTF-8 characters of text and reads every other byte as the
// ISO-8859-1 character of that code.
std::string ReadStrayBytesAsLatin1(std::string_view text) {
    std::string repaired;
    repaired.reserve(text.size() + text.size() / 2);
    for (std::size_t length = 0; !text.empty(); text.remove_prefix(length)) {
        length = Utf8CharLength(text);
        if (length > 0) {
            repaired.append(text.substr(0, length));
        } else {
            const auto byte = static_cast<unsigned char>(text.front());
            repaired += static_cast<char>(0xC0 | (byte >> 6));
            repaired += static_cast<char>(0x80 | (byte & 0x3F));
            length = 1;
        }
    }
    return repaired;
}

void RepairContent(xmlNode* node) {
    if (node->content == nullptr) {
        return;
    }
    const std::string_view content(reinterpret_cast<const char*>(node->content));
    if (!IsAscii(content) && !IsUtf8(content)) {
        // The node may share its text with the parser's dictionary, so it is
        // replaced, never edited in place.
        xmlNodeSetContent(node, BAD_CAST ReadStrayBytesAsLatin1(content).c_str());
    }
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return ToLowerAscii(a) == ToLowerAscii(b);
           }) != text.end();
}

// Whether a content-type value names charset as its character set.
bool DeclaresCharset(std::string_view content, std::string_view charset) {
    const std::string lower = ToLowerAscii(content);
    const std::size_t name = lower.find("charset");
    if (name == std::string::npos) {
        return false;
    }
    std::string_view value = TrimAscii(std::string_view(content).substr(name + 7));
    if (!value.starts_with('=')) {
        return false;
    }
    value = TrimAscii(value.substr(1), std::string_view(" \t\n\f\r\"'", 7));
    return EqualsIgnoreCase(value.substr(0, value.find_first_of("; \t\"'")), charset);
}

}  // namespace

// libxml2's own decoder takes a continuation byte for a lead byte and lets
// overlong forms through; its Latin-1 encoder then stops on them while
// saving, so the check here is strict.
std::size_t Utf8CharLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(text.front());
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2 || lead > 0xF4) {
        return 0;
    }
    const std::size_t length = SequenceLength(lead);
    if (text.size() < length) {
        return 0;
    }
    // The second byte's range rules out overlong forms, surrogates and
    // code points beyond U+10FFFF.
    const auto second = static_cast<unsigned char>(text[1]);
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuationByte(static_cast<unsigned char>(text[i]))) {
            return 0;
        }
    }
    return length;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t length = 0; !text.empty(); text.remove_prefix(length)) {
        length = Utf8CharLength(text);
        if (length == 0) {
            return false;
        }
    }
    return true;
}

std::string DeclaredEncoding(std::string_view label) {
    const std::string_view trimmed = TrimAscii(label);
    const bool utf16 =
        std::any_of(kUtf16Labels.begin(), kUtf16Labels.end(),
                    [&](std::string_view name) { return EqualsIgnoreCase(trimmed, name); });
    return utf16 ? "UTF-8" : std::string(label);
}

PageStart InspectPageStart(std::string_view firstChunk, bool moreFollows) {
    if (firstChunk.starts_with(kUtf8Mark)) {
        return {XML_CHAR_ENCODING_UTF8, kUtf8Mark.size()};
    }
    if (firstChunk.starts_with(kUtf16LeMark)) {
        return {XML_CHAR_ENCODING_UTF16LE, kUtf16LeMark.size()};
    }
    if (firstChunk.starts_with(kUtf16BeMark)) {
        return {XML_CHAR_ENCODING_UTF16BE, kUtf16BeMark.size()};
    }
    const std::string_view checked = moreFollows ? WithoutCutCharacter(firstChunk) : firstChunk;
    return {IsUtf8(checked) ? XML_CHAR_ENCODING_UTF8 : XML_CHAR_ENCODING_NONE, 0};
}

void RepairText(xmlNode* node) {
    RepairContent(node);
    if (node->type != XML_ELEMENT_NODE) {
        return;
    }
    for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        for (xmlNode* text = attribute->children; text != nullptr; text = text->next) {
            RepairContent(text);
        }
    }
}

void Redeclare(CHtmlNode& node, const std::string& charset) {
    if (!node.IsElement() || !EqualsIgnoreCase(node.GetNodeName(), "meta")) {
        return;
    }
    const std::string declared = node.GetAttribute("charset");
    if (!declared.empty() && !EqualsIgnoreCase(declared, charset)) {
        node.SetAttribute("charset", charset);
    }
    const std::string content = node.GetAttribute("content");
    if (EqualsIgnoreCase(node.GetAttribute("http-equiv"), "content-type") &&
        ContainsIgnoringCase(content, "charset") && !DeclaresCharset(content, charset)) {
        node.SetAttribute("content", "text/html; charset=" + charset);
    }
}

void AppendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace html_charset
