// Page requisites beyond the element table, mirrored by the command line from
// two hosts of one nginx: srcset candidates, media, inline styles and style
// sheets that import each other and load fonts and images; every saved page
// and sheet must then browse offline.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_stream.h"
#include "base/url.h"
#include "engine/program_options.h"
#include "html/css_links.h"
#include "html/html_document.h"
#include "html/link_element_table.h"
#include "html/srcset.h"
#include "support/child_process.h"
#include "support/loopback_server_process.h"
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

constexpr const char* kOtherHost = "127.0.0.2";

// Every reference a browser would follow in a saved page: the element
// table's links, the requisite attributes (each srcset candidate), and the
// links of style attributes and style elements.
class ReferenceCollector : public CHtmlDocument {
public:
    std::vector<std::string> references;

protected:
    void OnNode(CHtmlNode& node) override {
        if (!node.IsElement()) {
            return;
        }
        const std::string name = node.GetNodeName();
        AddValue(node, GetLinkAttributeName(node), false);
        for (const RequisiteAttribute& attribute : FindRequisiteAttributes(name, node)) {
            AddValue(node, attribute.name, attribute.srcset);
        }
        AddCss(node.GetAttribute("style"));
        if (name == "style") {
            AddCss(node.GetContent());
        }
    }

private:
    void AddValue(const CHtmlNode& node, const std::string& attribute, bool srcset) {
        const std::string value = attribute.empty() ? "" : node.GetAttribute(attribute);
        if (!srcset) {
            if (!value.empty()) {
                references.push_back(value);
            }
            return;
        }
        for (const SrcsetCandidate& candidate : FindSrcsetCandidates(value)) {
            references.push_back(value.substr(candidate.begin, candidate.end - candidate.begin));
        }
    }
    void AddCss(const std::string& text) {
        for (const CssLink& link : FindCssLinks(text)) {
            references.push_back(link.address);
        }
    }
};

std::vector<std::string> CollectReferences(const fs::path& file) {
    if (file.extension() == ".css") {
        std::vector<std::string> references;
        for (const CssLink& link : FindCssLinks(ReadFile(file.string()))) {
            references.push_back(link.address);
        }
        return references;
    }
    ReferenceCollector collector;
    CFileStream stream;
    stream.Open(file.string(), CFileStream::modeRead);
    EXPECT_TRUE(collector.Load(stream)) << file;
    collector.Walk();
    return collector.references;
}

class CrawlRequisitesTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        const fs::path root = s_folder->Path();
        s_otherPort = testing_support::FreePort(kOtherHost);
        const fs::path away = root / "other";
        s_site = std::make_unique<NginxServer>(root / "site");
        const fs::path d = s_site->DocumentRoot() / "d";
        for (const fs::path& folder :
             {d / "img", d / "media", d / "css/more/img", d / "css/more/fonts", away / "ext"}) {
            fs::create_directories(folder);
        }
        const std::string other =
            "http://" + std::string(kOtherHost) + ":" + std::to_string(s_otherPort);
        WriteFile((d / "index.html").string(),
                  "<html><head><link rel=stylesheet href=\"css/main.css\">"
                  "<style>@import \"css/inline.css\"; body{background:url('img/body.png')}"
                  "</style></head><body>"
                  "<img src=\"img/a.png\" srcset=\"img/a.png 1x, img/a2.png 2x\">"
                  "<picture><source srcset=\"img/p.webp 1x,img/p2.webp 2x\" type=image/webp>"
                  "<img src=\"img/p.png\"></picture>"
                  "<video src=\"media/v.mp4\" poster=\"img/poster.jpg\">"
                  "<source src=\"media/v.webm\"><track src=\"media/t.vtt\"></video>"
                  "<audio src=\"media/s.ogg\"></audio><input type=image src=\"img/go.png\">"
                  "<div style=\"background:url(img/div.png)\">x</div>"
                  "<a href=\"more.html\">more</a></body></html>");
        WriteFile((d / "more.html").string(),
                  "<link rel=stylesheet href=\"css/broken.css\">"
                  "<p style=\"background:url(img/a2.png)\">a2 again</p>");
        WriteFile((d / "css/main.css").string(),
                  "@import url(more/deep.css);\nh1 { cursor: url(../img/c.cur), auto }\n");
        WriteFile((d / "css/more/deep.css").string(),
                  "@import \"deep.css\";\n"
                  "@font-face { font-family: f; src: url(fonts/f.woff2) format(\"woff2\"),"
                  " url('" +
                      other +
                      "/ext/f2.woff') }\n"
                      "p { background: url(img/bg.png) } div { background: url(" +
                      other + "/ext/bg.png) }\n");
        WriteFile((d / "css/inline.css").string(), "div { background: url(../img/inl.png) }");
        WriteFile((d / "css/broken.css").string(),
                  "@import 'more/deep.css'; a { b: url(\"../img/b.png\n } } {{ url( /* url(x.png)");
        for (const char* file :
             {"img/a.png", "img/a2.png", "img/p.webp", "img/p2.webp", "img/p.png", "img/poster.jpg",
              "img/go.png", "img/div.png", "img/body.png", "img/inl.png", "img/c.cur", "img/b.png",
              "media/v.mp4", "media/v.webm", "media/t.vtt", "media/s.ogg", "css/more/img/bg.png",
              "css/more/fonts/f.woff2"}) {
            WriteFile((d / file).string(), file);
        }
        WriteFile((away / "ext/f2.woff").string(), "f2");
        WriteFile((away / "ext/bg.png").string(), "bg");
        // Each sheet of the chain imports a new one, up to a length that a
        // crawl without a bound of its own would reach.
        WriteFile((d / "chain.html").string(), "<link rel=stylesheet href=\"chain.css?x\">");
        // Style sheets are served as what they are.
        s_site->SetServerDirectives(
            "    location / { types { text/html html; text/css css; } }\n"
            "    location = /d/chain.css { default_type text/css;\n"
            "      if ($args ~ \"x{40}\") { return 404; }\n"
            "      return 200 '@import \"chain.css?${args}x\";'; }\n");
        s_site->SetHttpDirectives("  server {\n    listen " + std::string(kOtherHost) + ":" +
                                  std::to_string(s_otherPort) + ";\n    root " + away.string() +
                                  ";\n  }\n");
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
        // The requests that the test counts are the site's own, without robots.txt.
        GetProgramOptions().SetRobots(false);
        GetProgramOptions().Save();
        // nginx appends, so the log can start over under it.
        fs::resize_file(s_folder->Path() / "site/access.log", 0);
    }

    static std::string SiteUrl(const std::string& page = "index.html") {
        return "http://127.0.0.1:" + std::to_string(s_site->Port()) + "/d/" + page;
    }

    // Mirrors the site; the files saved, relative to the download folder.
    std::set<std::string> Mirror(const std::vector<std::string>& options,
                                 const std::string& start = SiteUrl()) {
        std::vector<std::string> command{TARNWICK_CLI, "mirror",          start,
                                         "--into",     Folder().string(), "-q"};
        command.insert(command.end(), options.begin(), options.end());
        EXPECT_EQ(testing_support::RunProgram(command, m_work.File("cli.out")), 0)
            << ReadFile(m_work.File("cli.out"));
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(Folder())) {
            if (entry.is_regular_file()) {
                files.insert(entry.path().lexically_relative(Folder()).string());
            }
        }
        return files;
    }

    // One line per reference of a saved page or sheet that does not lead
    // to a file in the download folder.
    std::vector<std::string> BrokenReferences() const {
        std::vector<std::string> faults;
        for (const auto& entry : fs::recursive_directory_iterator(Folder())) {
            const fs::path file = entry.path();
            if (file.extension() != ".html" && file.extension() != ".css") {
                continue;
            }
            for (const std::string& reference : CollectReferences(file)) {
                const fs::path target =
                    (file.parent_path() / CUrl::UnescapeComponent(reference)).lexically_normal();
                const std::string relative = target.lexically_relative(Folder()).string();
                if (reference.find(':') != std::string::npos || relative.starts_with("..") ||
                    !fs::is_regular_file(target)) {
                    faults.push_back(file.filename().string() + ": " + reference);
                }
            }
        }
        return faults;
    }

    // How often each path was fetched with a GET.
    static std::map<std::string, int> GetCounts() {
        std::map<std::string, int> counts;
        std::istringstream log(s_site->AccessLog());
        std::string method, path, rest;
        while (log >> method >> path && std::getline(log, rest)) {
            if (method == "GET") {
                ++counts[path];
            }
        }
        return counts;
    }

    fs::path Folder() const { return m_work.Path() / "mirror"; }

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<NginxServer> s_site;
    static inline int s_otherPort = 0;

    TempFolder m_work;
    std::unique_ptr<testing_support::ScopedEnv> m_config;
};

