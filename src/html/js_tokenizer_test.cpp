#include "html/js_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct Tokenized {
    std::vector<std::string> strings;
    bool complete;
};

Tokenized Strings(std::string_view source, bool htmlComments = true) {
    CJsTokenizer tokenizer(source, htmlComments);
    Tokenized result;
    for (std::string value; tokenizer.NextString(value);) {
        result.strings.push_back(value);
    }
    result.complete = tokenizer.IsComplete();
    return result;
}

TEST(JsTokenizerTest, StringValuesAreDecodedAsTheLanguageReadsThem) {
    const struct {
        std::string source;
        std::vector<std::string> strings;
    } cases[] = {
        {R"(a("x.html", 'y.png'))", {"x.html", "y.png"}},
        {R"("a\"b" 'c\'d')", {"a\"b", "c'd"}},
        {R"("\n\t\r\b\f\v\0")", {"\n\t\r\b\f\v"s + '\0'}},
        {R"("\x41\u0042\u{43}\u{1F600}")", {"ABC\xF0\x9F\x98\x80"}},
        {R"("\uD83D\uDE00" "\uD800x")", {"\xF0\x9F\x98\x80", "\xEF\xBF\xBDx"}},
        {R"("\101\7\08\q\/")", {"A\x07"s + '\0' + "8q/"}},
        {"'a\\\nb\\\r\nc\\\xE2\x80\xA8"
         "d'",
         {"abcd"}},
        {"\"\xC3\xA9\"", {"\xC3\xA9"}},
        // Templates: those without substitutions are strings; the strings in
        // substitutions are read, nested templates and braces too.
        {"`a.html` `x${y}z`", {"a.html"}},
        {"`a\r\nb\\x41`", {"a\nbA"}},
        {"`${ {a: 'in.png'} }` + 'after.png'", {"in.png", "after.png"}},
        {"`${`${'deep.js'}`}` 'x.js'", {"deep.js", "x.js"}},
        {"`a${f({b: `c`})}d` 'e'", {"c", "e"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Tokenized tokenized = Strings(c.source);
        EXPECT_EQ(tokenized.strings, c.strings);
        EXPECT_TRUE(tokenized.complete);
    }
}

TEST(JsTokenizerTest, CommentsRegularExpressionsAndDivisionsHoldNoStrings) {
    const struct {
        std::string source;
        std::vector<std::string> strings;
        bool htmlComments = true;
    } cases[] = {
        {"// 'no.html'\n'yes.html' /* 'no' \n */ 'two'", {"yes.html", "two"}},
        {"#!/usr/bin/env node 'no'\n'yes'", {"yes"}},
        {"'a' // \xE2\x80\xA8 'b'", {"a", "b"}},
        // Regular expressions where an operand may start.
        {"x = /'no'/g; 'yes'", {"yes"}},
        {"s.replace(/minus\\.png$/, 'plus.png')", {"plus.png"}},
        {"x = /[/'\"]/; 'yes'", {"yes"}},
        {"x = /\\/'/; 'yes'", {"yes"}},
        {"return /'/.test(s) ? 'a' : 'b'", {"a", "b"}},
        {"f(a) || /'/.test(s); 'yes'", {"yes"}},
        {"[1, /'/]; 'yes'", {"yes"}},
        {"typeof /'/; 'yes'", {"yes"}},
        // Divisions after an operand.
        {"a = b / 'c' / 'd'", {"c", "d"}},
        {"a = f() / 2; b = '/x/'", {"/x/"}},
        {"a = x[0] / 2 / 'q'", {"q"}},
        {"a = i++ / 2 / 'q'", {"q"}},
        {"a = 1e+3 / 'q' / 0x1F / 'r'", {"q", "r"}},
        {"a = b.return / 'q'", {"q"}},
        {"a = /re/g / 'q'", {"q"}},
        // HTML-like comments in classic scripts; not in modules.
        {"<!-- 'no'\n'yes'\n  --> 'no'\n'end'", {"yes", "end"}},
        {"a --> 'yes'", {"yes"}},
        {"/*\n*/ --> 'no'\n'yes'", {"yes"}},
        {"x = a<!--b; 'yes'", {"yes"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Tokenized tokenized = Strings(c.source, c.htmlComments);
        EXPECT_EQ(tokenized.strings, c.strings);
        EXPECT_TRUE(tokenized.complete);
    }
}

TEST(JsTokenizerTest, ScriptThatStopsReadingKeepsTheStringsBefore) {
    const struct {
        std::string source;
        std::vector<std::string> strings;
    } cases[] = {
        {"'a' 'open", {"a"}},   {"'a' 'line\nend' 'no'", {"a"}},
        {"'a' /* open", {"a"}}, {"'a' `open ${x", {"a"}},
        {"'a' `open", {"a"}},   {"'a' x = /open\n'no'", {"a"}},
        {"'a' '\\x4'", {"a"}},  {"'a' '\\u{110000}'", {"a"}},
        {"'a' '\\u{}'", {"a"}}, {"'a' '\\", {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Tokenized tokenized = Strings(c.source);
        EXPECT_EQ(tokenized.strings, c.strings);
        EXPECT_FALSE(tokenized.complete);
    }
}

}  // namespace
