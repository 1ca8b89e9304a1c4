#include "cli/chm_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "base/url.h"
#include "chm/chm_builder.h"
#include "cli/chm_progress_display.h"
#include "engine/quillmoor_doc.h"
#include "support/fake_chm_compiler.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFakeCompiler;
using testing_support::WriteFile;
namespace fs = std::filesystem;

// A build that gets through counting and writing and fails to compile, then
// a phase that a stop cuts short. The builder sends each begin and posts the
// rest, so a begin can overtake the reports of the phase before it.
void FeedReports(CChmProgressDisplay& display, bool beginsOvertake) {
    const auto end = [&](LPARAM phase) { display.OnEnd(ERR_SUCCESS, phase); };
    display.OnBegin(0, kChmPhaseCount);
    display.OnStep(kChmPhaseCount);
    if (!beginsOvertake) {
        end(kChmPhaseCount);
    }
    display.OnBegin(2, kChmPhaseWrite);
    if (beginsOvertake) {
        end(kChmPhaseCount);
    }
    display.OnStep(kChmPhaseWrite);
    if (!beginsOvertake) {
        display.OnStep(kChmPhaseWrite);
        display.OnStep(kChmPhaseWrite);
        end(kChmPhaseWrite);
    }
    display.OnBegin(5, kChmPhaseCompile);
    if (beginsOvertake) {
        display.OnStep(kChmPhaseWrite);
        display.OnStep(kChmPhaseWrite);
        end(kChmPhaseWrite);
    }
    display.OnStep(kChmPhaseCompile);
    display.OnEnd(ERR_CHM_COMPILE, kChmPhaseCompile);
    display.OnBegin(3, kChmPhaseCompile);
    display.OnStep(kChmPhaseCompile);
    display.Finish();
}

TEST(ChmProgressDisplayTest, ShowsLabelsAndStepsInPlaceOrAsLinesWhateverTheOrder) {
    const struct {
        bool terminal;
        bool beginsOvertake;
        const char* out;
    } cases[] = {
        {true, false,
         "\rCounting the files...\x1b[K\rCounting the files...\x1b[K\n"
         "\rPreparing... 0/2\x1b[K\rPreparing... 1/2\x1b[K\rPreparing... 2/2\x1b[K"
         "\rPreparing... 2/2\x1b[K\n"
         "\rCompiling... 0/5\x1b[K\rCompiling... 1/5\x1b[K\rCompiling... 5/5\x1b[K\n"
         "\rCompiling... 0/3\x1b[K\rCompiling... 1/3\x1b[K\n"},
        {true, true,
         "\rCounting the files...\x1b[K\rCounting the files...\x1b[K\n"
         "\rPreparing... 0/2\x1b[K\rPreparing... 1/2\x1b[K\rPreparing... 2/2\x1b[K\n"
         "\rCompiling... 0/5\x1b[K\rCompiling... 1/5\x1b[K\rCompiling... 5/5\x1b[K\n"
         "\rCompiling... 0/3\x1b[K\rCompiling... 1/3\x1b[K\n"},
        {false, false,
         "Counting the files...\n"
         "Preparing... 0/2\nPreparing... 2/2\n"
         "Compiling... 0/5\nCompiling... 5/5\n"
         "Compiling... 0/3\n"},
        {false, true,
         "Counting the files...\n"
         "Preparing... 0/2\nPreparing... 2/2\n"
         "Compiling... 0/5\nCompiling... 5/5\n"
         "Compiling... 0/3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.terminal ? "terminal" : "log") +
                     (c.beginsOvertake ? ", begins overtake" : ""));
        std::ostringstream out;
        std::ostringstream err;
        CChmProgressDisplay display(out, err, c.terminal);
        FeedReports(display, c.beginsOvertake);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), "Error compiling the files!\n");
        EXPECT_TRUE(display.ShowedMessage());
    }
}

// A project whose crawl saved its starting page, run in a folder of its own.
class ChmCommandTest : public testing::Test {
protected:
    ChmCommandTest() : m_previous(fs::current_path()) { fs::current_path(m_work.Path()); }
    ~ChmCommandTest() override { fs::current_path(m_previous); }

    // The starting URL carries a fragment, which the list never holds. An
    // earlier project and its downloads are replaced.
    void WriteProject(bool startSaved = true, bool pageOnDisk = true) {
        std::error_code failure;
        fs::remove("p.tkp", failure);
        fs::remove_all(m_folder, failure);
        std::ostringstream ignored;
        ASSERT_EQ(RunNewCommand({"http://a.h.x/docs/#intro", "p.tkp"}, ignored, ignored), 0);
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument("p.tkp"));
        CUrl start;
        ASSERT_TRUE(start.Parse("http://a.h.x/docs/"));
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        list.Add(CLinkItem(start, 0, true));
        if (startSaved) {
            list.MarkDone(start, "a.h.x/docs/index.htm", -1, 10);
        }
        doc.SetModifiedFlag(true);
        ASSERT_TRUE(doc.Save());
        m_folder = doc.GetSettings().GetDownloadFolder();
        fs::create_directories(m_folder);
        if (pageOnDisk) {
            fs::create_directories(m_folder / "a.h.x/docs");
            WriteFile((m_folder / "a.h.x/docs/index.htm").string(), "<title>Docs</title>");
        }
    }

    int Run(const Arguments& arguments) {
        m_out.str("");
        m_err.str("");
        return RunChmCommand(arguments, m_out, m_err);
    }

    // The build's own files never outlive the command.
    void ExpectNothingGenerated() {
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            EXPECT_TRUE(entry.is_directory()) << entry.path() << " was left behind";
        }
    }

    TempFolder m_work;
    TempFolder m_tools;
    fs::path m_previous;
    fs::path m_folder;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

