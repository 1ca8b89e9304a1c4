#include "chm/compile_chm_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chm/chm_builder.h"
#include "chm/chm_compilation.h"
#include "platform/wait_event.h"
#include "support/fake_chm_compiler.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Keeps what the dialog would show; sets the cancel event at the first
// step of a phase, as a user pressing Cancel would.
class CRecordingSink : public CChmProgressSink {
public:
    std::vector<std::string> shown;
    std::vector<std::pair<ResultCode, LPARAM>> ends;
    LPARAM cancelPhase = 0;
    CWaitEvent cancel;

    void OnBegin(std::size_t, LPARAM phase) override {
        if (const char* label = GetChmPhaseLabel(phase)) {
            shown.push_back(label);
        }
    }
    void OnStep(LPARAM phase) override {
        if (phase == cancelPhase) {
            cancel.Set();
        }
    }
    void OnEnd(ResultCode result, LPARAM phase) override {
        ends.emplace_back(result, phase);
        if (const char* message = GetChmEndMessage(result, phase)) {
            shown.push_back(message);
        }
    }
};

class CompileChmFileTest : public testing::Test {
protected:
    CompileChmFileTest() {
        m_request.downloadFolder = CFilePath(m_download.Path().string());
        EXPECT_TRUE(m_request.startUrl.Parse("http://example.com/"));
        m_request.startStoredPath = "example.com/index.htm";
        m_request.target = CFilePath(m_elsewhere.File("My Help.chm"));
    }

    void WriteSite() {
        std::filesystem::create_directories(m_download.File("example.com/img"));
        WriteFile(m_download.File("example.com/index.htm"), "<title>Start</title>");
        WriteFile(m_download.File("example.com/img/a.png"), "png");
    }

    CChmOutcome Run(const std::string& compiler) {
        const ScopedEnv env("TARNWICK_CHM_COMPILER", compiler.c_str());
        return CompileChmFile(m_request, m_sink, &m_sink.cancel);
    }

    bool TargetExists() const { return std::filesystem::exists(m_request.target.GetFullPath()); }

    // Whatever the outcome, none of the generated files stays behind.
    void ExpectNoGeneratedFiles() const {
        for (const char* extension : {".hhp", ".hhc", ".hhk", ".chm"}) {
            EXPECT_FALSE(
                std::filesystem::exists(m_download.File(std::string("My Help") + extension)))
                << extension;
        }
        for (const auto& entry : std::filesystem::directory_iterator(m_download.Path())) {
            EXPECT_TRUE(entry.is_directory()) << entry.path();
        }
    }

    TempFolder m_download;
    TempFolder m_elsewhere;
    TempFolder m_scripts;
    CChmRequest m_request;
    CRecordingSink m_sink;
};

TEST_F(CompileChmFileTest, ASuccessfulBuildReplacesTheTarget) {
    WriteSite();
    WriteFile(m_request.target.GetFullPath(), "an older help file");
    const CChmOutcome outcome = Run(testing_support::WriteSucceedingCompiler(m_scripts));
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(outcome.result, ERR_SUCCESS);
    EXPECT_TRUE(outcome.targetWritten);
    EXPECT_EQ(ReadFile(m_request.target.GetFullPath()), "compiled");
    EXPECT_EQ(m_sink.shown, (std::vector<std::string>{"Preparing...", "Compiling..."}));
    EXPECT_EQ(m_sink.ends.back(), (std::pair<ResultCode, LPARAM>{ERR_SUCCESS, kChmPhaseCompile}));
    ExpectNoGeneratedFiles();
}

TEST_F(CompileChmFileTest, FailuresShowTheirMessageAndLeaveTheTargetAlone) {
    struct Case {
        const char* name;
        bool withSite;
        std::string compiler;
        ResultCode result;
        const char* message;
    };
    const Case cases[] = {
        {"no file", false, testing_support::WriteSucceedingCompiler(m_scripts), ERR_CHM_NO_FILES,
         "No file to compile!"},
        {"missing compiler", true, m_scripts.File("missing-compiler"), ERR_CHM_LOAD_COMPILER,
         "Can't load the compiler!"},
        {"failing compiler", true,
         testing_support::WriteFakeCompiler(m_scripts, "failing.sh", "exit 1\n"), ERR_CHM_COMPILE,
         "Error compiling the files!"},
    };
    for (const Case& c : cases) {
        m_sink.shown.clear();
        if (c.withSite) {
            WriteSite();
        }
        // A compiled file left by an earlier run is not taken for this one's.
        WriteFile(m_download.File("My Help.chm"), "stale");
        const CChmOutcome outcome = Run(c.compiler);
        EXPECT_EQ(outcome.result, c.result) << c.name;
        ASSERT_FALSE(m_sink.shown.empty()) << c.name;
        EXPECT_EQ(m_sink.shown.back(), c.message) << c.name;
        EXPECT_FALSE(TargetExists()) << c.name;
        ExpectNoGeneratedFiles();
    }
}

