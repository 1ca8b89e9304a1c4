#include "chm/chm_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_chm_compiler.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFile;

const std::string kSitemapStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/REC-html40/loose.dtd\">\n"
    "<html>\n<head><!-- Sitemap 1.0 --></head>\n<body><ul>\n";
const std::string kSitemapEnd = "</ul></body>\n</html>\n";

struct Report {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Report&) const = default;
};

// Records the reports instead of sending them; can ask for a stop at the
// n-th step of a phase, as a user's Cancel would.
class CRecordingBuilder : public CChmBuilder {
public:
    std::vector<Report> reports;
    LPARAM stopPhase = 0;
    int stopAtStep = 0;

    int StepsIn(LPARAM phase) const {
        int steps = 0;
        for (const Report& report : reports) {
            steps += report.message == WM_CHM_STEP && report.lParam == phase ? 1 : 0;
        }
        return steps;
    }
    std::vector<Report> WithoutSteps() const {
        std::vector<Report> others;
        for (const Report& report : reports) {
            if (report.message != WM_CHM_STEP) {
                others.push_back(report);
            }
        }
        return others;
    }

protected:
    void ReportBegin(WPARAM range, LPARAM phase) override {
        reports.push_back({WM_CHM_BEGIN, range, phase});
    }
    void ReportStep(WPARAM, LPARAM phase) override {
        reports.push_back({WM_CHM_STEP, 0, phase});
        if (phase == stopPhase && StepsIn(phase) == stopAtStep) {
            RequestStop();
        }
    }
    void ReportEnd(WPARAM result, LPARAM phase) override {
        reports.push_back({WM_CHM_END, result, phase});
    }
};

class ChmBuilderTest : public testing::Test {
protected:
    ChmBuilderTest() {
        m_builder.SetSourceFolder(CFilePath(m_folder.Path().string()));
        m_builder.SetProjectFile(CFilePath(Path("T.hhp")));
        m_builder.SetContentsFile(CFilePath(Path("T.hhc")));
        m_builder.SetIndexFile(CFilePath(Path("T.hhk")));
        m_builder.SetCompiledFile(CFilePath(Path("T.chm")));
        m_builder.SetDefaultTopic(CFilePath(Path("H/index.htm")));
    }

    std::string Path(const std::string& relative) const { return m_folder.File(relative); }

    void Write(const std::string& relative, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        WriteFile(Path(relative), content);
    }

    // A small mirror: a page two levels down, a folder of images, a page
    // without a title, a Flash file, and names whose byte order differs
    // from their order by letter.
    void WriteSmallSite() {
        Write("H/index.htm", "<html><head><title> Home &amp; more </title></head></html>");
        Write("H/images/logo.gif", "GIF89a");
        Write("H/images/photo.JPG", "jpeg");
        Write("H/deep/inner/page.html", "<TITLE>Deep \"page\" \xc3\xa9</TITLE>");
        Write("H/notitle.htm", "<p>No title here</p>");
        Write("H/Zoo.HTM", "");
        Write("H/media/intro.swf", "FWS");
    }

    TempFolder m_folder;
    CRecordingBuilder m_builder;
};

// The title comes with its quotes: the library picks single ones for a
// value that holds double ones. A list's only item ends on the list's line.
std::string TopicItem(const std::string& key, const std::string& title, const std::string& local,
                      const std::string& after = "\n") {
    return "<li><object type=\"text/sitemap\"><param name=\"" + key + "\" value=" + title +
           ">\n<param name=\"Local\" value=\"" + local + "\"></object></li>" + after;
}

std::string FolderItem(const std::string& name) {
    return "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
           "\"></object></li>\n";
}

