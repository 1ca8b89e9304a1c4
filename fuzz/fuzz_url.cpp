// Feeds arbitrary text to CUrl::Parse and, split at its first newline into a
// base and a reference, to CUrl::ResolveRelative. Every URL that comes out
// must print a form that parses back to the same URL, keep a source text
// that does too, and its decoded components must be safe to turn into local
// file names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/stream.h"
#include "base/url.h"

namespace {

void Check(bool condition, const char* what, std::string_view input) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_url: %s for input [%.*s]\n", what,
                     static_cast<int>(input.size()), input.data());
        std::abort();
    }
}

bool HasDotSegmentOrEmptySegment(const std::string& path) {
    return path.find("//") != std::string::npos || path.find("/./") != std::string::npos ||
           path.find("/../") != std::string::npos || path.ends_with("/.") || path.ends_with("/..");
}

bool IsPrintable(const std::string& escaped) {
    for (const char c : escaped) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            return false;
        }
    }
    return true;
}

void CheckUrl(const CUrl& url, std::string_view input) {
    Check(url.HasUrl() && url.GetScheme() != SchemeNone, "accepted URL without scheme", input);
    Check(!url.GetHost().empty(), "empty host", input);
    Check(url.GetHost().find_first_of("/\\") == std::string::npos, "separator in host", input);
    Check(url.GetHost() != ".." && url.GetHost() != ".", "dot segment as host", input);
    const std::string path = url.GetPath();
    Check(path.empty() || path.front() == '/', "path without leading slash", input);
    Check(path.find('\\') == std::string::npos, "backslash in decoded path", input);
    Check(!HasDotSegmentOrEmptySegment(path), "dot or empty segment in decoded path", input);
    Check(url.GetPort() >= 0 && url.GetPort() <= 65535, "port out of range", input);
    Check(IsPrintable(url.GetUrl()), "raw control, blank or high byte in printed form", input);

    // Escaping can make the printed form longer than the longest text that a
    // project file stores, and Parse refuses such a text.
    if (url.GetUrl().size() > CStream::kMaxStringLength) {
        return;
    }
    CUrl again;
    Check(again.Parse(url.GetUrl()), "printed form does not parse", input);
    Check(again.GetUrl() == url.GetUrl(), "printed form changes when parsed again", input);
    Check(again.GetScheme() == url.GetScheme() && again.GetHost() == url.GetHost() &&
              again.GetPort() == url.GetPort() && again.GetUser() == url.GetUser() &&
              again.GetPassword() == url.GetPassword() && again.GetPath() == url.GetPath() &&
              again.GetQuery() == url.GetQuery() && again.GetFragment() == url.GetFragment(),
          "components change when the printed form is parsed again", input);
}

// The source text is the list's key: parsing it again must give the same
// key, and nothing that Parse drops or folds may be left in it.
void CheckSourceText(const CUrl& url, std::string_view input) {
    const std::string& source = url.GetSourceText();
    Check(source.find_first_of("\t\r\n") == std::string::npos, "tab or line break in source text",
          input);
    Check(static_cast<unsigned char>(source.front()) > 0x20 &&
              static_cast<unsigned char>(source.back()) > 0x20,
          "control or blank around source text", input);
    Check(std::none_of(url.GetHost().begin(), url.GetHost().end(),
                       [](char c) { return c >= 'A' && c <= 'Z'; }),
          "upper case in host", input);
    CUrl again;
    Check(again.Parse(source) && again.GetSourceText() == source,
          "source text changes when parsed again", input);
}

void CheckEscaping(std::string_view text) {
    for (const UrlComponent component :
         {UrlComponent::User, UrlComponent::Password, UrlComponent::Host, UrlComponent::Path,
          UrlComponent::Query, UrlComponent::Fragment}) {
        const std::string escaped = CUrl::EscapeComponent(text, component);
        Check(CUrl::EscapeComponent(escaped, component) == escaped, "escape not idempotent", text);
    }
    CUrl::UnescapeComponent(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CUrl url;
    if (url.Parse(input)) {
        CheckSourceText(url, input);
        CheckUrl(url, input);
    }

    const std::size_t newline = input.find('\n');
    if (newline != std::string_view::npos) {
        const std::string_view base = input.substr(0, newline);
        const std::string_view reference = input.substr(newline + 1);
        if (url.ResolveRelative(base, reference)) {
            CheckUrl(url, input);
        } else {
            Check(!url.HasUrl() && url.GetUrl().empty(), "failed resolution left a URL", input);
        }
    }
    if (url.ResolveRelative("http://h/d/p.html?q=a/b#f", input)) {
        CheckUrl(url, input);
    }
    CheckEscaping(input);
    return 0;
}
