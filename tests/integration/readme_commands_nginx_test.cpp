// Every tarnwick-cli line of the README's command-line sections, run as
// written against nginx: a user who copies them gets what they promise.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#if defined(TARNWICK_CLI) && defined(TARNWICK_SOURCE_DIR)
namespace {

namespace fs = std::filesystem;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// The sections that teach the command line, up to the next one that does not.
constexpr const char* kFirstSection = "## Mirroring from the command line";
constexpr const char* kEndSection = "## Desktop program";
constexpr const char* kExampleHost = "https://www.example.org";

// The "tarnwick-cli" lines of the sh blocks between the two headings.
std::vector<std::string> ReadmeCommandLines() {
    std::istringstream readme(ReadFile(std::string(TARNWICK_SOURCE_DIR) + "/README.md"));
    std::vector<std::string> lines;
    bool inSections = false;
    bool inShell = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("## ")) {
            inSections = (inSections || line == kFirstSection) && line != kEndSection;
        } else if (line.starts_with("```")) {
            inShell = !inShell && line == "```sh";
        } else if (inSections && inShell && line.starts_with("tarnwick-cli ")) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The words of a line as a shell reads them: blanks separate, double quotes
// group, " #" starts a comment.
std::vector<std::string> ShellWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else if (!quoted && c == '#' && !inWord) {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

class ReadmeCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::IsInstalled()) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_site = std::make_unique<NginxServer>(m_work.Path() / "site");
        const fs::path html = m_site->DocumentRoot();
        fs::create_directories(html / "docs");
        WriteFile((html / "index.html").string(),
                  "<title>Home</title><a href=\"docs/\">docs</a><img src=\"logo.png\">");
        WriteFile((html / "logo.png").string(), "\x89PNG logo");
        WriteFile((html / "docs/index.html").string(),
                  "<title>Docs</title><a href=\"guide.html\">guide</a>");
        WriteFile((html / "docs/guide.html").string(), "<title>Guide</title><p>guide</p>");
        m_site->Start();
        fs::create_directories(m_work.Path() / "run");
        m_config = std::make_unique<testing_support::ScopedEnv>("TARNWICK_CONFIG_DIR",
                                                                m_work.Path().c_str());
    }

    // The line with the example host replaced by the local site.
    std::vector<std::string> LocalCommand(const std::string& line) const {
        std::vector<std::string> words = ShellWords(line);
        words.front() = TARNWICK_CLI;
        const std::string local = "http://127.0.0.1:" + std::to_string(m_site->Port());
        for (std::string& word : words) {
            if (const std::size_t at = word.find(kExampleHost); at != std::string::npos) {
                word.replace(at, std::string(kExampleHost).size(), local);
            }
        }
        return words;
    }

    int Run(const std::vector<std::string>& command, std::string& output) {
        const fs::path previous = fs::current_path();
        fs::current_path(m_work.Path() / "run");
        const std::string file = (m_work.Path() / "cli.out").string();
        fs::remove(file);
        const int status = testing_support::RunProgram(command, file);
        fs::current_path(previous);
        output = ReadFile(file);
        return status;
    }

    TempFolder m_work;
    std::unique_ptr<NginxServer> m_site;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
};

TEST_F(ReadmeCommandsTest, EveryExampleRunsAsWritten) {
    const std::vector<std::string> lines = ReadmeCommandLines();
    ASSERT_GE(lines.size(), 10U) << "the README's examples were not found";
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const std::vector<std::string> command = LocalCommand(line);
        const std::string& verb = command.at(1);
        if (verb == "chm" && testing_support::FindProgram("chmcmd").empty()) {
            // The CHM compiler is a package of its own (fp-utils).
            std::cout << "skipped, chmcmd is not installed: " << line << "\n";
            continue;
        }
        std::string output;
        const int status = Run(command, output);
        if (verb == "stop") {
            // The examples' crawls run to their end, and only a paused project
            // can be stopped: the line says so rather than pretending.
            EXPECT_EQ(status, 1) << output;
            EXPECT_NE(output.find("is not paused"), std::string::npos) << output;
        } else {
            EXPECT_EQ(status, 0) << output;
        }
    }
    // What the lines promise came about: the mirror and its update, the
    // project's download, the help file and the stored settings.
    const fs::path run = m_work.Path() / "run";
    const std::string mirror = "127_0_0_1_" + std::to_string(m_site->Port()) + "_docs";
    EXPECT_TRUE(fs::exists(run / (mirror + ".tkp")));
    EXPECT_TRUE(fs::exists(run / (mirror + ".files") /
                           ("127.0.0.1_" + std::to_string(m_site->Port())) / "docs/guide.html"));
    EXPECT_TRUE(fs::exists(run / "site.files"));
    std::string output;
    ASSERT_EQ(Run({TARNWICK_CLI, "settings", "Head Requests"}, output), 0);
    EXPECT_EQ(output, "Head Requests=0\n");
}

TEST(ReadmeCommandsWordsTest, LinesAreSplitAsAShellSplitsThem) {
    EXPECT_EQ(ShellWords("tarnwick-cli settings Retry=1 \"Head Requests=0\"   # two"),
              (std::vector<std::string>{"tarnwick-cli", "settings", "Retry=1", "Head Requests=0"}));
    EXPECT_EQ(ShellWords("tarnwick-cli start site.tkp#x  # note"),
              (std::vector<std::string>{"tarnwick-cli", "start", "site.tkp#x"}));
}

}  // namespace
#endif