TEST_F(ChmBuilderTest, SitemapsListThePagesOfTheTreeInByteOrder) {
    WriteSmallSite();
    m_builder.WriteSitemaps();

    // Upper case sorts first; the folder of images and the folder holding
    // only a Flash file are absent; the deep page keeps both its folders.
    const std::string contents =
        kSitemapStart + FolderItem("H") + "<ul>\n" + TopicItem("Name", "\"Zoo\"", "H/Zoo.HTM") +
        FolderItem("deep") + "<ul>\n" + FolderItem("inner") + "<ul>" +
        TopicItem("Name", "'Deep \"page\" \xe9'", "H/deep/inner/page.html", "</ul>\n") + "</ul>\n" +
        TopicItem("Name", "\"Home &amp; more\"", "H/index.htm") +
        TopicItem("Name", "\"notitle\"", "H/notitle.htm") + "</ul>\n" + kSitemapEnd;
    EXPECT_EQ(ReadFile(Path("T.hhc")), contents);

    const std::string index =
        kSitemapStart + TopicItem("Keyword", "\"Zoo\"", "H/Zoo.HTM") +
        TopicItem("Keyword", "'Deep \"page\" \xe9'", "H/deep/inner/page.html") +
        TopicItem("Keyword", "\"Home &amp; more\"", "H/index.htm") +
        TopicItem("Keyword", "\"notitle\"", "H/notitle.htm") + kSitemapEnd;
    EXPECT_EQ(ReadFile(Path("T.hhk")), index);

    EXPECT_EQ(m_builder.GetExtraFiles(), std::vector<std::string>{Path("H/media/intro.swf")});
    EXPECT_EQ(m_builder.StepsIn(kChmPhaseWrite), 7) << "one step per file of any kind";
}

TEST_F(ChmBuilderTest, FileNamesReachTheContentsAsTheirOwnBytes) {
    // A name that is no UTF-8 (a Latin-1 "é"), one with a surrogate
    // that a lax check takes for UTF-8, and one that is UTF-8.
    Write("H/caf\xe9.htm", "");
    Write("H/z\xed\xa0\x80.htm", "");
    Write("H/\xe6\x97\xa5.htm", "");
    m_builder.WriteSitemaps();
    const std::string contents = ReadFile(Path("T.hhc"));
    EXPECT_NE(contents.find(TopicItem("Name", "\"z\xed\xa0\x80\"", "H/z\xed\xa0\x80.htm")),
              std::string::npos)
        << contents;
    EXPECT_NE(contents.find(TopicItem("Name", "\"caf\xe9\"", "H/caf\xe9.htm")), std::string::npos)
        << contents;
    EXPECT_NE(contents.find(TopicItem("Name", "\"&#26085;\"", "H/\xe6\x97\xa5.htm")),
              std::string::npos)
        << contents;
}

TEST_F(ChmBuilderTest, ProjectFileBytes) {
    m_builder.WriteProject();
    const std::string options =
        "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + Path("T.chm") +
        "\r\nContents file=" + Path("T.hhc") + "\r\nIndex file=" + Path("T.hhk") +
        "\r\nDefault topic=H/index.htm\r\nDisplay compile "
        "progress=Yes\r\nLanguage=0x800";
    EXPECT_EQ(ReadFile(Path("T.hhp")), options + "\r\n\r\n[FILES]\r\n" + Path("H/index.htm"));

    Write("H/a.swf", "FWS");
    Write("H/b/c.SWF", "FWS");
    m_builder.WriteSitemaps();
    m_builder.SetTitle("My Site");
    m_builder.WriteProject();
    EXPECT_EQ(ReadFile(Path("T.hhp")), options + "\r\nTitle=My Site\r\n\r\n[FILES]\r\n" +
                                           Path("H/index.htm") + "\r\n" + Path("H/a.swf") + "\r\n" +
                                           Path("H/b/c.SWF"));
}

TEST_F(ChmBuilderTest, ALineEndCannotAddLinesToTheProject) {
    // A Flash file named by a web site is left out...
    Write("H/x\r\nCompiled file=evil.swf", "FWS");
    m_builder.WriteSitemaps();
    EXPECT_TRUE(m_builder.GetExtraFiles().empty());
    // ...and a title or path with a line end is refused.
    m_builder.SetTitle("two\nlines");
    EXPECT_THROW(m_builder.WriteProject(), CStreamException);
    m_builder.SetTitle("one line");
    m_builder.SetDefaultTopic(CFilePath(Path("H/a\rb.htm")));
    EXPECT_THROW(m_builder.WriteProject(), CStreamException);
}

