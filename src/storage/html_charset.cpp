#include "storage/html_charset.h"

#include <libxml/xmlstring.h>

#include <algorithm>
#include <cctype>

#include "storage/html_node.h"

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

bool IsUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t offset = 0;
    while (offset < text.size()) {
        int length = static_cast<int>(std::min<std::size_t>(text.size() - offset, 4));
        if (xmlGetUTF8Char(bytes + offset, &length) < 0) {
            return false;
        }
        offset += static_cast<std::size_t>(length);
    }
    return true;
}

bool SameLetter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

bool EqualsIgnoringCase(std::string_view text, std::string_view other) {
    return std::equal(text.begin(), text.end(), other.begin(), other.end(), SameLetter);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), SameLetter) !=
           text.end();
}

}  // namespace

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

void Redeclare(CHtmlNode& node, const std::string& charset) {
    if (!node.IsElement() || !EqualsIgnoringCase(node.GetNodeName(), "meta")) {
        return;
    }
    if (!node.GetAttribute("charset").empty()) {
        node.SetAttribute("charset", charset);
    }
    if (EqualsIgnoringCase(node.GetAttribute("http-equiv"), "content-type") &&
        ContainsIgnoringCase(node.GetAttribute("content"), "charset")) {
        node.SetAttribute("content", "text/html; charset=" + charset);
    }
}

}  // namespace html_charset
