// URLs that the mapping saves under one name, fetched at the same time from a
// slow nginx by many workers: the file ends up holding one of the bodies whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/crawl_controller.h"
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
// its own; both are saved as dN/default.
std::string FolderBody(int pair) {
    return std::string(kBodySize, static_cast<char>('a' + pair));
}
std::string DefaultBody(int pair) {
    return std::string(kBodySize, static_cast<char>('A' + pair));
}

TEST(CrawlSharedFileTest, TwoUrlsOfOneFileNeverMixTheirBodies) {
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

    const std::string saved =
        folder.File("site.files") + "/127.0.0.1_" + std::to_string(nginx.Port()) + "/d";
    for (int pair = 0; pair < kPairs; ++pair) {
        SCOPED_TRACE(pair);
        const std::string content = ReadFile(saved + std::to_string(pair) + "/default");
        EXPECT_TRUE(content == FolderBody(pair) || content == DefaultBody(pair))
            << content.size() << " bytes starting with " << content.substr(0, 16);
    }
}

}  // namespace
