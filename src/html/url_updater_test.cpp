#include "html/url_updater.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "base/file_stream.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "html/update_html_thread.h"
#include "support/link_checker.h"
#include "support/memory_stream.h"
#include "support/parsed_url.h"
#include "support/temp_folder.h"

namespace {

using testing_support::MemoryStream;
using testing_support::ParsedUrl;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
using namespace std::string_literals;

constexpr int kHtml = 3;
constexpr int kNoType = 0;

// The link of every element that carries an id, by id (the "href" or "value"
// of elements that hold no link).
struct PageLinks {
    std::map<std::string, std::string> links;
    bool sawBaseHref = false;
};

class LinksById : public CHtmlDocument {
public:
    PageLinks found;

protected:
    void OnNode(CHtmlNode& node) override {
        if (!node.IsElement()) {
            return;
        }
        if (node.GetNodeName() == "base" && !node.GetAttribute("href").empty()) {
            found.sawBaseHref = true;
        }
        const std::string attribute = GetLinkAttributeName(node);
        const std::string id = node.GetAttribute("id");
        if (!id.empty()) {
            const bool param = node.GetNodeName() == "param";
            found.links[id] = node.GetAttribute(!attribute.empty() ? attribute
                                                : param            ? "value"
                                                                   : "href");
        }
    }
};

struct Message {
    UINT message;
    std::string text;  // the stored path of a step
    LPARAM value;
};

// A downloaded site on disk with its download list, as a crawl leaves it.
class UrlUpdaterTest : public testing::Test {
protected:
    UrlUpdaterTest()
        : m_window(m_queue, [this](UINT message, WPARAM, LPARAM lParam) {
              const std::string text =
                  message == WM_UPDATE_STEP ? *reinterpret_cast<const std::string*>(lParam) : "";
              m_messages.push_back({message, text, lParam});
              return LRESULT{0};
          }) {}

    std::string Folder() const { return m_temp.File("dl"); }
    std::string LocalPath(const std::string& storedPath) const {
        return Folder() + "/" + storedPath;
    }

    // Saves the body under the name the crawl gives the URL and lists it.
    std::string Save(const std::string& urlText, const std::string& body, int type = kHtml) {
        const CUrl url = ParsedUrl(urlText);
        std::string localUrl, localPath, storedPath;
        if (url.GetScheme() == SchemeFtp) {
            m_mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath);
        } else {
            m_mapping.MapUrlToLocal(url, type, localUrl, localPath, storedPath);
        }
        EXPECT_TRUE(m_mapping.CreateParentFolder(localPath)) << localPath;
        WriteFile(localPath, body);
        List(urlText, storedPath);
        return storedPath;
    }
    void List(const std::string& urlText, const std::string& storedPath) {
        const CUrl url = ParsedUrl(urlText);
        m_list.Add(CLinkItem(url, 1, true));
        m_list.MarkDone(url, storedPath, -1, 100);
    }
    bool IsRewritten(const std::string& urlText) {
        return m_list.Find(ParsedUrl(urlText))->IsRewritten();
    }
    PageLinks ReadLinks(const std::string& storedPath) {
        LinksById page;
        CFileStream stream;
        stream.Open(LocalPath(storedPath), CFileStream::modeRead);
        EXPECT_TRUE(page.Load(stream));
        page.Walk();
        return page.found;
    }
    std::vector<UINT> MessageNumbers() const {
        std::vector<UINT> numbers;
        for (const Message& m : m_messages) {
            numbers.push_back(m.message);
        }
        return numbers;
    }

    TempFolder m_temp;
    CLocalFileMapping m_mapping{CFilePath(Folder())};
    CDownloadList m_list;
    CMessageQueue m_queue;
    std::vector<Message> m_messages;
    CMessageTarget m_window;
};

struct LinkCase {
    const char* id;
    const char* element;
    const char* attributes;  // ending in the link's attribute name
    std::string link;
    std::string expected;
};

// The longest URL that can be stored, and a link beyond the limit.
const std::string kLongLink = "http://h.x/" + std::string(1012, 'l');  // 1023 characters
const std::string kTooLongLink = kLongLink + "ll";                     // 1025

