#include "cli/printable_text.h"

#include <algorithm>

#include "html/html_charset.h"

namespace {

// character is one whole UTF-8 character.
bool IsControl(std::string_view character) {
    const auto lead = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) {
        return lead < 0x20 || lead == 0x7F;
    }
    // U+0080 to U+009F: some terminals obey these as they do ESC sequences.
    return lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string printable;
    printable.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = html_charset::Utf8CharLength(text);
        if (length == 0) {
            AppendEscaped(printable, text.substr(0, 1));
            text.remove_prefix(1);
            continue;
        }
        const std::string_view character = text.substr(0, length);
        if (IsControl(character)) {
            AppendEscaped(printable, character);
        } else {
            printable += character;
        }
        text.remove_prefix(length);
    }
    return printable;
}

bool HasControlCharacter(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = std::max<std::size_t>(html_charset::Utf8CharLength(text), 1);
        if (IsControl(text.substr(0, length))) {
            return true;
        }
        text.remove_prefix(length);
    }
    return false;
}
