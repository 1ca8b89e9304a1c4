// A page whose tree does not fit in the memory the program may use fails
// alone: the command line goes on with the other pages, saves the project
// and reports the page with the system's code for lack of memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#if defined(TARNWICK_CLI) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

using testing_support::FindProgram;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Enough for the program and its small pages, far too little for the tree
// of a million links.
constexpr const char* kAddressSpaceLimit = "--as=400000000";
constexpr int kBigPageLinks = 1000000;

void WriteSite(const std::filesystem::path& root) {
    WriteFile((root / "start.html").string(),
              "<a href=big.html>big</a><a href=small.html>small</a>");
    WriteFile((root / "small.html").string(), "<p>small</p>");
    std::ofstream big(root / "big.html");
    big << "<html><body>\n";
    for (int i = 0; i < kBigPageLinks; ++i) {
        big << "<a href=\"small.html#" << i << "\">x</a>\n";
    }
}

TEST(PageMemoryTest, APageThatDoesNotFitFailsAloneAndTheProjectIsSaved) {
    const std::string prlimit = FindProgram("prlimit");
    if (!NginxServer::IsInstalled() || prlimit.empty()) {
        TARNWICK_MISSING_SERVER("nginx or prlimit is not installed");
    }
    TempFolder folder;
    NginxServer nginx(folder.Path() / "nginx");
    WriteSite(nginx.DocumentRoot());
    nginx.Start();
    const testing_support::ScopedEnv config("TARNWICK_CONFIG_DIR", folder.Path().c_str());
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/";
    const std::string mirror = folder.File("mirror");
    const int status = RunProgram({prlimit, kAddressSpaceLimit, TARNWICK_CLI, "mirror",
                                   base + "start.html", "--into", mirror, "--threads", "2"},
                                  folder.File("mirror.out"));
    const std::string text = ReadFile(folder.File("mirror.out"));
    // Lack of memory is a generic error, not the server's.
    EXPECT_EQ(status, 1) << text;
    EXPECT_NE(text.find("failed " + base + "big.html (Not enough memory.)"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Project completed: 2 files were downloaded."), std::string::npos) << text;

    RunProgram({TARNWICK_CLI, "list", mirror + ".tkp"}, folder.File("list.out"));
    const std::string list = ReadFile(folder.File("list.out"));
    EXPECT_NE(list.find("saved\t" + base + "small.html"), std::string::npos) << list;
    EXPECT_NE(list.find("failed\t" + base + "big.html\t0x0000000E"), std::string::npos) << list;
}

}  // namespace
#endif