// The page h.x/a/index.htm links to these; which are listed is set up below.
const LinkCase kLinkCases[] = {
    {"up", "a", "href", "http://h.x/b.html", "../b.html"},
    {"fragment", "a", "href", "http://h.x/b.html#top", "../b.html#top"},
    {"query", "a", "href", "http://h.x/c.php?x=1", "../c08e8d84687.php.htm"},
    {"self", "a", "href", "http://h.x/a/", "index.htm"},
    {"blanks", "a", "href", "  http://h.x/b.html\t", "../b.html"},
    {"https", "a", "href", "https://h.x/s.html", "../s.html"},
    {"other-query", "a", "href", "http://h.x/b.html?y=2", "http://h.x/b.html?y=2"},
    {"unlisted", "a", "href", "http://h.x/missing.html", "http://h.x/missing.html"},
    {"failed", "a", "href", "http://h.x/failed.html", "http://h.x/failed.html"},
    {"mail", "a", "href", "mailto:a@h.x", "mailto:a@h.x"},
    {"relative", "a", "href", "sub/rel.html", "sub/rel.html"},
    {"empty-address", "a", "href", "#top", "#top"},
    {"escape", "a", "href", "http://h.x/evil.html", "http://h.x/evil.html"},
    {"hash-name", "a", "href", "http://h.x/odd%23name.html", "../odd%23name.html"},
    {"percent-name", "a", "href", "http://h.x/50%25.html", "../50%25.html"},
    {"non-ascii", "a", "href", "http://h.x/caf\xC3\xA9.html", "../caf%C3%A9.html"},
    {"non-ascii-escaped", "a", "href", "http://h.x/caf%C3%A9.html", "../caf%C3%A9.html"},
    {"listed-raw", "a", "href", "http://h.x/na%C3%AFve.html", "../na%C3%AFve.html"},
    {"ftp-file", "a", "href", "ftp://f.x/pub/f.zip", "../../ftp_f.x/pub/f.zip"},
    {"ftp-folder", "a", "href", "ftp://f.x/pub/", "ftp://f.x/pub/"},
    {"img", "img", "src", "http://h.x/img/p.gif", "../img/p.gif"},
    {"body", "body", "background", "http://h.x/img/p.gif", "../img/p.gif"},
    {"cell", "td", "background", "http://h.x/img/p.gif", "../img/p.gif"},
    {"css", "link", "rel=stylesheet href", "http://h.x/style.css", "../style.css"},
    {"frame", "iframe", "src", "http://h.x/b.html", "../b.html"},
    {"script", "script", "src", "http://h.x/m.js", "../m.js"},
    {"object", "object", "data", "http://h.x/m.swf", "../m.swf"},
    {"movie", "param", "name=Movie value", "http://h.x/m.swf", "../m.swf"},
    {"quality", "param", "name=quality value", "http://h.x/m.swf", "http://h.x/m.swf"},
    {"span", "span", "href", "http://h.x/b.html", "http://h.x/b.html"},
    {"area", "area", "href", "http://h.x/b.html#m", "../b.html#m"},
    {"table", "table", "background", "http://h.x/img/p.gif", "../img/p.gif"},
    {"svg-image", "image", "href", "http://h.x/img/p.gif", "../img/p.gif"},
    {"svg-xlink", "image", "xlink:href", "http://h.x/img/p.gif", "../img/p.gif"},
    {"svg-use", "use", "href", "http://h.x/img/p.gif#i", "../img/p.gif#i"},
    {"refresh", "meta", "http-equiv=refresh content", "0; url='http://h.x/b.html'",
     "0; url='../b.html'"},
    {"longest", "a", "href", kLongLink, "../long.html"},
    {"too-long", "a", "href", kTooLongLink, kTooLongLink},
};

std::string LinkCasePage() {
    std::string page = "<html><head></head><body>";
    for (const LinkCase& c : kLinkCases) {
        const std::string element = std::string("<") + c.element + " id=" + c.id + " " +
                                    c.attributes + "=\"" + c.link + "\">x</" + c.element + ">";
        if (std::string(c.element) == "body") {
            page.replace(page.find("<body>"), 6, element.substr(0, element.find('>') + 1));
        } else if (std::string(c.element) == "td") {
            page += "<table><tr>" + element + "</tr></table>";
        } else {
            page += element;
        }
    }
    return page + "</body></html>";
}