TEST_F(CrawlRequisitesTest, EveryRequisiteIsFetchedOnceAndBrowsesOffline) {
    const std::string site = "127.0.0.1_" + std::to_string(s_site->Port()) + "/d/";
    const std::string other = std::string(kOtherHost) + "_" + std::to_string(s_otherPort) + "/";
    std::set<std::string> expected;
    for (const char* file :
         {"index.html",     "more.html",         "css/main.css",        "css/broken.css",
          "css/inline.css", "css/more/deep.css", "css/more/img/bg.png", "css/more/fonts/f.woff2",
          "img/a.png",      "img/a2.png",        "img/p.webp",          "img/p2.webp",
          "img/p.png",      "img/poster.jpg",    "img/go.png",          "img/div.png",
          "img/body.png",   "img/inl.png",       "img/c.cur",           "media/v.mp4",
          "media/v.webm",   "media/t.vtt",       "media/s.ogg"}) {
        expected.insert(site + file);
    }
    expected.insert({other + "ext/f2.woff", other + "ext/bg.png"});
    // img/b.png stays behind a string that a line feed breaks: no link.

    EXPECT_EQ(Mirror({}), expected);
    EXPECT_EQ(BrokenReferences(), std::vector<std::string>{});
    const std::map<std::string, int> counts = GetCounts();
    EXPECT_EQ(counts.size(), expected.size());
    for (const auto& [path, count] : counts) {
        EXPECT_EQ(count, 1) << path;
    }
}

TEST_F(CrawlRequisitesTest, TurnedOffTheMirrorHoldsOnlyTheElementTablesLinks) {
    const std::string site = "127.0.0.1_" + std::to_string(s_site->Port()) + "/d/";
    std::set<std::string> expected;
    for (const char* file :
         {"index.html", "more.html", "css/main.css", "css/broken.css", "img/a.png", "img/p.png"}) {
        expected.insert(site + file);
    }
    EXPECT_EQ(Mirror({"--no-requisites"}), expected);
    // The stored setting is the one that holds when no flag is given.
    GetProgramOptions().SetPageRequisites(false);
    GetProgramOptions().Save();
    fs::remove_all(Folder());
    fs::remove(Folder().string() + ".tkp");
    EXPECT_EQ(Mirror({}), expected);
}

TEST_F(CrawlRequisitesTest, AChainOfImportedSheetsEndsAtTenWhateverTheLevels) {
    for (const char* levels : {"1", "all"}) {
        fs::remove_all(Folder());
        fs::remove(Folder().string() + ".tkp");
        fs::resize_file(s_folder->Path() / "site/access.log", 0);
        Mirror({"--levels", levels}, SiteUrl("chain.html"));
        std::vector<std::string> sheets;
        for (const auto& [path, count] : GetCounts()) {
            if (path.starts_with("/d/chain.css")) {
                sheets.push_back(path);
            }
        }
        EXPECT_EQ(sheets.size(), 10u) << levels;
        EXPECT_EQ(sheets.back(), "/d/chain.css?xxxxxxxxxx") << levels;
    }
}

}  // namespace
#endif
