// Builds help files from a generated mirror with the real chmcmd and reads
// them back with chmls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chm/chm_builder.h"
#include "chm/compile_chm_file.h"
#include "platform/child_process.h"
#include "platform/wait_event.h"
#include "support/missing_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFile;

struct Page {
    std::string path;   // below the host folder
    std::string title;  // as chmls prints the contents' text
    std::string html;
};

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = {
        {"index.htm", "Start",
         "<html><head><title>Start</title></head><body>"
         "<a href=\"docs/guide.htm\">guide</a><a href=\"docs/deep/ref.html\">ref</a>"
         "<img src=\"img/logo.png\"></body></html>"},
        {"docs/guide.htm", "Guide &amp; tips", "<title>Guide &amp; tips</title><p>guide"},
        {"docs/deep/ref.html", "Reference", "<TITLE>Reference</TITLE><p>ref"},
        {"notitle.htm", "notitle", "<p>a page without a title"},
        {"caf\xe9.htm", "caf\xe9", "<p>a name in Latin-1"},
        {"with space.htm", "Spaced", "<title>Spaced</title>"},
        {"quoted.htm", "Say \"hi\"", "<title>Say \"hi\"</title>"},
    };
    return pages;
}

// Output lines and exit status of a program; nothing when it cannot run.
std::optional<std::vector<std::string>> RunProgram(const std::string& program,
                                                   const std::vector<std::string>& arguments) {
    CChildProcess child;
    if (child.Start(program, arguments) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::string line;
    while (child.ReadLine(line, 60000) == CChildProcess::ReadResult::kLine) {
        lines.push_back(line);
    }
    return child.Wait(60000) == 0 ? std::optional(lines) : std::nullopt;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CQuietSink : public CChmProgressSink {
public:
    void OnBegin(std::size_t, LPARAM) override {}
    void OnStep(LPARAM) override {}
    void OnEnd(ResultCode, LPARAM) override {}

    CWaitEvent cancel;
};

// Counts the compiler's steps, each of which the dialog shows as it comes.
class CStepCountingSink : public CQuietSink {
public:
    void OnBegin(std::size_t range, LPARAM phase) override {
        if (phase == kChmPhaseCompile) {
            compileRange = range;
        }
    }
    void OnStep(LPARAM phase) override { compileSteps += phase == kChmPhaseCompile ? 1 : 0; }

    std::size_t compileRange = 0;
    std::size_t compileSteps = 0;
};

constexpr int kManyPages = 300;

class ChmCompileTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"chmcmd", "chmls"}) {
            if (!RunProgram("sh", {"-c", std::string("command -v ") + tool})) {
                TARNWICK_MISSING_SERVER(tool << " is not installed");
            }
        }
        m_request.downloadFolder = CFilePath(m_download.Path().string());
        ASSERT_TRUE(m_request.startUrl.Parse("http://example.com/"));
        m_request.startStoredPath = "example.com/index.htm";
        m_request.target = CFilePath(m_elsewhere.File("Site.chm"));
    }

    void WriteMirror() {
        for (const Page& page : Pages()) {
            WriteSiteFile(page.path, page.html);
        }
        WriteSiteFile("img/logo.png", "\x89PNG");
    }
    void WriteSiteFile(const std::string& path, const std::string& content) {
        const std::filesystem::path file = m_download.Path() / "example.com" / path;
        std::filesystem::create_directories(file.parent_path());
        WriteFile(file.string(), content);
    }

    // Enough linked pages that chmcmd works for a while.
    void WriteLinkedPages(int count) {
        std::string links;
        for (int i = 0; i < count; ++i) {
            const std::string name = "more/p" + std::to_string(i) + ".htm";
            links += "<a href=\"" + name + "\">" + name + "</a>";
            std::string text;
            for (int j = 0; j < 400; ++j) {
                text += std::to_string(i * 7919 + j * 104729) + " ";
            }
            WriteSiteFile(name, "<title>Page " + std::to_string(i) + "</title>" + text);
        }
        WriteSiteFile("index.htm", "<title>Start</title>" + links);
    }

    std::string Extract(const char* command) {
        const std::string out = m_elsewhere.File(command);
        EXPECT_TRUE(RunProgram("chmls", {command, m_request.target.GetFullPath(), out}));
        return ReadFile(out);
    }

    const ScopedEnv m_realCompiler{"TARNWICK_CHM_COMPILER", nullptr};
    TempFolder m_download;
    TempFolder m_elsewhere;
    CChmRequest m_request;
    CQuietSink m_sink;
};