TEST_F(UrlUpdaterTest, RewritesLinksToDownloadedUrlsAsRelativePaths) {
    const std::string stored = Save("http://h.x/a/", LinkCasePage());
    Save("http://h.x/b.html", "<p>b</p>");
    Save("http://h.x/c.php?x=1", "<p>c</p>");
    Save("https://h.x/s.html", "<p>s</p>");
    Save("http://h.x/odd%23name.html", "<p>odd</p>");
    Save("http://h.x/50%25.html", "<p>percent</p>");
    Save("http://h.x/caf%C3%A9.html", "<p>caf\xC3\xA9</p>");
    Save("http://h.x/na\xC3\xAFve.html", "<p>naive</p>");
    Save("ftp://f.x/pub/f.zip", "zip");
    Save("http://h.x/img/p.gif", "GIF89a", kNoType);
    Save("http://h.x/style.css", "p{}", kNoType);
    Save("http://h.x/m.js", "x=1", kNoType);
    Save("http://h.x/m.swf", "FWS", kNoType);
    List("ftp://f.x/pub/", "h.x/b.html");
    List("http://h.x/evil.html", "../outside.html");
    List(kLongLink, "h.x/long.html");
    m_list.Add(CLinkItem(ParsedUrl("http://h.x/failed.html"), 1, true));

    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    ASSERT_TRUE(updater.UpdateFile(LocalPath(stored)));

    const PageLinks links = ReadLinks(stored);
    for (const LinkCase& c : kLinkCases) {
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(links.links.contains(c.id));
        EXPECT_EQ(links.links.at(c.id), TrimHtmlWhiteSpace(c.expected));
    }
}

// A page the crawl could not write back still has its base and relative
// links. Browsers resolve every link against the first base with an href,
// also the links before it; as the base goes, the links are resolved first.
TEST_F(UrlUpdaterTest, RelativeLinksOfAPageWithABaseResolveAgainstItsFirstBase) {
    const std::string bases[] = {
        Save("http://h.x/a/t.html",
             "<a id=1 href=b.html>b</a><base href=\"http://h.x/\"><img id=2 src=\"i.gif\">"
             "<base href=\"http://o.x/\"><a id=3 href=\"gone.html#x\">g</a>"
             "<a id=4 href=\"mailto:m@h.x\">m</a><p id=5 style=\"background:url(i.gif)\">"),
        Save("http://h.x/a/r.html", "<a id=1 href=b.html>b</a><base href=\"/\">"),
        Save("http://h.x/a/e.html", "<a id=1 href=b.html>b</a><base href><base href=/>"),
    };
    Save("http://h.x/b.html", "b");
    Save("http://h.x/i.gif", "GIF89a", kNoType);
    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    updater.UpdateAll();

    const std::map<std::string, std::string> expected[] = {
        {{"1", "../b.html"},
         {"2", "../i.gif"},
         {"3", "http://h.x/gone.html#x"},
         {"4", "mailto:m@h.x"},
         {"5", ""}},
        {{"1", "../b.html"}},
        // An empty href makes the page itself the base.
        {{"1", "b.html"}},
    };
    for (std::size_t i = 0; i < std::size(bases); ++i) {
        SCOPED_TRACE(bases[i]);
        const PageLinks links = ReadLinks(bases[i]);
        EXPECT_EQ(links.links, expected[i]);
        EXPECT_FALSE(links.sawBaseHref);
    }
    EXPECT_NE(ReadFile(LocalPath(bases[0])).find("url(../i.gif)"), std::string::npos);
}