TEST_F(ChmBuilderTest, CountsEveryFileBelowTheFolder) {
    EXPECT_EQ(m_builder.CountFiles(m_folder.Path().string()), 0u);
    WriteSmallSite();
    std::filesystem::create_directories(Path("empty/folder"));
    EXPECT_EQ(m_builder.CountFiles(m_folder.Path().string()), 7u);
    // Links are left out: one to a folder above would lead round in circles,
    // one to a file elsewhere would bring that file into the help file.
    std::filesystem::create_directory_symlink(m_folder.Path(), Path("H/loop"));
    std::filesystem::create_symlink(Path("H/index.htm"), Path("H/elsewhere.htm"));
    EXPECT_EQ(m_builder.CountFiles(m_folder.Path().string() + "/"), 7u);
}

TEST_F(ChmBuilderTest, BuildWithoutFilesEndsInTheCountingPhase) {
    EXPECT_EQ(m_builder.Build(), ERR_CHM_NO_FILES);
    EXPECT_EQ(m_builder.reports,
              (std::vector<Report>{{WM_CHM_BEGIN, 0, kChmPhaseCount},
                                   {WM_CHM_END, ERR_CHM_NO_FILES, kChmPhaseCount}}));
}

TEST_F(ChmBuilderTest, BuildReportsEachPhaseAndACompilerStepPerFileItTakesIn) {
    WriteSmallSite();
    TempFolder scripts;
    const ScopedEnv env("TARNWICK_CHM_COMPILER",
                        testing_support::WriteSucceedingCompiler(scripts).c_str());
    EXPECT_EQ(m_builder.Build(), ERR_SUCCESS);
    EXPECT_EQ(m_builder.WithoutSteps(),
              (std::vector<Report>{{WM_CHM_BEGIN, 0, kChmPhaseCount},
                                   {WM_CHM_END, ERR_SUCCESS, kChmPhaseCount},
                                   {WM_CHM_BEGIN, 7, kChmPhaseWrite},
                                   {WM_CHM_END, ERR_SUCCESS, kChmPhaseWrite},
                                   {WM_CHM_BEGIN, 10, kChmPhaseCompile},
                                   {WM_CHM_END, ERR_SUCCESS, kChmPhaseCompile}}));
    EXPECT_EQ(m_builder.StepsIn(kChmPhaseCompile), 2);
    EXPECT_EQ(ReadFile(Path("T.chm")), "compiled");
}

TEST_F(ChmBuilderTest, AStopEndsTheBuildWithoutEndingItsPhase) {
    WriteSmallSite();
    TempFolder scripts;
    const ScopedEnv env("TARNWICK_CHM_COMPILER",
                        testing_support::WriteHangingCompiler(scripts).c_str());
    for (const LPARAM phase : {kChmPhaseWrite, kChmPhaseCompile}) {
        m_builder.reports.clear();
        m_builder.stopPhase = phase;
        m_builder.stopAtStep = 1;
        EXPECT_EQ(m_builder.Build(), ERR_CHM_STOPPED) << phase;
        const Report last = m_builder.WithoutSteps().back();
        EXPECT_EQ(last, (Report{WM_CHM_BEGIN, last.wParam, phase})) << phase;
        EXPECT_FALSE(std::filesystem::exists(Path("T.chm"))) << phase;
    }
}

TEST_F(ChmBuilderTest, AFailedWriteEndsTheBuildWithItsCode) {
    WriteSmallSite();
    m_builder.SetContentsFile(CFilePath(Path("no/such/folder/T.hhc")));
    EXPECT_EQ(m_builder.Build(), ERR_FILE_STREAM_OPEN);
    EXPECT_EQ(m_builder.WithoutSteps().back(), (Report{WM_CHM_BEGIN, 7, kChmPhaseWrite}));
}

TEST_F(ChmBuilderTest, AMissingCompilerEndsThePhaseWithItsCode) {
    WriteSmallSite();
    const ScopedEnv env("TARNWICK_CHM_COMPILER", Path("no-compiler").c_str());
    EXPECT_EQ(m_builder.Build(), ERR_CHM_LOAD_COMPILER);
    EXPECT_EQ(m_builder.reports.back(),
              (Report{WM_CHM_END, ERR_CHM_LOAD_COMPILER, kChmPhaseCompile}));
}

}  // namespace