TEST_F(ChmCommandTest, WritesTheTargetAndShowsEachPhase) {
    WriteProject();
    WriteFile("old.chm", "the user's old file");
    const ScopedEnv compiler("TARNWICK_CHM_COMPILER",
                             testing_support::WriteSucceedingCompiler(m_tools).c_str());
    ASSERT_EQ(Run({"p.tkp", "old.chm"}), 0) << m_err.str();
    EXPECT_EQ(ReadFile("old.chm"), "compiled");
    EXPECT_EQ(m_out.str(),
              "Counting the files...\nPreparing... 0/1\nPreparing... 1/1\n"
              "Compiling... 0/4\nCompiling... 4/4\nCompiled " +
                  m_work.File("old.chm") + "\n");
    EXPECT_EQ(m_err.str(), "");
    ExpectNothingGenerated();

    // The name without an extension gets the one the save dialog adds.
    ASSERT_EQ(Run({"p.tkp", "new"}), 0) << m_err.str();
    EXPECT_EQ(ReadFile("new.chm"), "compiled");
    EXPECT_FALSE(fs::exists("new"));
}

TEST_F(ChmCommandTest, ACompiledFileThatCannotReachTheTargetIsKept) {
    WriteProject();
    fs::create_directory("gone");
    const std::string compiler = WriteFakeCompiler(
        m_tools, "removes-target-folder.sh",
        std::string("out=$(") + testing_support::kCompiledNameCommand +
            ")\nprintf 'compiled' > \"$out\"\nrmdir " + m_work.File("gone") + "\n");
    const ScopedEnv fake("TARNWICK_CHM_COMPILER", compiler.c_str());
    EXPECT_EQ(Run({"p.tkp", "gone/site.chm"}), 1);
    const std::string kept = (m_folder / "site.chm").string();
    EXPECT_NE(m_err.str().find("it is kept as " + kept), std::string::npos) << m_err.str();
    EXPECT_EQ(ReadFile(kept), "compiled");
}

TEST_F(ChmCommandTest, FailedBuildsSayWhyAndLeaveTheTargetAlone) {
    const std::string failing =
        WriteFakeCompiler(m_tools, "failing.sh", "echo 'Error: no'\nexit 1\n");
    const std::string missing = m_tools.File("no-such-compiler");
    const struct {
        const char* name;
        std::string compiler;
        bool pageOnDisk;
        const char* message;
    } cases[] = {
        {"compiler fails", failing, true, "Error compiling the files!\n"},
        {"compiler missing", missing, true, "Can't load the compiler!\n"},
        {"download folder empty", failing, false, "No file to compile!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteProject(true, c.pageOnDisk);
        WriteFile("out.chm", "kept");
        const ScopedEnv compiler("TARNWICK_CHM_COMPILER", c.compiler.c_str());
        EXPECT_EQ(Run({"p.tkp", "out.chm"}), 1);
        EXPECT_EQ(m_err.str(), c.message);
        EXPECT_EQ(ReadFile("out.chm"), "kept");
        ExpectNothingGenerated();
    }
}

TEST_F(ChmCommandTest, NothingIsBuiltWithoutADownloadedStartingPageOrFromAPausedCrawl) {
    const ScopedEnv compiler("TARNWICK_CHM_COMPILER",
                             testing_support::WriteSucceedingCompiler(m_tools).c_str());
    WriteProject(false);
    EXPECT_EQ(Run({"p.tkp", "out.chm"}), 1);
    EXPECT_NE(m_err.str().find("the starting URL http://a.h.x/docs/ was not downloaded"),
              std::string::npos)
        << m_err.str();
    EXPECT_EQ(m_out.str(), "");

    // The state that follows the project section's tag in the file.
    WriteProject();
    std::string bytes = ReadFile("p.tkp");
    const std::size_t tag = bytes.find(std::string(CQuillmoorDoc::kManagerSection) + '\0');
    ASSERT_NE(tag, std::string::npos);
    bytes[tag + std::string(CQuillmoorDoc::kManagerSection).size() + 1] = static_cast<char>(Paused);
    WriteFile("p.tkp", bytes);
    EXPECT_EQ(Run({"p.tkp", "out.chm"}), 1);
    EXPECT_NE(m_err.str().find("is paused"), std::string::npos) << m_err.str();
    EXPECT_FALSE(fs::exists("out.chm"));
    ExpectNothingGenerated();
}

TEST_F(ChmCommandTest, BadArgumentsAreRefusedBeforeAnythingIsBuilt) {
    WriteProject();
    const struct {
        Arguments arguments;
        int status;
    } cases[] = {
        {{}, 2},
        {{"p.tkp"}, 2},
        {{"p.tkp", "a.chm", "b.chm"}, 2},
        {{"p.tkp", "a.chm", "--yes"}, 2},
        {{"p.tkp", "no/such/folder/a.chm"}, 1},
        {{"p.tkp", "."}, 1},
        {{"p.tkp", "sub/.."}, 1},
        {{"missing.tkp", "a.chm"}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.arguments), c.status) << c.arguments.size();
        EXPECT_EQ(m_out.str(), "");
    }
    EXPECT_FALSE(fs::exists("a.chm"));
    ExpectNothingGenerated();
}

}  // namespace