TEST(EscapeLocalReferenceTest, KeepsOrdinaryPathsAndEscapesWhatABrowserWouldMisread) {
    const std::pair<const char*, const char*> cases[] = {
        {"../b.html", "../b.html"}, {"x/a-b_c.d~e/f.htm", "x/a-b_c.d~e/f.htm"},
        {"a b.html", "a%20b.html"}, {"a#b.html", "a%23b.html"},
        {"a?b.html", "a%3Fb.html"}, {"100%.html", "100%25.html"},
        {"%41.html", "%2541.html"}, {"\xE9t\xE9.html", "%E9t%E9.html"},
        {"c:d.html", "./c:d.html"}, {"x/c:d.html", "x/c:d.html"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(EscapeLocalReference(path), expected) << path;
    }
}

TEST_F(UrlUpdaterTest, PassVisitsSavedEntriesInOrderAndOpensOnlyPagesAndStyleSheets) {
    const std::string css = "a{background:url(http://h.x/b.html)} <a href=\"http://h.x/b.html\">";
    Save("http://h.x/", "<a id=l href=\"http://h.x/b.html\">b</a>");
    const std::string cssStored = Save("http://h.x/s.css", css, kNoType);
    Save("http://h.x/b.html", "<a id=l href=\"http://h.x/\">home</a>");
    m_list.Add(CLinkItem(ParsedUrl("http://h.x/never-saved.html"), 1, true));
    List("http://h.x/gone.html", "h.x/gone.html");  // listed, but its file is missing
    Save("http://h.x/upper.HTM", "<a id=l href=\"http://h.x/b.html\">b</a>");

    CUrlUpdater updater(m_list, CFilePath(Folder()), &m_window);
    updater.UpdateAll();
    m_queue.PumpMessages();

    const std::vector<UINT> expected = {WM_UPDATE_BEGIN, WM_UPDATE_STEP, WM_UPDATE_STEP,
                                        WM_UPDATE_STEP,  WM_UPDATE_STEP, WM_UPDATE_STEP,
                                        WM_UPDATE_END};
    ASSERT_EQ(MessageNumbers(), expected);
    EXPECT_EQ(m_messages[0].value, 5);
    const std::vector<std::string> steps = {"h.x/index.htm", "h.x/s.css", "h.x/b.html",
                                            "h.x/gone.html", "h.x/upper.HTM"};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(m_messages[i + 1].text, steps[i]);
    }
    EXPECT_TRUE(IsRewritten("http://h.x/"));
    EXPECT_TRUE(IsRewritten("http://h.x/b.html"));
    EXPECT_TRUE(IsRewritten("http://h.x/upper.HTM"));
    EXPECT_TRUE(IsRewritten("http://h.x/s.css"));
    EXPECT_FALSE(IsRewritten("http://h.x/gone.html"));
    // A style sheet's url() tokens change, nothing else of it.
    EXPECT_EQ(ReadFile(LocalPath(cssStored)),
              "a{background:url(b.html)} <a href=\"http://h.x/b.html\">");
    EXPECT_EQ(ReadLinks("h.x/index.htm").links.at("l"), "b.html");
    EXPECT_EQ(ReadLinks("h.x/b.html").links.at("l"), "index.htm");
}

TEST_F(UrlUpdaterTest, PagesAreVisitedAgainOnlyWhenFilesWereSavedSince) {
    Save("http://h.x/", "<a id=l href=\"http://h.x/later.html\">later</a>");
    Save("http://h.x/s.css", "p{}", kNoType);
    m_list.Add(CLinkItem(ParsedUrl("http://h.x/later.html"), 1, true));
    CUrlUpdater updater(m_list, CFilePath(Folder()), &m_window);
    const auto pass = [&] {
        m_messages.clear();
        updater.UpdateAll();
        m_queue.PumpMessages();
        return m_messages.front().value;
    };
    EXPECT_EQ(pass(), 2);
    EXPECT_EQ(ReadLinks("h.x/index.htm").links.at("l"), "http://h.x/later.html");
    EXPECT_EQ(pass(), 0) << "nothing new: nothing to visit";

    // A later crawl saves the file that the rewritten page links to.
    Save("http://h.x/later.html", "<p>later</p>");
    EXPECT_EQ(pass(), 3);
    EXPECT_EQ(ReadLinks("h.x/index.htm").links.at("l"), "later.html");
    EXPECT_EQ(pass(), 0);
}

// Requests the stop while it rewrites the page that carries the marker.
class StoppingUpdater : public CUrlUpdater {
public:
    using CUrlUpdater::CUrlUpdater;

protected:
    void OnNode(CHtmlNode& node) override {
        if (node.IsElement() && node.GetNodeName() == "meta" &&
            node.GetAttribute("name") == "stop-here") {
            RequestStop();
        }
        CUrlUpdater::OnNode(node);
    }
};

