// Files that only scripts name, mirrored by the command line: navigation
// data that lists pages, a search index loaded by an inline script and an
// image a script swaps in. The scripts are saved as they were served.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "engine/program_options.h"
#include "support/child_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#ifdef TARNWICK_CLI
namespace {

namespace fs = std::filesystem;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr const char* kMenuData =
    "var menudata={children:[{text:\"Main Page\",url:\"index.html\"},\n"
    "{text:\"Files\",url:\"files.html\"}, {text:\"Out\",url:\"../out.html\"}]} // 'no.html'\n";
constexpr const char* kSidebar =
    "img.src = img.src.replace(/minus\\.png$/, 'plus.png'); /* 'comment.png' */\n";

TEST(CrawlScriptRefsTest, FilesNamedOnlyByScriptsAreMirroredWithinTheScope) {
    if (!NginxServer::IsInstalled()) {
        TARNWICK_MISSING_SERVER("nginx is not installed");
    }
    TempFolder folder;
    NginxServer site(folder.Path() / "site");
    const fs::path d = site.DocumentRoot() / "d";
    fs::create_directories(d / "_static");
    WriteFile((d / "index.html").string(),
              "<script src=\"menudata.js\"></script><script src=\"_static/sidebar.js\"></script>"
              "<script>Search.loadIndex(\"searchindex.js\"); x = '<b>no.html</b>'</script>"
              "<script type=\"text/template\">'template.html'</script>");
    WriteFile((d / "menudata.js").string(), kMenuData);
    WriteFile((d / "_static/sidebar.js").string(), kSidebar);
    for (const char* file : {"files.html", "searchindex.js", "_static/plus.png", "template.html",
                             "no.html", "comment.png", "../out.html"}) {
        WriteFile((d / file).string(), file);
    }
    site.Start();

    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", folder.Path().c_str());
    GetProgramOptions().ResetToDefaults();
    GetProgramOptions().SetRobots(false);
    GetProgramOptions().Save();
    const fs::path mirror = folder.Path() / "mirror";
    const std::string start = "http://127.0.0.1:" + std::to_string(site.Port()) + "/d/index.html";
    ASSERT_EQ(testing_support::RunProgram(
                  {TARNWICK_CLI, "mirror", start, "--into", mirror.string(), "-q"},
                  folder.File("cli.out")),
              0)
        << ReadFile(folder.File("cli.out"));

    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(mirror)) {
        if (entry.is_regular_file()) {
            files.insert(entry.path().lexically_relative(mirror).string());
        }
    }
    const std::string host = "127.0.0.1_" + std::to_string(site.Port()) + "/d/";
    std::set<std::string> expected;
    for (const char* file : {"index.html", "menudata.js", "_static/sidebar.js", "files.html",
                             "searchindex.js", "_static/plus.png"}) {
        expected.insert(host + file);
    }
    EXPECT_EQ(files, expected);
    EXPECT_EQ(ReadFile((mirror / host / "menudata.js").string()), kMenuData);
    EXPECT_EQ(ReadFile((mirror / host / "_static/sidebar.js").string()), kSidebar);
}

}  // namespace
#endif
