#include "html/script_links.h"

#include <algorithm>
#include <array>

#include "base/ascii.h"
#include "html/js_tokenizer.h"
#include "protocol/http_headers.h"

namespace {

// What a page loads by script: pages, scripts, data, style sheets, images and
// fonts. Documents, archives and media are left out: the names of a search
// index ("statistics.NormalDist.pdf", "xml.etree.ElementTree.XML") would
// otherwise turn into requests that fail.
constexpr std::array<std::string_view, 22> kScriptExtensions = {
    ".html", ".htm", ".xhtml", ".shtml", ".js",   ".mjs", ".json", ".css",   ".bmp", ".gif", ".jpg",
    ".jpeg", ".png", ".svg",   ".webp",  ".avif", ".ico", ".woff", ".woff2", ".ttf", ".otf", ".eot",
};

bool HasForeignScheme(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon > text.find_first_of("/?#")) {
        return false;
    }
    const std::string scheme = ToLowerAscii(text.substr(0, colon));
    return scheme != "http" && scheme != "https";
}

// A string that ends an attribute value of markup built piece by piece
// ('<img src="' + path + 'sync_on.png" alt="">') names its file up to the
// quote; any other string is taken whole.
std::string_view ValueBeforeQuote(std::string_view text) {
    return text.substr(0, text.find_first_of("\"'"));
}

}  // namespace

bool LooksLikeFileReference(std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > ' ' && byte != 0x7F &&
               std::string_view("<>\"'`{}|\\^").find(c) == std::string_view::npos;
    });
    if (text.empty() || !plain || HasForeignScheme(text)) {
        return false;
    }
    const std::string_view path = text.substr(0, text.find_first_of("?#"));
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return false;
    }
    const std::string extension = ToLowerAscii(name.substr(dot));
    return std::find(kScriptExtensions.begin(), kScriptExtensions.end(), extension) !=
           kScriptExtensions.end();
}

std::vector<std::string> FindScriptReferences(std::string_view script, bool htmlComments) {
    std::vector<std::string> references;
    CJsTokenizer tokenizer(script, htmlComments);
    for (std::string value; tokenizer.NextString(value);) {
        const std::string_view reference = ValueBeforeQuote(value);
        if (LooksLikeFileReference(reference)) {
            references.emplace_back(reference);
        }
    }
    return references;
}

bool IsJavaScriptType(std::string_view type) {
    const std::string lower = ToLowerAscii(TrimAscii(type));
    return lower.empty() || lower == "module" || IsJavaScriptMimeType(lower);
}

bool IsModuleType(std::string_view type) {
    return ToLowerAscii(TrimAscii(type)) == "module";
}