TEST_F(ChmCompileTest, EveryPageIsInsideAndNamedByTheContentsAndIndex) {
    WriteMirror();
    const CChmOutcome outcome = CompileChmFile(m_request, m_sink);
    ASSERT_EQ(outcome.result, ERR_SUCCESS);
    ASSERT_TRUE(outcome.targetWritten);

    const auto listed = RunProgram("chmls", {"-n", "list", m_request.target.GetFullPath()});
    ASSERT_TRUE(listed);
    std::string names;
    for (const std::string& line : *listed) {
        names += line + "\n";
    }
    const std::string contents = Extract("extracttoc");
    const std::string index = Extract("extractindex");
    for (const Page& page : Pages()) {
        const std::string local = "example.com/" + page.path;
        EXPECT_TRUE(Contains(names, "/" + local + "\n")) << local;
        EXPECT_TRUE(Contains(contents, "value=\"" + local + "\"")) << local;
        EXPECT_TRUE(Contains(contents, "value=\"" + page.title + "\"")) << page.title;
        EXPECT_TRUE(Contains(index, "value=\"" + local + "\"")) << local;
        EXPECT_TRUE(Contains(index, "value=\"" + page.title + "\"")) << page.title;
    }
    // The project's options reach the help file: it opens with the starting
    // page and carries the target's title.
    const auto system = RunProgram("chmls", {"printsystem", m_request.target.GetFullPath()});
    ASSERT_TRUE(system);
    std::string options;
    for (const std::string& line : *system) {
        options += line + "\n";
    }
    EXPECT_TRUE(Contains(options, ":example.com/index.htm")) << options;
    EXPECT_TRUE(Contains(options, "Title from [options]          :Site")) << options;
    EXPECT_TRUE(Contains(options, "LCID from HHP file                : 2048")) << options;

    // The folder of images has no entry of its own.
    EXPECT_FALSE(Contains(contents, "value=\"img\""));

    for (const auto& entry : std::filesystem::directory_iterator(m_download.Path())) {
        EXPECT_TRUE(entry.is_directory()) << entry.path() << " was left behind";
    }
}

TEST_F(ChmCompileTest, TheCompilerStepsOnceForEachFileItTakesIn) {
    WriteMirror();
    WriteLinkedPages(kManyPages);
    CStepCountingSink sink;
    ASSERT_EQ(CompileChmFile(m_request, sink).result, ERR_SUCCESS);
    // The steps come from the compiler's lines while it runs, one for each
    // file, so the bar moves through its range.
    EXPECT_GE(sink.compileSteps, std::size_t{kManyPages});
    EXPECT_LE(sink.compileSteps, sink.compileRange);
}

// Sets the event as soon as the compiler runs: the project copy that it is
// given exists only while it does.
class CCompilerWatcher {
public:
    CCompilerWatcher(const std::filesystem::path& folder, CWaitEvent& event)
        : m_thread([this, folder, &event] {
              while (!m_done) {
                  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                      if (entry.path().filename().string().starts_with(".tarnwick-")) {
                          event.Set();
                          return;
                      }
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~CCompilerWatcher() {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

TEST_F(ChmCompileTest, ACancelDuringCompilationLeavesNoTargetAndNoGeneratedFiles) {
    WriteMirror();
    WriteLinkedPages(kManyPages);
    WriteFile(m_request.target.GetFullPath(), "the user's file");

    CChmOutcome outcome;
    {
        const CCompilerWatcher watcher(m_download.Path(), m_sink.cancel);
        outcome = CompileChmFile(m_request, m_sink, &m_sink.cancel);
    }
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.result, ERR_CHM_STOPPED) << "the compiler finished before the cancel";
    EXPECT_EQ(ReadFile(m_request.target.GetFullPath()), "the user's file");
    for (const auto& entry : std::filesystem::directory_iterator(m_download.Path())) {
        EXPECT_TRUE(entry.is_directory()) << entry.path() << " was left behind";
    }
}

}  // namespace
