// Where the command line writes a mirror, against nginx: never through a
// symbolic link placed in the download folder between two runs, and never one
// file for two URLs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/crawl_controller.h"
#include "engine/download_manager.h"
#include "engine/program_options.h"
#include "engine/quillmoor_doc.h"
#include "support/child_process.h"
#include "support/link_checker.h"
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

// URLs below /c/ whose plain names are one file, in the order the start page
// links them; the first of each group keeps the plain name. Every answer is
// a page that names its own request, so a file shows whose body it holds.
struct Collision {
    std::vector<std::string> paths;
    std::string plainName;  // below the host folder
};
// CRC-32 of "?q=1" is e7097d08.
const Collision kCollisions[] = {
    {{"/c/", "/c/.page-ABCDEF"}, "c/index.htm"},
    {{"/c/a/b.html", "/c/a%2Fb.html", "/c/a%5Cb.html"}, "c/a/b.html"},
    {{"/c/x.html?q=1", "/c/x08e7097d08.html"}, "c/x08e7097d08.html"},
    {{"/c/page.php", "/c/page.php.htm"}, "c/page.php.htm"},
};

std::string BodyOf(const std::string& requestUri) {
    return "<p>" + requestUri + "</p>";
}

std::string StartPage() {
    std::string page = BodyOf("/c/");
    for (const Collision& collision : kCollisions) {
        for (const std::string& path : collision.paths) {
            if (path != "/c/") {
                page += "<a href=\"" + path.substr(3) + "\">" + path + "</a>";
            }
        }
    }
    return page;
}

class LocalFilesNginxTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        s_site = std::make_unique<NginxServer>(s_folder->Path() / "site");
        const fs::path html = s_site->DocumentRoot();
        fs::create_directories(html / "s/sub");
        WriteFile(
            (html / "s/index.html").string(),
            "<a href=\"x.html\">x</a><a href=\"sub/page.html\">p</a><a href=\"ok.html\">o</a>");
        WriteFile((html / "s/x.html").string(), "<p>x</p>");
        WriteFile((html / "s/sub/page.html").string(), "<p>page</p>");
        WriteFile((html / "s/ok.html").string(), "<p>ok</p>");
        s_site->SetServerDirectives(
            "    location /c/ { default_type text/html; return 200 '<p>$request_uri</p>'; }\n"
            "    location = /c/ { default_type text/html; return 200 '" +
            StartPage() + "'; }\n");
        s_site->Start();
    }
    static void TearDownTestSuite() {
        s_site.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_site) {
            TARNWICK_MISSING_SERVER("nginx is not installed");
        }
        m_config = std::make_unique<testing_support::ScopedEnv>("TARNWICK_CONFIG_DIR",
                                                                m_work.Path().c_str());
        GetProgramOptions().ResetToDefaults();
        GetProgramOptions().SetRetries(1);
        GetProgramOptions().Save();
    }

    static std::string Site(const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(s_site->Port()) + path;
    }
    std::string Project() const { return m_work.File("site.tkp"); }
    std::string HostFolder() const {
        return m_work.File("site.files/127.0.0.1_" + std::to_string(s_site->Port()));
    }

    int RunCli(const std::vector<std::string>& arguments, std::string& output) const {
        std::vector<std::string> command{TARNWICK_CLI};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const std::string file = m_work.File("cli.out");
        const int status = testing_support::RunProgram(command, file);
        output = ReadFile(file);
        return status;
    }
    int Mirror(const std::string& start, std::string& output) const {
        if (RunCli({"new", Site(start), Project(), "--threads", "1", "--levels", "all"}, output) !=
            0) {
            return -1;
        }
        return RunCli({"start", Project()}, output);
    }

    // The stored path of every listed URL, by the URL's text.
    std::map<std::string, std::string> StoredPaths() const {
        CQuillmoorDoc doc(nullptr);
        EXPECT_TRUE(doc.OpenDocument(Project()));
        std::map<std::string, std::string> paths;
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        list.RewindView();
        while (const CDownloadEntry* entry = list.NextViewEntry()) {
            paths[entry->GetUrlText()] = entry->GetStoredPath();
        }
        return paths;
    }

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<NginxServer> s_site;

    TempFolder m_work;
    TempFolder m_outside;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
};

