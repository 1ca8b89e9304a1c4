#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// What a command line reads as: its free-standing arguments and options,
// "name=value" each, or the error.
std::string Reading(const char* command, const Arguments& arguments) {
    CCommandLine line;
    std::string error;
    if (!line.Parse(command, arguments, error)) {
        return "error: " + error;
    }
    std::string text = line.WantsHelp() ? "help" : "";
    for (const std::string& argument : line.Positional()) {
        text += (text.empty() ? "" : " ") + argument;
    }
    for (const auto& [name, value] : line.Options()) {
        text += (text.empty() ? "" : " ") + name + "=" + value;
    }
    return text;
}

TEST(CommandLineTest, ReadsEachArgumentAsTheTableSays) {
    const struct {
        const char* command;
        Arguments arguments;
        const char* reading;
    } cases[] = {
        {"mirror", {"-h"}, "help"},
        {"mirror", {"--help"}, "help"},
        {"settings", {"-h"}, "help"},
        {"mirror",
         {"http://h/", "--threads", "4", "--levels=0"},
         "http://h/ --threads=4 --levels=0"},
        {"mirror", {"--user=a=b", "http://h/?a=b"}, "http://h/?a=b --user=a=b"},
        // A value may start with "-"; a free-standing argument may not.
        {"mirror", {"h", "--password", "-x-"}, "h --password=-x-"},
        {"mirror", {"-x"}, "error: unknown option -x"},
        {"mirror", {"--foo"}, "error: unknown option --foo"},
        {"mirror", {"h", "--foo=1"}, "error: unknown option --foo"},
        {"mirror", {"h", "--threads"}, "error: --threads needs a value"},
        {"mirror", {"h", "-o"}, "error: -o needs a value"},
        {"mirror", {"-q", "-v", "-o", "log", "h"}, "h --quiet=yes --verbose=yes --output-file=log"},
        {"mirror", {"h", "--quiet=no", "--no-head=yes"}, "h --quiet=no --no-head=yes"},
        {"mirror", {"h", "--quiet=yes2"}, "error: --quiet takes no value, or yes or no"},
        {"mirror", {"h", "--ask-password=yes"}, "error: --ask-password takes no value"},
        {"clear", {"p.tkp", "--yes=no"}, "error: --yes takes no value"},
        // Options belong to the commands that the table names.
        {"start", {"p.tkp", "--user", "u"}, "error: unknown option --user"},
        {"set", {"p.tkp", "--user", "u", "--password", "p"}, "p.tkp --user=u --password=p"},
        {"start",
         {"p.tkp", "--timeout", "60", "--tries=2", "--no-check-certificate"},
         "p.tkp --timeout=60 --tries=2 --no-check-certificate=yes"},
        {"new", {"h", "--into", "x"}, "error: unknown option --into"},
        // Patterns and headers belong to a project; waits and identity to one run.
        {"new",
         {"h", "--exclude", "-x", "--include=+y", "--header", "A: b"},
         "h --exclude=-x --include=+y --header=A: b"},
        {"start",
         {"p", "--no-robots", "--wait", "5", "--random-wait", "--limit-rate=2m"},
         "p --no-robots=yes --wait=5 --random-wait=yes --limit-rate=2m"},
        {"start", {"p", "--exclude", "x"}, "error: unknown option --exclude"},
        {"set", {"p", "--user-agent", "x"}, "error: unknown option --user-agent"},
        {"new", {"h", "--save-cookies", "c"}, "error: unknown option --save-cookies"},
        {"set", {"p", "--load-cookies", "c"}, "p --load-cookies=c"},
        {"summary", {"-q", "p.tkp"}, "error: unknown option -q"},
        {"settings", {"Retry=2", "-x"}, "error: unknown option -x"},
        // After "--" every argument is free-standing; "-" alone always is.
        {"summary", {"--", "-h.tkp"}, "-h.tkp"},
        {"chm", {"-", "out.chm"}, "- out.chm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Reading(c.command, c.arguments), c.reading)
            << c.command << " " << testing::PrintToString(c.arguments);
    }
}

TEST(CommandLineTest, TheLastValueCountsAndSwitchesReadYesOrNo) {
    CCommandLine line;
    std::string error;
    ASSERT_TRUE(
        line.Parse("start", {"p", "--timeout=5", "--timeout", "9", "-q", "--quiet=no"}, error));
    EXPECT_EQ(line.Value("--timeout"), "9");
    EXPECT_TRUE(line.Has("--quiet"));
    EXPECT_FALSE(line.IsOn("--quiet"));
    EXPECT_FALSE(line.Has("--tries"));
    EXPECT_EQ(line.Value("--tries"), "");
}

TEST(CommandLineTest, HelpAndMistakesPrintTheCommandsOwnUsage) {
    for (const char* command :
         {"mirror", "new", "start", "stop", "set", "summary", "list", "clear", "chm", "settings"}) {
        std::ostringstream out;
        std::ostringstream err;
        CCommandLine line;
        int status = -1;
        EXPECT_FALSE(ReadCommandLine(command, {"--help"}, line, out, err, status));
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out.str().rfind(std::string("usage: tarnwick-cli ") + command + " ", 0), 0U)
            << out.str();
        EXPECT_EQ(err.str(), "");

        out.str("");
        EXPECT_FALSE(ReadCommandLine(command, {"--bogus"}, line, out, err, status));
        EXPECT_EQ(status, 2);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "tarnwick-cli: unknown option --bogus\n\n" + CommandUsage(command));
    }
    const std::string usage = CommandUsage("start");
    EXPECT_NE(usage.find("  --timeout SECONDS"), std::string::npos);
    EXPECT_NE(usage.find("  -q, --quiet"), std::string::npos);
    EXPECT_EQ(usage.find("--threads"), std::string::npos);
}

}  // namespace
