#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFile;
using ReadResult = CChildProcess::ReadResult;

constexpr int kPatience = 10000;

std::vector<std::string> ReadAllLines(CChildProcess& child) {
    std::vector<std::string> lines;
    std::string line;
    ReadResult result;
    while ((result = child.ReadLine(line, kPatience)) == ReadResult::kLine) {
        lines.push_back(line);
    }
    EXPECT_EQ(result, ReadResult::kEnd);
    return lines;
}

int RunShell(const std::string& script, std::vector<std::string>* lines = nullptr) {
    CChildProcess child;
    EXPECT_EQ(child.Start("sh", {"-c", script}), 0);
    const std::vector<std::string> output = ReadAllLines(child);
    if (lines != nullptr) {
        *lines = output;
    }
    return child.Wait(kPatience).value_or(-2);
}

TEST(ChildProcessTest, ReadsStandardOutputAndErrorAsOneStreamOfLines) {
    std::vector<std::string> lines;
    EXPECT_EQ(RunShell("echo one; echo two >&2; printf 'three\\r\\nlast'", &lines), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "last"}));
}

TEST(ChildProcessTest, ReportsTheExitStatusOrMinusOneForASignal) {
    struct Case {
        const char* script;
        int status;
    };
    for (const Case& c :
         {Case{"exit 0", 0}, Case{"exit 3", 3}, Case{"exit 255", 255}, Case{"kill -TERM $$", -1}}) {
        EXPECT_EQ(RunShell(c.script), c.status) << c.script;
    }
}

TEST(ChildProcessTest, StandardInputIsEmpty) {
    std::vector<std::string> lines;
    EXPECT_EQ(RunShell("cat; echo done", &lines), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"done"});
}

TEST(ChildProcessTest, RunsInTheWorkingFolder) {
    TempFolder folder;
    CChildProcess child;
    ASSERT_EQ(child.Start("pwd", {}, folder.Path().string()), 0);
    EXPECT_EQ(ReadAllLines(child), std::vector<std::string>{folder.Path().string()});
    EXPECT_EQ(child.Wait(kPatience), 0);
}

TEST(ChildProcessTest, AProgramThatCannotRunIsRefusedWithItsErrno) {
    TempFolder folder;
    const std::string notExecutable = folder.File("plain");
    WriteFile(notExecutable, "#!/bin/sh\n");
    ::chmod(notExecutable.c_str(), 0644);

    struct Case {
        std::string program;
        int error;
    };
    for (const Case& c : {Case{"tarnwick-no-such-program", ENOENT},
                          Case{folder.File("missing"), ENOENT}, Case{notExecutable, EACCES}}) {
        CChildProcess child;
        EXPECT_EQ(child.Start(c.program, {}), c.error) << c.program;
        EXPECT_EQ(child.Wait(0), -1);
    }
}

TEST(ChildProcessTest, ASilentChildTimesOutAndCanBeKilled) {
    CChildProcess child;
    ASSERT_EQ(child.Start("sh", {"-c", "echo started; exec sleep 600"}), 0);
    std::string line;
    ASSERT_EQ(child.ReadLine(line, kPatience), ReadResult::kLine);
    EXPECT_EQ(child.ReadLine(line, 20), ReadResult::kTimeout);
    EXPECT_EQ(child.Wait(0), std::nullopt);
    child.Kill();
    EXPECT_EQ(child.Wait(kPatience), -1);
}

// The fields of /proc/PID/stat after the command name: state, parent,
// process group, ...; empty once the process is gone.
std::vector<std::string> ProcessStat(const std::string& pid) {
    const std::string stat = testing_support::ReadFile("/proc/" + pid + "/stat");
    const std::size_t end = stat.rfind(") ");
    std::vector<std::string> fields;
    std::istringstream rest(end == std::string::npos ? std::string() : stat.substr(end + 2));
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

// Gone, or a zombie that nobody has reaped yet: either way no longer running.
bool HasEnded(const std::string& pid) {
    const std::vector<std::string> fields = ProcessStat(pid);
    return fields.empty() || fields[0] == "Z";
}

TEST(ChildProcessTest, KillEndsWhatTheChildStartedAndATerminalInterruptMissesIt) {
    CChildProcess child;
    ASSERT_EQ(child.Start("sh", {"-c", "sleep 600 & echo $$; echo $!; wait"}), 0);
    std::string shell;
    std::string grandchild;
    ASSERT_EQ(child.ReadLine(shell, kPatience), ReadResult::kLine);
    ASSERT_EQ(child.ReadLine(grandchild, kPatience), ReadResult::kLine);
    // A group of its own, which the terminal's Ctrl+C does not address.
    ASSERT_GE(ProcessStat(shell).size(), 3u);
    EXPECT_EQ(ProcessStat(shell)[2], shell);
    child.Kill();
    EXPECT_EQ(child.Wait(kPatience), -1);
    for (int i = 0; i < 1000 && !HasEnded(grandchild); ++i) {
        ::usleep(10000);
    }
    EXPECT_TRUE(HasEnded(grandchild));
}

TEST(ChildProcessTest, AnEndlessLineArrivesInBoundedPieces) {
    CChildProcess child;
    ASSERT_EQ(child.Start("sh", {"-c", "head -c 150000 /dev/zero | tr '\\0' x"}), 0);
    std::vector<std::string> lines = ReadAllLines(child);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 65536u);
    EXPECT_EQ(lines[1].size(), 65536u);
    EXPECT_EQ(lines[2].size(), 150000u - 2 * 65536u);
    EXPECT_EQ(child.Wait(kPatience), 0);
}

TEST(ChildProcessTest, DestroyingTheObjectEndsARunningChild) {
    TempFolder folder;
    const std::string marker = folder.File("pid");
    {
        CChildProcess child;
        ASSERT_EQ(
            child.Start("sh", {"-c", "echo $$ > '" + marker + "'; echo ready; exec sleep 600"}), 0);
        std::string line;
        ASSERT_EQ(child.ReadLine(line, kPatience), ReadResult::kLine);
    }
    const pid_t pid = std::stoi(testing_support::ReadFile(marker));
    // Reaped as well as killed: the id no longer names any process.
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