TEST_F(UrlUpdaterTest, StopFinishesThePageUnderWayAndLeavesTheRestUntouched) {
    constexpr int kPages = 6;
    for (int stopAt = 1; stopAt <= kPages; ++stopAt) {
        SCOPED_TRACE(stopAt);
        TempFolder folder;
        CDownloadList list;
        CLocalFileMapping mapping{CFilePath(folder.Path().string())};
        std::vector<std::string> paths;
        std::vector<std::string> bodies;
        for (int i = 1; i <= kPages; ++i) {
            const CUrl url = ParsedUrl("http://h.x/p" + std::to_string(i) + ".html");
            std::string localUrl, localPath, stored;
            mapping.MapUrlToLocal(url, kHtml, localUrl, localPath, stored);
            mapping.CreateParentFolder(localPath);
            // A value with ":" shows the tag to the pass however it reads the page.
            const std::string marker = i == stopAt ? "<meta name=stop-here content=a:b>" : "";
            bodies.push_back("<html><head>" + marker + "</head><body><a href=\"" +
                             url.GetSourceText() + "\">me</a></body></html>\n");
            WriteFile(localPath, bodies.back());
            paths.push_back(localPath);
            list.Add(CLinkItem(url, 1, true));
            list.MarkDone(url, stored, -1, 10);
        }
        m_messages.clear();
        StoppingUpdater updater(list, CFilePath(folder.Path().string()), &m_window);
        updater.UpdateAll();
        m_queue.PumpMessages();

        std::vector<UINT> expected(1 + stopAt, WM_UPDATE_STEP);
        expected[0] = WM_UPDATE_BEGIN;
        if (stopAt == kPages) {
            expected.push_back(WM_UPDATE_END);  // the stop came after the last page
        }
        EXPECT_EQ(MessageNumbers(), expected);
        for (int i = 1; i <= kPages; ++i) {
            const bool rewritten = i <= stopAt;
            EXPECT_EQ(
                list.Find(ParsedUrl("http://h.x/p" + std::to_string(i) + ".html"))->IsRewritten(),
                rewritten)
                << i;
            EXPECT_EQ(ReadFile(paths[i - 1]) == bodies[i - 1], !rewritten) << i;
        }
    }
}

// A crawl's leavings in a folder of its own: pages that link to each other,
// to a style sheet, an image and a page that was never saved.
struct SavedSite {
    static constexpr int kPages = 40;

    // In folders of three depths, so that one link leads to other relative
    // paths from different pages.
    static std::string PageName(int i) {
        static const std::string kFolders[] = {"", "d1/", "d2/e/"};
        return kFolders[i % 3] + "p" + std::to_string(i) + ".html";
    }

    SavedSite() {
        for (int i = 0; i < kPages; ++i) {
            const std::string next = "http://h.x/" + PageName((i + 1) % kPages);
            Add("http://h.x/" + PageName(i),
                "<html><head><link rel=stylesheet href=\"http://h.x/s.css\"></head><body>"
                "<a href=\"" +
                    next +
                    "#n\">next</a><a href=\"http://h.x/gone.html\">gone</a>"
                    "<img srcset=\"http://h.x/i.gif 1x, http://h.x/gone.gif 2x\" "
                    "style=\"background:url(http://h.x/i.gif)\"></body></html>\n",
                kHtml);
        }
        Add("http://h.x/s.css", "p{background:url(http://h.x/i.gif)}", kNoType);
        Add("http://h.x/i.gif", "GIF89a", kNoType);
        list.Add(CLinkItem(ParsedUrl("http://h.x/gone.html"), 1, true));
    }
    void Add(const std::string& urlText, const std::string& body, int type) {
        const CUrl url = ParsedUrl(urlText);
        std::string localUrl, localPath, stored;
        mapping.MapUrlToLocal(url, type, localUrl, localPath, stored);
        mapping.CreateParentFolder(localPath);
        WriteFile(localPath, body);
        list.Add(CLinkItem(url, 1, true));
        list.MarkDone(url, stored, -1, 10);
    }
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& file : std::filesystem::recursive_directory_iterator(folder.Path())) {
            if (file.is_regular_file()) {
                files[file.path().lexically_relative(folder.Path()).string()] =
                    ReadFile(file.path().string());
            }
        }
        return files;
    }
    std::size_t CountRewritten() {
        std::size_t count = 0;
        list.RewindView();
        while (const CDownloadEntry* entry = list.NextViewEntry()) {
            count += entry->IsRewritten() ? 1 : 0;
        }
        return count;
    }

    TempFolder folder;
    CDownloadList list;
    CLocalFileMapping mapping{CFilePath(folder.Path().string())};
};

