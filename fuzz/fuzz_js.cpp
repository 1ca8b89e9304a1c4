// Reads arbitrary bytes as a script: the tokenizer must end, every file
// reference it yields must look like one, and each string value, written
// back as a literal with every byte escaped, must read back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "html/js_tokenizer.h"
#include "html/script_links.h"

namespace {

std::string EscapedLiteral(std::string_view value) {
    std::string literal = "'";
    for (const char c : value) {
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
        literal += static_cast<unsigned char>(c) < 0x80 ? std::string(escape) : std::string(1, c);
    }
    return literal + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    for (const std::string& reference : FindScriptReferences(script, size % 2 == 0)) {
        if (!LooksLikeFileReference(reference)) {
            __builtin_trap();
        }
    }
    CJsTokenizer tokenizer(script);
    for (std::string value; tokenizer.NextString(value);) {
        const std::string literal = EscapedLiteral(value);
        CJsTokenizer again(literal);
        std::string read;
        if (!again.NextString(read) || read != value || again.NextString(read) ||
            !again.IsComplete()) {
            __builtin_trap();
        }
    }
    return 0;
}
