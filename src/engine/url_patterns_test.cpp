#include "engine/url_patterns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "support/memory_stream.h"
#include "support/thrown_code.h"

namespace {

using Verdict = CUrlPatterns::Verdict;

CUrlPatterns Patterns(const std::vector<std::string>& lines) {
    CUrlPatterns patterns;
    for (const std::string& line : lines) {
        std::string error;
        EXPECT_TRUE(patterns.AddLine(line, error)) << line << ": " << error;
    }
    return patterns;
}

TEST(UrlPatternsTest, TheLastMatchingPatternDecides) {
    const CUrlPatterns patterns = Patterns({
        "-*/ads/*",
        "+*.example.org/docs/*",
        "-*.example.org/docs/*.pdf",
        "+re:/docs/keep-[0-9]+\\.pdf$",
        "-http://h.test/?.html",
    });
    const std::pair<const char*, Verdict> cases[] = {
        {"http://h.test/ads/banner.png", Verdict::Exclude},
        {"http://h.test/adsense/x", Verdict::None},
        {"http://www.example.org/docs/intro.html", Verdict::Include},
        {"http://www.example.org/docs/big.pdf", Verdict::Exclude},
        {"http://www.example.org/docs/keep-12.pdf", Verdict::Include},
        {"http://www.example.org/docs/keep-12.pdf?x", Verdict::Include},
        {"http://www.example.org/docs/old.pdf?x", Verdict::Include},
        {"http://example.org/docs/intro.html", Verdict::None},
        {"http://h.test/a.html", Verdict::Exclude},
        {"http://h.test/ab.html", Verdict::None},
        {"", Verdict::None},
    };
    for (const auto& [url, verdict] : cases) {
        EXPECT_EQ(patterns.Decide(url), verdict) << url;
    }
    EXPECT_EQ(patterns.FindDecidingPattern("http://www.example.org/docs/big.pdf"), 2u);
    EXPECT_EQ(patterns.FindDecidingPattern("http://h.test/x"), std::nullopt);
}

TEST(UrlPatternsTest, RefusesLinesThatAreNoPattern) {
    for (const char* line : {"", "*/ads/*", "+", "-re:", "+re:([a-z", "-re:*x"}) {
        CUrlPatterns patterns;
        std::string error;
        EXPECT_FALSE(patterns.AddLine(line, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
        EXPECT_TRUE(patterns.IsEmpty()) << line;
    }
}

TEST(UrlPatternsTest, StoresAndLoadsAndRefusesADamagedList) {
    const CUrlPatterns patterns = Patterns({"-*/ads/*", "+re:\\.svg$"});
    testing_support::MemoryStream stream;
    patterns.Store(stream);
    CUrlPatterns loaded;
    stream.Seek(0, CStream::kBegin);
    loaded.Load(stream);
    ASSERT_EQ(loaded.GetPatterns().size(), 2u);
    EXPECT_EQ(CUrlPatterns::FormatLine(loaded.GetPatterns()[1]), "+re:\\.svg$");
    EXPECT_EQ(loaded.Decide("http://h/a.svg"), Verdict::Include);

    // A negative count, a bad expression, an empty pattern; a cut list.
    const std::string damaged[] = {
        std::string("\xff\xff\xff\xff", 4),
        std::string("\x01\x00\x00\x00\x01re:(\x00", 10),
        std::string("\x01\x00\x00\x00\x00\x00", 6),
        std::string("\x02\x00\x00\x00\x01*\x00", 7),
    };
    for (const std::string& bytes : damaged) {
        testing_support::MemoryStream input(bytes);
        const ResultCode code = testing_support::CodeOf([&] { loaded.Load(input); });
        EXPECT_TRUE(code == ERR_STREAM_DATA || (bytes.size() == 7 && code != ERR_SUCCESS)) << code;
        EXPECT_EQ(loaded.GetPatterns().size(), 2u);
    }
}

}  // namespace
