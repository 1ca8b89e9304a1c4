// The external-levels limit over two hosts of one nginx: a small site in a
// folder of 127.0.0.1 that links to pages of 127.0.0.2, which link on.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "engine/crawl_controller.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"
#include "support/crawl_window.h"
#include "support/loopback_server_process.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/parsed_url.h"
#include "support/temp_folder.h"

namespace {

using testing_support::CrawlWindow;
using testing_support::NginxServer;
using testing_support::TempFolder;

constexpr const char* kOtherHost = "127.0.0.2";

class CrawlExternalTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::IsInstalled()) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_options.SetRetries(1);
        m_otherPort = testing_support::FreePort(kOtherHost);
        const std::string other =
            "http://" + std::string(kOtherHost) + ":" + std::to_string(m_otherPort);
        const std::filesystem::path site = m_folder.Path() / "nginx/html";
        const std::filesystem::path away = m_folder.Path() / "other";
        std::filesystem::create_directories(site / "d");
        std::filesystem::create_directories(site / "x");
        std::filesystem::create_directories(away);
        const auto write = [](const std::filesystem::path& file, const std::string& text) {
            testing_support::WriteFile(file.string(), text);
        };
        write(site / "d/index.html",
              "<a href=\"a1.html\">a</a><a href=\"/x/out.html\">x</a>"
              "<a href=\"" +
                  other + "/b1.html\">b</a><img src=\"pic.png\">");
        write(site / "d/a1.html", "<p>a1</p>");
        write(site / "d/pic.png", "png");
        write(site / "d/back.html", "<p>back</p>");
        write(site / "x/out.html", "<p>out</p>");
        m_nginx = std::make_unique<NginxServer>(m_folder.Path() / "nginx");
        m_nginx->SetHttpDirectives("  server {\n    listen " + std::string(kOtherHost) + ":" +
                                   std::to_string(m_otherPort) + ";\n    root " + away.string() +
                                   ";\n  }\n");
        m_nginx->Start();
        // The other host's pages lead on there, and back to the site.
        write(away / "b1.html",
              "<a href=\"b2.html\">b2</a><img src=\"bpic.png\">"
              "<a href=\"http://127.0.0.1:" +
                  std::to_string(Port()) + "/d/back.html\">back</a>");
        write(away / "b2.html", "<a href=\"b3.html\">b3</a>");
        write(away / "b3.html", "<p>b3</p>");
        write(away / "bpic.png", "png");
    }

    int Port() const { return m_nginx->Port(); }

    // The files that a crawl with these external levels leaves below its folder.
    std::set<std::string> Crawl(int externalLevels) {
        TempFolder download;
        CProjectSettings project;
        project.SetStartUrl(testing_support::ParsedUrl(
            "http://127.0.0.1:" + std::to_string(Port()) + "/d/index.html"));
        project.SetThreadCount(2);
        project.SetFolders(download.File("site.files"), "site.files");
        project.GetRules().SetLevels(-1, externalLevels);
        project.GetRules().SetScope("127.0.0.1", "/d/index.html");
        CrawlWindow window;
        CCrawlController controller(project);
        controller.New(window.Target());
        EXPECT_TRUE(controller.Start(m_options));
        EXPECT_TRUE(window.PumpUntilFinished());
        EXPECT_TRUE(controller.OnCrawlFinished());
        std::set<std::string> files;
        const std::filesystem::path root = download.Path() / "site.files";
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                files.insert(entry.path().lexically_relative(root).string());
            }
        }
        return files;
    }

    TempFolder m_folder;
    std::unique_ptr<NginxServer> m_nginx;
    CProgramOptions m_options;
    int m_otherPort = 0;
};

TEST_F(CrawlExternalTest, EachExternalLevelReachesOnePageFurtherFromTheSite) {
    const std::string site = "127.0.0.1_" + std::to_string(Port()) + "/";
    const std::string other = std::string(kOtherHost) + "_" + std::to_string(m_otherPort) + "/";
    const std::set<std::string> own = {site + "d/index.html", site + "d/a1.html",
                                       site + "d/pic.png"};
    std::set<std::string> linked = own;
    linked.insert({other + "b1.html", other + "bpic.png"});
    std::set<std::string> linkedOn = linked;
    linkedOn.insert(other + "b2.html");
    EXPECT_EQ(Crawl(0), own);
    EXPECT_EQ(Crawl(1), linked);
    EXPECT_EQ(Crawl(2), linkedOn);
}

}  // namespace
