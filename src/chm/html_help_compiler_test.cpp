#include "chm/html_help_compiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fake_chm_compiler.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFakeCompiler;
using testing_support::WriteFile;

TEST(HtmlHelpCompilerTest, ProjectPathsBecomeRelativeToTheProjectFolder) {
    const CFilePath project("/dl/T.hhp");
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
        std::string compiledFile;
    };
    const Case cases[] = {
        {"generated project",
         "[OPTIONS]\r\nCompiled file=/dl/T.chm\r\nContents file=/dl/T.hhc\r\n"
         "Index file=/dl/T.hhk\r\nDefault topic=H/index.htm\r\nLanguage=0x800\r\n"
         "Title=/not/a/path\r\n\r\n[FILES]\r\n/dl/H/index.htm\r\n/dl/H/a/m.swf",
         "[OPTIONS]\r\nCompiled file=T.chm\r\nContents file=T.hhc\r\n"
         "Index file=T.hhk\r\nDefault topic=H/index.htm\r\nLanguage=0x800\r\n"
         "Title=/not/a/path\r\n\r\n[FILES]\r\nH/index.htm\r\nH/a/m.swf",
         "/dl/T.chm"},
        {"paths outside the folder, other sections, keys in another case",
         "[options]\ncompiled file=/out/x.chm\nDefault topic=/dl/H/i.htm\n[WINDOWS]\n"
         "main=/dl/a.htm\n[FILES]\n/other/p.htm\nrelative.htm\n",
         "[options]\r\ncompiled file=../out/x.chm\r\nDefault topic=H/i.htm\r\n[WINDOWS]\r\n"
         "main=/dl/a.htm\r\n[FILES]\r\n../other/p.htm\r\nrelative.htm\r\n",
         "/out/x.chm"},
        {"no compiled file named", "[OPTIONS]\r\nCompiled file=sub/../y.chm", "", "/dl/y.chm"},
        {"compiled file left to the compiler", "[FILES]\r\n/dl/a.htm", "[FILES]\r\na.htm",
         "/dl/T.chm"},
    };
    for (const Case& c : cases) {
        const CCompilerProject translated = TranslateProjectForCompiler(c.text, project);
        if (!c.expected.empty()) {
            EXPECT_EQ(translated.text, c.expected) << c.name;
        }
        EXPECT_EQ(translated.compiledFile.GetFullPath(), c.compiledFile) << c.name;
    }
}

class HtmlHelpCompilerRunTest : public testing::Test {
protected:
    HtmlHelpCompilerRunTest() {
        WriteFile(m_project.GetFullPath(),
                  "[OPTIONS]\r\nCompiled file=" + m_compiled.GetFullPath() +
                      "\r\nDefault topic=a.htm\r\n\r\n[FILES]\r\n" + m_folder.File("a.htm"));
    }

    ResultCode Run(const std::string& compiler, int stopAtCall = -1) {
        const ScopedEnv env("TARNWICK_CHM_COMPILER", compiler.c_str());
        return CompileHtmlHelpProject(m_project, [&](const std::string& text) {
            m_texts.push_back(text);
            return static_cast<int>(m_texts.size()) == stopAtCall ? 0 : 1;
        });
    }

    bool CompiledExists() const { return std::filesystem::exists(m_compiled.GetFullPath()); }

    // Nothing but the project is left in its folder.
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempFolder m_folder;
    TempFolder m_scripts;
    CFilePath m_project{m_folder.File("T.hhp")};
    CFilePath m_compiled{m_folder.File("T.chm")};
    std::vector<std::string> m_texts;
};

TEST_F(HtmlHelpCompilerRunTest, RunsInTheProjectFolderOnARelativeCopyAndFeedsItsLines) {
    const std::string seen = m_scripts.File("seen.hhp");
    const std::string compiler = WriteFakeCompiler(
        m_scripts, "copying.sh",
        "cp \"$1\" '" + seen + "'\necho one\necho\necho two >&2\nprintf x > T.chm\n");
    EXPECT_EQ(Run(compiler), ERR_SUCCESS);
    EXPECT_EQ(ReadFile(seen),
              "[OPTIONS]\r\nCompiled file=T.chm\r\nDefault topic=a.htm\r\n\r\n[FILES]\r\na.htm");
    // Each line closes its group with an empty text; a blank line is an
    // empty text of its own.
    EXPECT_EQ(m_texts, (std::vector<std::string>{"one", "", "", "two", ""}));
    EXPECT_EQ(ReadFile(m_compiled.GetFullPath()), "x");
    EXPECT_EQ(FolderEntries().size(), 2u) << "the project copy is gone";
}

TEST_F(HtmlHelpCompilerRunTest, SucceedsOnlyWhenTheCompilerExitsWithZeroAndWroteTheFile) {
    struct Case {
        const char* name;
        std::string body;
        ResultCode result;
    };
    const Case cases[] = {
        {"writes and exits 0", "printf x > T.chm\n", ERR_SUCCESS},
        {"exits 0 without writing", "exit 0\n", ERR_CHM_COMPILE},
        {"writes an empty file", ": > T.chm\n", ERR_CHM_COMPILE},
        {"writes and fails", "printf x > T.chm\nexit 217\n", ERR_CHM_COMPILE},
        {"crashes", "printf x > T.chm\nkill -SEGV $$\n", ERR_CHM_COMPILE},
    };
    for (const Case& c : cases) {
        // An older compiled file never passes for this run's.
        WriteFile(m_compiled.GetFullPath(), "old");
        EXPECT_EQ(Run(WriteFakeCompiler(m_scripts, "case.sh", c.body)), c.result) << c.name;
        EXPECT_EQ(CompiledExists(), c.result == ERR_SUCCESS) << c.name;
    }
}

TEST_F(HtmlHelpCompilerRunTest, AMissingCompilerCannotBeLoaded) {
    for (const std::string& program :
         {m_scripts.File("missing"), std::string("tarnwick-no-such-compiler")}) {
        EXPECT_EQ(Run(program), ERR_CHM_LOAD_COMPILER) << program;
    }
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"T.hhp"});
}

TEST_F(HtmlHelpCompilerRunTest, AZeroFromTheCallbackEndsTheCompilerAndItsFile) {
    const std::string hanging = testing_support::WriteHangingCompiler(m_scripts);
    const std::string silent =
        WriteFakeCompiler(m_scripts, "silent.sh", "printf partial > T.chm\nexec sleep 600\n");
    // The hanging one is stopped at its line; the silent one by the empty
    // texts that ask the callback while it says nothing.
    for (const auto& [compiler, stopAt] : {std::pair{hanging, 1}, std::pair{silent, 3}}) {
        m_texts.clear();
        EXPECT_EQ(Run(compiler, stopAt), ERR_CHM_COMPILE) << compiler;
        EXPECT_EQ(static_cast<int>(m_texts.size()), stopAt) << compiler;
        EXPECT_FALSE(CompiledExists()) << compiler;
    }
    EXPECT_EQ(m_texts, (std::vector<std::string>{"", "", ""}));
}

TEST_F(HtmlHelpCompilerRunTest, AnUnreadableProjectIsACompileError) {
    std::filesystem::remove(m_project.GetFullPath());
    EXPECT_EQ(Run(WriteFakeCompiler(m_scripts, "ok.sh", "printf x > T.chm\n")), ERR_CHM_COMPILE);
}

}  // namespace