TEST_F(UrlUpdaterTest, PassOnSeveralThreadsWritesWhatOneThreadWrites) {
    std::map<std::string, std::string> single;
    for (const unsigned width : {1U, 4U}) {
        SCOPED_TRACE(width);
        SavedSite site;
        m_messages.clear();
        CUrlUpdater updater(site.list, CFilePath(site.folder.Path().string()), &m_window, width);
        updater.UpdateAll();
        m_queue.PumpMessages();

        ASSERT_EQ(m_messages.size(), SavedSite::kPages + 4u);
        EXPECT_EQ(m_messages.front().message, WM_UPDATE_BEGIN);
        EXPECT_EQ(m_messages.back().message, WM_UPDATE_END);
        std::set<std::string> steps;
        for (std::size_t i = 1; i + 1 < m_messages.size(); ++i) {
            EXPECT_EQ(m_messages[i].message, WM_UPDATE_STEP);
            steps.insert(m_messages[i].text);
        }
        EXPECT_EQ(steps.size(), SavedSite::kPages + 2u) << "one step per file";
        EXPECT_EQ(site.CountRewritten(), SavedSite::kPages + 2u);
        if (width == 1) {
            single = site.Files();
            EXPECT_EQ(single.at("h.x/s.css"), "p{background:url(i.gif)}");
            EXPECT_NE(single.at("h.x/d2/e/p2.html").find("href=\"../../s.css\""),
                      std::string::npos);
            EXPECT_NE(single.at("h.x/d1/p1.html").find("href=\"../d2/e/p2.html#n\""),
                      std::string::npos);
        } else {
            EXPECT_EQ(site.Files(), single);
        }
    }
}

TEST_F(UrlUpdaterTest, StopOnSeveralThreadsLeavesEachPageWholeAndFlaggedAsWritten) {
    SavedSite site;
    const std::map<std::string, std::string> before = site.Files();
    CUpdateHtmlThread thread(site.list, CFilePath(site.folder.Path().string()), &m_window);
    ASSERT_TRUE(thread.Start(0));
    while (m_messages.size() < 2) {
        ASSERT_EQ(m_queue.GetInputEvent().Wait(10000), WAIT_OBJECT_0);
        m_queue.PumpMessages();
    }
    thread.Stop();

    // Each page is whole, in its old form or its new one, and flagged when
    // it was written.
    const std::map<std::string, std::string> after = site.Files();
    std::size_t written = 0;
    for (int i = 0; i < SavedSite::kPages; ++i) {
        const std::string name = SavedSite::PageName(i);
        const std::string& body = after.at("h.x/" + name);
        const bool changed = body != before.at("h.x/" + name);
        written += changed ? 1 : 0;
        EXPECT_EQ(site.list.Find(ParsedUrl("http://h.x/" + name))->IsRewritten(), changed) << name;
        const std::string next = "http://h.x/" + SavedSite::PageName((i + 1) % SavedSite::kPages);
        EXPECT_EQ(body.find(next) == body.npos, changed) << name;
    }
    EXPECT_GE(written, 1u);
}

// Pages as the crawl leaves them, or as an earlier run did: only the values
// that change are written, in their own form, and every other byte stays.
struct OwnMarkupSplice {
    std::string body;
    PageWriting writing;
    // The page as spliced; empty when it cannot be read with certainty and
    // is left as it is.
    std::string spliced;
};

