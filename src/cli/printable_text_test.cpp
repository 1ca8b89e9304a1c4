#include "cli/printable_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintableTextTest, EscapesWhatATerminalWouldObeyAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://h/a b.html?q=1", "http://h/a b.html?q=1"},
        {"x\x1b]0;TITLE\x07.html", "x\\x1b]0;TITLE\\x07.html"},
        {"a\nb\rc\td", "a\\x0ab\\x0dc\\x09d"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        // UTF-8 stays; C1 controls in their UTF-8 form and stray bytes do not.
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"\xc2\x9b"
         "31m",
         "\\xc2\\x9b31m"},
        {"\x9b"
         "31m \xe9t\xc3",
         "\\x9b31m \\xe9t\\xc3"},
    };
    for (const auto& [text, printable] : cases) {
        EXPECT_EQ(PrintableText(text), printable);
    }
}

}  // namespace
