#include "cli/polite_options.h"

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"

namespace {

CCommandLine Line(const char* command, const Arguments& arguments) {
    CCommandLine line;
    std::string error;
    EXPECT_TRUE(line.Parse(command, arguments, error)) << error;
    return line;
}

TEST(PoliteOptionsTest, ReadsARateAsWgetDoes) {
    const struct {
        const char* text;
        bool valid;
        std::uint32_t rate;
    } cases[] = {
        {"0", true, 0},
        {"1500", true, 1500},
        {"200k", true, 204800},
        {"2M", true, 2097152},
        {"4095m", true, 4293918720},
        {"4096m", false, 0},
        {"4294967296", false, 0},
        {"k", false, 0},
        {"", false, 0},
        {"1.5m", false, 0},
        {"-1", false, 0},
        {"10g", false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t rate = 7;
        EXPECT_EQ(ReadByteRate(c.text, rate), c.valid) << c.text;
        EXPECT_EQ(rate, c.valid ? c.rate : 7u) << c.text;
    }
}

TEST(PoliteOptionsTest, OneRunsOptionsChangeOnlyWhatTheyName) {
    CProgramOptions options;
    std::string error;
    ASSERT_TRUE(ReadPoliteRunOptions(Line("start", {"p.tkp"}), options, error));
    EXPECT_TRUE(options.GetRobots());
    EXPECT_EQ(options.GetWaitMs(), 0u);
    EXPECT_EQ(options.GetSaveCookiesFile(), "");

    ASSERT_TRUE(ReadPoliteRunOptions(
        Line("mirror", {"h", "--no-robots", "--wait", "250", "--random-wait", "--limit-rate=64k",
                        "--user-agent", "MyBot/1.0", "--save-cookies", "/tmp/c.txt"}),
        options, error))
        << error;
    EXPECT_FALSE(options.GetRobots());
    EXPECT_EQ(options.GetWaitMs(), 250u);
    EXPECT_TRUE(options.GetRandomWait());
    EXPECT_EQ(options.GetLimitRate(), 65536u);
    EXPECT_STREQ(options.UserAgentString(), "MyBot/1.0");
    EXPECT_EQ(options.GetSaveCookiesFile(), "/tmp/c.txt");

    for (const Arguments& bad : {Arguments{"p", "--wait", "1s"}, Arguments{"p", "--wait=3600001"},
                                 Arguments{"p", "--limit-rate", "fast"}}) {
        error.clear();
        EXPECT_FALSE(ReadPoliteRunOptions(Line("start", bad), options, error)) << bad[1];
        EXPECT_NE(error.find(bad[1].substr(0, bad[1].find('='))), std::string::npos) << error;
    }
}

TEST(PoliteOptionsTest, PatternsAndHeadersFollowTheProjectsOwnInTheOrderGiven) {
    CProjectSettings project;
    std::string error;
    ASSERT_TRUE(project.GetUrlPatterns().AddLine("-*.iso", error));
    ASSERT_TRUE(project.SetHeaders({{"X-Old", "1"}}));
    ASSERT_TRUE(ApplyRequestRules(
        Line("set", {"p.tkp", "--exclude", "*/ads/*", "--header", "Authorization: Bearer t",
                     "--include=re:/ads/keep\\.html$", "--load-cookies", "/tmp/cookies.txt"}),
        project, error))
        << error;
    std::vector<std::string> lines;
    for (const CUrlPatterns::Pattern& pattern : project.GetUrlPatterns().GetPatterns()) {
        lines.push_back(CUrlPatterns::FormatLine(pattern));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"-*.iso", "-*/ads/*", "+re:/ads/keep\\.html$"}));
    EXPECT_EQ(project.GetHeaders(), (std::vector<CProjectSettings::Header>{
                                        {"X-Old", "1"}, {"Authorization", "Bearer t"}}));
    EXPECT_EQ(project.GetCookiesFile(), "/tmp/cookies.txt");
}

TEST(PoliteOptionsTest, ABadPatternOrHeaderChangesNothing) {
    const struct {
        Arguments arguments;
        const char* error;
    } cases[] = {
        {{"p", "--exclude", "*/ads/*", "--include", "re:("}, "--include re:(: "},
        {{"p", "--exclude", ""}, "--exclude : "},
        {{"p", "--exclude", "*/ads/*", "--header", "NoColon"}, "--header takes \"Name: value\""},
        {{"p", "--header", "Bad Name: v"}, "--header takes"},
        {{"p", "--header", "X-Empty:"}, "--header takes"},
    };
    for (const auto& c : cases) {
        CProjectSettings project;
        std::string error;
        EXPECT_FALSE(ApplyRequestRules(Line("set", c.arguments), project, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0U) << error;
        EXPECT_TRUE(project.GetUrlPatterns().IsEmpty());
        EXPECT_TRUE(project.GetHeaders().empty());
    }
}

}  // namespace