TEST_F(UrlUpdaterTest, OwnMarkupSplicesOnlyTheValuesThatChange) {
    Save("http://h.x/b.html", "b");
    Save("http://h.x/i.gif", "GIF89a", kNoType);
    const std::string stored = Save("http://h.x/a/t.html", "");
    const OwnMarkupSplice cases[] = {
        {"<A ID=1 HREF=\"http://h.x/b.html#top\" Title='x'>b</A>\r\n"
         "<img id=2 src=http://h.x/i.gif alt=x><a id=3 href='http://h.x/gone.html'>",
         PageWriting::OwnMarkupAscii,
         "<A ID=1 HREF=\"../b.html#top\" Title='x'>b</A>\r\n"
         "<img id=2 src=../i.gif alt=x><a id=3 href='http://h.x/gone.html'>"},
        {"<base href=\"http://h.x/\" target=_top href=/a/><a id=1 title=\"&amp;\" "
         "href='http://h.x/b.html'>",
         PageWriting::OwnMarkupAscii,
         "<base target=_top><a id=1 title=\"&amp;\" href='../b.html'>"},
        {"<script>s = \"<a href='http://h.x/b.html'>\";</script><a id=1 "
         "href=\"http://h.x/b.html\">",
         PageWriting::OwnMarkupAscii,
         "<script>s = \"<a href='http://h.x/b.html'>\";</script><a id=1 href=\"../b.html\">"},
        {"<a id=1 title=\" a\tb&#10; \" href=\"http://h.x/b.html\">", PageWriting::OwnMarkupAscii,
         "<a id=1 title=\" a\tb&#10; \" href=\"../b.html\">"},
        {"<a id=1 title=\"caf\xC3\xA9\" href=\"http://h.x/b.html\">", PageWriting::OwnMarkupUtf8,
         "<a id=1 title=\"caf\xC3\xA9\" href=\"../b.html\">"},
        {"<a id=1 title=\"caf\xE9\" href=\"http://h.x/b.html\">", PageWriting::OwnMarkupAscii,
         "<a id=1 title=\"caf\xE9\" href=\"../b.html\">"},
        // Style text is rewritten in place, in HTML only: an SVG style holds markup.
        {"<style>p{background:url(http://h.x/i.gif)}</style>"
         "<svg><style>p{background:url(http://h.x/i.gif)}</style></svg>",
         PageWriting::OwnMarkupAscii,
         "<style>p{background:url(../i.gif)}</style>"
         "<svg><style>p{background:url(http://h.x/i.gif)}</style></svg>"},
        {"<p>\0</p><a id=1 href=http://h.x/b.html>"s, PageWriting::OwnMarkupAscii,
         "<p>\0</p><a id=1 href=../b.html>"s},
        // A page of an earlier run is read the same way, unless its markup is not ASCII.
        {"<A ID=1 HREF=\"http://h.x/b.html\">", PageWriting::Unknown,
         "<A ID=1 HREF=\"../b.html\">"},
        {"<meta charset=shift_jis><a id=1 href=\"http://h.x/b.html\">", PageWriting::Unknown,
         "<meta charset=shift_jis><a id=1 href=\"../b.html\">"},
        {"<meta charset=iso-2022-jp><a id=1 href=\"http://h.x/b.html\">", PageWriting::Unknown, ""},
        {"<meta charset=utf-16><a id=1 href=\"http://h.x/b.html\">", PageWriting::Unknown,
         "<meta charset=utf-16><a id=1 href=\"../b.html\">"},
        // A tag that the page ends in is no tag.
        {"<a id=1 href=\"http://h.x/b.html\"", PageWriting::OwnMarkupAscii,
         "<a id=1 href=\"http://h.x/b.html\""},
        // What a browser of one year reads otherwise than one of another year.
        {"<select><style><a href=\"http://h.x/b.html\"></style></select>",
         PageWriting::OwnMarkupAscii, ""},
        // A refresh keeps all of its content but the URL.
        {"<meta http-equiv=refresh content=\"5; URL='http://h.x/b.html#top'\">",
         PageWriting::OwnMarkupAscii,
         "<meta http-equiv=refresh content=\"5; URL=&#39;../b.html#top&#39;\">"},
        // A digest or a cross-origin request keeps a browser from reading a
        // local file; a link to the web keeps both.
        {"<link rel=stylesheet integrity=\"sha384-x\" href=http://h.x/i.gif crossorigin>"
         "<script integrity=sha384-y crossorigin=anonymous src=\"http://h.x/gone.js\"></script>",
         PageWriting::OwnMarkupAscii,
         "<link rel=stylesheet href=../i.gif>"
         "<script integrity=sha384-y crossorigin=anonymous src=\"http://h.x/gone.js\"></script>"},
    };
    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    const std::string path = LocalPath(stored);
    for (const OwnMarkupSplice& c : cases) {
        SCOPED_TRACE(c.body);
        WriteFile(path, c.body);
        const std::optional<bool> spliced = updater.SpliceFile(path, c.writing);
        ASSERT_EQ(spliced.has_value(), !c.spliced.empty());
        EXPECT_EQ(ReadFile(path), c.spliced.empty() ? c.body : c.spliced);
    }
}

// A tag of tens of thousands of attributes took minutes while each was
// looked up among the others; its link is still rewritten, and only the
// first of two attributes of one name counts.
TEST_F(UrlUpdaterTest, TagsOfManyAttributesAreSplicedWhole) {
    Save("http://h.x/b.html", "b");
    const std::string stored = Save("http://h.x/a/t.html", "");
    const auto crowdedLink = [](const char* quote, const std::string& href,
                                const std::string& more = "") {
        std::string tag = "<a";
        for (int i = 0; i < 20000; ++i) {
            tag += " a" + std::to_string(i) + "=" + quote + "1" + quote;
        }
        return tag + " href=\"" + href + "\" id=\"2\"" + more + ">b</a>";
    };
    const struct {
        PageWriting writing;
        std::string page;
        std::string spliced;
    } cases[] = {
        {PageWriting::OwnMarkupAscii, crowdedLink("", "http://h.x/b.html", " A5=x HREF=y"),
         crowdedLink("", "../b.html", " A5=x HREF=y")},
        {PageWriting::OwnMarkupAscii, crowdedLink("\"", "http://h.x/b.html"),
         crowdedLink("\"", "../b.html")},
    };
    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    for (const auto& c : cases) {
        WriteFile(LocalPath(stored), c.page);
        ASSERT_EQ(updater.SpliceFile(LocalPath(stored), c.writing), true);
        EXPECT_TRUE(ReadFile(LocalPath(stored)) == c.spliced);
    }
}

