// URLs that the mapping gives one name, fetched at the same time from a slow
// nginx by many workers: each keeps a file of its own with its body whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/crawl_controller.h"
#include "engine/download_manager.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "support/crawl_window.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/parsed_url.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::TempFolder;

constexpr int kPairs = 8;
constexpr std::size_t kBodySize = 40000;

// "/dN/" answers with dN/body.txt as text/plain, "/dN/default" with a body of
// its own; the plain name of both is dN/default.
std::string FolderBody(int pair) {
    return std::string(kBodySize, static_cast<char>('a' + pair));
}
std::string DefaultBody(int pair) {
    return std::string(kBodySize, static_cast<char>('A' + pair));
}

TEST(CrawlSharedFileTest, TwoUrlsOfOneNameKeepTheirBodiesApart) {
    if (!NginxServer::IsInstalled()) {
        TARNWICK_MISSING_SERVER("nginx is not installed");
    }
    CProgramOptions options;
    options.SetRetries(5);
    TempFolder folder;
    const std::filesystem::path root = folder.Path() / "nginx/html";
    std::string start;
    for (int pair = 0; pair < kPairs; ++pair) {
        const std::string name = "d" + std::to_string(pair);
        std::filesystem::create_directories(root / name);
        testing_support::WriteFile((root / name / "body.txt").string(), FolderBody(pair));
        testing_support::WriteFile((root / name / "default").string(), DefaultBody(pair));
        start += "<a href=\"/" + name + "/\">f</a><a href=\"/" + name + "/default\">d</a>";
    }
    testing_support::WriteFile((root / "start.html").string(), start);
    NginxServer nginx(folder.Path() / "nginx");
    // Slow enough that each body takes several reads and the pairs overlap.
    nginx.SetServerDirectives("    index body.txt;\n    limit_rate 64k;\n");
    nginx.Start();

    CProjectSettings project;
    project.SetStartUrl(testing_support::ParsedUrl(
        "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/start.html"));
    project.SetThreadCount(8);
    project.SetFolders(folder.File("site.files"), "site.files");
    project.GetRules().SetLevels(-1, 0);
    project.GetRules().SetScope("127.0.0.1");
    CrawlWindow window;
    CCrawlController controller(project);
    controller.New(window.Target());
    ASSERT_TRUE(controller.Start(options));
    ASSERT_TRUE(window.PumpUntilFinished(std::chrono::seconds(120)));

    const std::string site = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/d";
    CDownloadList& list = controller.GetManager()->GetList();
    for (int pair = 0; pair < kPairs; ++pair) {
        SCOPED_TRACE(pair);
        const std::string folderFile =
            list.GetStoredPath(testing_support::ParsedUrl(site + std::to_string(pair) + "/"));
        const std::string defaultFile = list.GetStoredPath(
            testing_support::ParsedUrl(site + std::to_string(pair) + "/default"));
        EXPECT_NE(folderFile, defaultFile);
        EXPECT_TRUE(ReadFile(folder.File("site.files/" + folderFile)) == FolderBody(pair));
        EXPECT_TRUE(ReadFile(folder.File("site.files/" + defaultFile)) == DefaultBody(pair));
    }
}

}  // namespace