TEST_F(LocalFilesNginxTest, LinksPlacedBetweenRunsAreNeverFollowed) {
    std::string output;
    ASSERT_EQ(Mirror("/s/", output), 0) << output;
    // Pages elsewhere with a link that the final pass would rewrite.
    const std::string outsidePage = "<a href=\"" + Site("/s/ok.html") + "\">ok</a>";
    WriteFile(m_outside.File("secret.html"), outsidePage);
    fs::create_directory(m_outside.File("dir"));
    WriteFile(m_outside.File("dir/page.html"), outsidePage);
    const auto secretTime = fs::last_write_time(m_outside.File("secret.html"));
    fs::remove(HostFolder() + "/s/x.html");
    fs::create_symlink(m_outside.File("secret.html"), HostFolder() + "/s/x.html");
    fs::remove_all(HostFolder() + "/s/sub");
    fs::create_directory_symlink(m_outside.File("dir"), HostFolder() + "/s/sub");
    // Changed on the server, so that the second run fetches every file again.
    for (const char* served : {"s/index.html", "s/x.html", "s/sub/page.html", "s/ok.html"}) {
        const fs::path path = s_site->DocumentRoot() / served;
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
    }

    EXPECT_NE(RunCli({"start", Project()}, output), 0) << output;
    for (const char* failed : {"/s/x.html", "/s/sub/page.html"}) {
        EXPECT_NE(output.find("failed " + Site(failed) + " (A symbolic link"), std::string::npos)
            << output;
    }
    EXPECT_NE(output.find("saved  " + Site("/s/ok.html")), std::string::npos) << output;
    EXPECT_EQ(ReadFile(m_outside.File("secret.html")), outsidePage);
    EXPECT_EQ(fs::last_write_time(m_outside.File("secret.html")), secretTime);
    EXPECT_EQ(ReadFile(m_outside.File("dir/page.html")), outsidePage);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_outside.File("dir")), {}), 1);
    EXPECT_TRUE(fs::is_symlink(HostFolder() + "/s/x.html"));
    EXPECT_TRUE(fs::is_symlink(HostFolder() + "/s/sub"));
}

TEST_F(LocalFilesNginxTest, CollidingUrlsEachKeepTheirOwnFile) {
    std::string output;
    ASSERT_EQ(Mirror("/c/", output), 0) << output;
    const std::map<std::string, std::string> stored = StoredPaths();
    const std::string host = "127.0.0.1_" + std::to_string(s_site->Port()) + "/";
    for (const Collision& collision : kCollisions) {
        SCOPED_TRACE(collision.plainName);
        std::set<std::string> names;
        for (const std::string& path : collision.paths) {
            const std::string storedPath = stored.at(Site(path));
            EXPECT_NE(ReadFile(m_work.File("site.files/" + storedPath)).find(BodyOf(path)),
                      std::string::npos)
                << path << " is not in " << storedPath;
            names.insert(storedPath);
        }
        EXPECT_EQ(names.size(), collision.paths.size());
        EXPECT_EQ(stored.at(Site(collision.paths.front())), host + collision.plainName);
    }

    // The start page's links lead to the files that hold their bodies.
    const std::vector<std::string> links =
        testing_support::CollectLinks(HostFolder() + "/c/index.htm");
    std::size_t next = 0;
    for (const Collision& collision : kCollisions) {
        for (const std::string& path : collision.paths) {
            if (path == "/c/") {
                continue;
            }
            ASSERT_LT(next, links.size());
            const std::string target =
                CFilePath::Combine(HostFolder() + "/c/", CUrl::UnescapeComponent(links[next++]))
                    .GetFullPath();
            EXPECT_NE(ReadFile(target).find(BodyOf(path)), std::string::npos)
                << path << " links to " << target;
        }
    }

    // A second run maps every URL to the file it saved before.
    ASSERT_EQ(RunCli({"start", Project()}, output), 0) << output;
    EXPECT_EQ(StoredPaths(), stored);
}

}  // namespace
#endif