// A page that the pass cannot read with certainty keeps its bytes, and the
// list says so; the next page is rewritten as ever.
TEST_F(UrlUpdaterTest, PageThatCannotBeReadWithCertaintyIsKeptAsServedAndNoted) {
    const std::string doubtful = "<select><noscript><a href=\"http://h.x/b.html\"></noscript>";
    const std::string doubtfulStored = Save("http://h.x/d.html", doubtful);
    const std::string plainStored = Save("http://h.x/p.html", "<a href=\"http://h.x/b.html\">");
    Save("http://h.x/b.html", "b");

    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    updater.UpdateAll();

    EXPECT_EQ(ReadFile(LocalPath(doubtfulStored)), doubtful);
    EXPECT_EQ(ReadFile(LocalPath(plainStored)), "<a href=\"b.html\">");
    const CDownloadEntry* kept = m_list.Find(ParsedUrl("http://h.x/d.html"));
    EXPECT_EQ(kept->GetResultCode(), ERR_PAGE_KEPT_AS_SERVED);
    EXPECT_TRUE(kept->HasStoredPath());
    EXPECT_EQ(m_list.Find(ParsedUrl("http://h.x/p.html"))->GetResultCode(), ERR_SUCCESS);
}

TEST_F(UrlUpdaterTest, AFailedWriteKeepsTheOldPageWhole) {
    std::string page = "<html><body>";
    for (int i = 0; i < 2000; ++i) {
        page += "<a href=\"http://h.x/b.html\">a link that grows the page</a>\n";
    }
    page += "</body></html>";
    const std::string stored = Save("http://h.x/", page);
    Save("http://h.x/b.html", "b");

    // The file-size limit makes every write past 16 KiB fail with EFBIG.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    CUrlUpdater updater(m_list, CFilePath(Folder()), nullptr);
    const bool updated = updater.UpdateFile(LocalPath(stored));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(updated);
    EXPECT_EQ(ReadFile(LocalPath(stored)), page);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Folder() + "/h.x")) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 2u) << "the temporary file was left behind";
}

TEST_F(UrlUpdaterTest, ThreadRunsThePassAndReportsToTheWatchingThread) {
    for (int i = 0; i < 20; ++i) {
        const std::string next = "http://h.x/p" + std::to_string((i + 1) % 20) + ".html";
        Save("http://h.x/p" + std::to_string(i) + ".html",
             "<a href=\"" + next + "#n\">next</a><img src=\"http://h.x/i.gif\">");
    }
    Save("http://h.x/i.gif", "GIF89a", kNoType);

    CUpdateHtmlThread thread(m_list, CFilePath(Folder()), &m_window);
    ASSERT_TRUE(thread.Start(0));
    while (m_messages.empty() || m_messages.back().message != WM_UPDATE_END) {
        ASSERT_EQ(m_queue.GetInputEvent().Wait(10000), WAIT_OBJECT_0);
        m_queue.PumpMessages();
    }
    ASSERT_EQ(thread.WaitForEnd(10000), WAIT_OBJECT_0);
    EXPECT_FALSE(thread.Stop());
    EXPECT_EQ(m_messages.size(), 1 + 21 + 1u);
    EXPECT_EQ(m_messages[0].value, 21);

    testing_support::LinkChecker checker(m_list, Folder());
    EXPECT_EQ(checker.CheckSavedPages(), std::vector<std::string>());
    EXPECT_EQ(checker.GetCheckedLinkCount(), 40u);
}

TEST_F(UrlUpdaterTest, LinkCheckerFindsBrokenAndWebLinks) {
    Save("http://h.x/",
         "<a href=\"b.html\">ok</a><a href=\"gone.html\">broken</a>"
         "<a href=\"http://h.x/b.html\">web</a><a href=\"mailto:x@h.x\">m</a>");
    Save("http://h.x/b.html", "b");
    testing_support::LinkChecker checker(m_list, Folder());
    const std::vector<std::string> faults = checker.CheckSavedPages();
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_NE(faults[0].find("broken link: gone.html"), std::string::npos);
    EXPECT_NE(faults[1].find("still points at the web"), std::string::npos);
}

}  // namespace