TEST_F(CompileChmFileTest, ACancelDuringCompilationLeavesNothingBehind) {
    WriteSite();
    m_sink.cancelPhase = kChmPhaseCompile;
    const CChmOutcome outcome = Run(testing_support::WriteHangingCompiler(m_scripts));
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.result, ERR_CHM_STOPPED);
    EXPECT_FALSE(TargetExists());
    ExpectNoGeneratedFiles();
    // The stop ended the build; it is no compilation error to show.
    EXPECT_EQ(m_sink.shown, (std::vector<std::string>{"Preparing...", "Compiling..."}));
}

TEST_F(CompileChmFileTest, ACancelThatLosesTheRaceToTheCompilerStillKeepsTheTarget) {
    WriteSite();
    WriteFile(m_request.target.GetFullPath(), "the user's file");
    m_sink.cancelPhase = kChmPhaseCompile;
    const CChmOutcome outcome = Run(testing_support::WriteSucceedingCompiler(m_scripts));
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.targetWritten);
    EXPECT_EQ(ReadFile(m_request.target.GetFullPath()), "the user's file");
    ExpectNoGeneratedFiles();
}

TEST_F(CompileChmFileTest, ACompiledFileThatCannotReachTheTargetIsKept) {
    WriteSite();
    m_request.target = CFilePath(m_elsewhere.File("gone/My Help.chm"));
    const CChmOutcome outcome = Run(testing_support::WriteSucceedingCompiler(m_scripts));
    EXPECT_EQ(outcome.result, ERR_SUCCESS);
    EXPECT_FALSE(outcome.targetWritten);
    EXPECT_EQ(ReadFile(m_download.File("My Help.chm")), "compiled");
    EXPECT_FALSE(std::filesystem::exists(m_download.File("My Help.hhp")));
}

TEST_F(CompileChmFileTest, NothingIsBuiltWhenTheStartingPageWasNotDownloaded) {
    WriteSite();
    for (const char* storedPath : {"", "../outside.htm"}) {
        m_request.startStoredPath = storedPath;
        const CChmOutcome outcome = Run(testing_support::WriteSucceedingCompiler(m_scripts));
        EXPECT_FALSE(outcome.started) << storedPath;
        EXPECT_TRUE(m_sink.ends.empty()) << storedPath;
        ExpectNoGeneratedFiles();
    }
}

TEST(ChmCompilationTest, GeneratedFilesAreNamedAfterTheTargetInTheDownloadFolder) {
    const CChmCompilation compilation(CFilePath("/dl/site.files"), CFilePath("/out/My Help.chm"));
    const CChmBuilder& builder = compilation.GetBuilder();
    EXPECT_EQ(builder.GetProjectFile().GetFullPath(), "/dl/site.files/My Help.hhp");
    EXPECT_EQ(builder.GetContentsFile().GetFullPath(), "/dl/site.files/My Help.hhc");
    EXPECT_EQ(builder.GetIndexFile().GetFullPath(), "/dl/site.files/My Help.hhk");
    EXPECT_EQ(builder.GetCompiledFile().GetFullPath(), "/dl/site.files/My Help.chm");
    EXPECT_EQ(builder.GetTitle(), "My Help");
    EXPECT_EQ(builder.GetSourceFolder().GetFullPath(), "/dl/site.files");
}

TEST(ChmCompilationTest, OnlyTheDialogsOwnCombinationsShowAMessage) {
    int shown = 0;
    for (const LPARAM phase : {kChmPhaseCount, kChmPhaseWrite, kChmPhaseCompile}) {
        for (const ResultCode code : {ERR_SUCCESS, ERR_CHM_NO_FILES, ERR_CHM_LOAD_COMPILER,
                                      ERR_CHM_COMPILE, ERR_CHM_STOPPED, ERR_FILE_STREAM_OPEN}) {
            shown += GetChmEndMessage(code, phase) != nullptr ? 1 : 0;
        }
    }
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(GetChmPhaseLabel(kChmPhaseCount), nullptr);
}

}  // namespace
