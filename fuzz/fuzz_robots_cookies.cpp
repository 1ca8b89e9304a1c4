// robots.txt files, Set-Cookie lines and cookies.txt files are the servers'
// and the user's text: any bytes must read without crashing, the file
// itself must stay allowed whatever the rules, and a jar must write back
// what it read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/url.h"
#include "protocol/cookie_jar.h"
#include "protocol/robots_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CRobotsRules rules = CRobotsRules::Parse(text, "Tarnwick");
    if (!rules.IsAllowed("/robots.txt")) {
        __builtin_trap();
    }
    rules.IsAllowed(text.substr(0, text.find('\n')));

    CUrl url;
    if (!url.Parse("https://www.site.test/a/b")) {
        __builtin_trap();
    }
    CCookieJar jar;
    jar.Store(url, {std::string(text)}, 1700000000);
    const std::string header = jar.HeaderFor(url, 1700000000);
    if (header.find_first_of("\r\n") != std::string::npos &&
        text.find_first_of("\r\n") == std::string_view::npos) {
        __builtin_trap();
    }
    CCookieJar loaded;
    loaded.LoadNetscapeText(text);
    const std::string saved = loaded.FormatNetscapeText(0);
    CCookieJar again;
    again.LoadNetscapeText(saved);
    if (again.FormatNetscapeText(0) != saved) {
        __builtin_trap();
    }
    return 0;
}
