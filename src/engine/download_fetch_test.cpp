// The worker's fetch over a scripted server: the exact requests it sends and
// what it makes of the answers, resumed bodies above all.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_stream.h"
#include "engine/download_worker.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_settings.h"
#include "protocol/http_client.h"
#include "support/compressed_bodies.h"
#include "support/failing_stdio.h"
#include "support/parsed_url.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"
#include "support/xml_allocation_limit.h"

namespace {

using testing_support::ParsedUrl;
using testing_support::ReadFile;
using testing_support::ScriptedPeer;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr const char* kLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
constexpr std::int32_t kLastModifiedTime = 784111777;

// Counts the pauses between attempts instead of waiting them out.
class PauseCountingWorker : public CDownloadWorker {
public:
    using CDownloadWorker::CDownloadWorker;
    int Pauses() const { return m_pauses; }

protected:
    bool PauseBeforeRetry() override {
        ++m_pauses;
        return true;
    }

private:
    std::atomic<int> m_pauses{0};
};

class DownloadFetchTest : public testing::Test {
protected:
    void SetUp() override {
        m_options.SetRetries(1);
        // Not the default, so that every request shows whose settings it used.
        m_options.SetUserAgent(0);
        m_project.SetFolders(m_folder.File("dl"), "dl");
        std::filesystem::create_directories(m_folder.File("dl"));
    }

    std::string Url(const std::string& path) const { return "http://" + m_peer.Authority() + path; }
    // Where the mapping saves path of the peer's host.
    std::string Saved(const std::string& path) const {
        return m_folder.File("dl") + "/127.0.0.1_" + std::to_string(m_peer.Port()) + path;
    }
    // The part of an earlier attempt, on disk where that attempt left it.
    void WritePart(const std::string& path, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(Saved(path)).parent_path());
        WriteFile(Saved(path), bytes);
    }

    std::string Req(const std::string& method, const std::string& path,
                    const std::string& range = "") const {
        return ReqTo(m_peer, method, path, "", range);
    }
    std::string ReqTo(const ScriptedPeer& peer, const std::string& method, const std::string& path,
                      const std::string& authorization, const std::string& range = "") const {
        return method + " " + path + " HTTP/1.1\r\n" + AcceptEncoding(method, range) +
               (authorization.empty() ? "" : "Authorization: " + authorization + "\r\n") +
               "Host: " + peer.Authority() + "\r\n" +
               (range.empty() ? "" : "Range: bytes=" + range + "-\r\n") +
               "User-Agent: " + m_options.UserAgentString() + "\r\n\r\n";
    }

    // A GET asks for compression unless it continues a body with a range;
    // a HEAD asks for none, so that its length is the decoded file's.
    static std::string AcceptEncoding(const std::string& method, const std::string& range) {
        if (method != "GET") {
            return "";
        }
        return std::string("Accept-Encoding: ") + (range.empty() ? "gzip, deflate" : "identity") +
               "\r\n";
    }

    CDownloadTask Task(const std::string& path, std::int32_t bytesReceived = 0,
                       std::int32_t knownTime = -1) const {
        CDownloadTask task;
        CUrl url;
        EXPECT_TRUE(url.Parse(Url(path)));
        task.item = CLinkItem(url, 0, true);
        task.bytesReceived = bytesReceived;
        task.localPath = bytesReceived > 0 ? Saved(path) : "";
        task.knownModificationTime = knownTime;
        return task;
    }

    // Runs one task on a real worker and returns it as the manager would
    // collect it; the script must have been played to its end.
    CDownloadTask Fetch(const std::string& path, std::int32_t bytesReceived = 0,
                        std::int32_t knownTime = -1) {
        return Run(Task(path, bytesReceived, knownTime));
    }

    CDownloadTask Run(CDownloadTask task) { return RunOnOneWorker({std::move(task)}).front(); }

    // The tasks one after the other on the same worker, each collected as
    // the manager would before the next is assigned.
    std::vector<CDownloadTask> RunOnOneWorker(std::vector<CDownloadTask> tasks) {
        m_peer.Start();
        PauseCountingWorker worker(m_project);
        EXPECT_TRUE(worker.Setup({5000, 5000, 5000}, m_options, &m_output, &m_notifier));
        worker.SetFinishedEvent(&m_finished);
        EXPECT_TRUE(worker.Start(0));
        for (CDownloadTask& task : tasks) {
            m_finished.Reset();
            worker.Assign(task);
            EXPECT_EQ(m_finished.Wait(30000), WAIT_OBJECT_0);
            task = worker.CopyTask();
            m_links = worker.TakeFoundLinks();
            worker.ClearTask();
        }
        worker.Stop();
        m_pauses = worker.Pauses();
        EXPECT_EQ(m_peer.Finish(), "");
        return tasks;
    }

    static std::string Ok(const std::string& body, const std::string& headers = "") {
        return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body;
    }
    static std::string Partial(const std::string& whole, std::size_t first,
                               const std::string& body) {
        return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) +
               "-" + std::to_string(whole.size() - 1) + "/" + std::to_string(whole.size()) +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    TempFolder m_folder;
    CProgramOptions m_options;
    CProjectSettings m_project;
    ScriptedPeer m_peer;
    CFileStream m_output;
    CProgressNotifier m_notifier{0, nullptr};
    CWaitEvent m_finished;
    CFoundLinks m_links;
    int m_pauses = 0;
};

std::string Body(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    }
    return body;
}

TEST_F(DownloadFetchTest, HeadThenGetSavesTheBodyUnderItsMappedName) {
    const std::string body = Body(3000);
    m_peer.Accept()
        .Expect(Req("HEAD", "/d/f.bin"))
        .Reply(Ok("", "Last-Modified: " + std::string(kLastModified) + "\r\n"))
        .Expect(Req("GET", "/d/f.bin"))
        .Reply(Ok(body, "Last-Modified: " + std::string(kLastModified) + "\r\n"));
    const CDownloadTask task = Fetch("/d/f.bin");
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 3000);
    EXPECT_EQ(task.response.modificationTime, kLastModifiedTime);
    EXPECT_EQ(task.localPath, Saved("/d/f.bin"));
    EXPECT_EQ(task.storedPath, "127.0.0.1_" + std::to_string(m_peer.Port()) + "/d/f.bin");
    EXPECT_EQ(ReadFile(Saved("/d/f.bin")), body);
    EXPECT_EQ(m_peer.Connections(), 1);  // HEAD and GET share the connection
}

// A new connection costs a whole round trip more on a distant server, so a
// worker's next URL goes out on the connection that its last one used.
TEST_F(DownloadFetchTest, AWorkersNextUrlRidesTheSameConnection) {
    m_peer.Accept()
        .Expect(Req("HEAD", "/a.bin"))
        .Reply(Ok(""))
        .Expect(Req("GET", "/a.bin"))
        .Reply(Ok("first"))
        .Expect(Req("HEAD", "/b.bin"))
        .Reply(Ok(""))
        .Expect(Req("GET", "/b.bin"))
        .Reply(Ok("second"));
    const std::vector<CDownloadTask> tasks = RunOnOneWorker({Task("/a.bin"), Task("/b.bin")});
    EXPECT_TRUE(tasks[0].success);
    EXPECT_TRUE(tasks[1].success);
    EXPECT_EQ(ReadFile(Saved("/b.bin")), "second");
    EXPECT_EQ(m_peer.Connections(), 1);
}

// A disk that refuses the body refuses it again: no second attempt.
TEST_F(DownloadFetchTest, ABodyThatCannotReachTheDiskFailsTheUrl) {
    m_options.SetRetries(3);
    const std::string body = Body(6000);
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin"))
        .Reply(Ok(""))
        .Expect(Req("GET", "/f.bin"))
        .Reply(Ok(body));
    CDownloadTask task;
    {
        // Neither the flush after the body nor the one of the close succeeds.
        const testing_support::FailingFflush full;
        task = Fetch("/f.bin");
    }
    EXPECT_FALSE(task.success);
    EXPECT_EQ(task.resultCode, ERR_FILE_STREAM_WRITE);
    EXPECT_EQ(m_pauses, 0);
}

TEST_F(DownloadFetchTest, WithHeadRequestsOffAFirstDownloadSendsOnlyTheGet) {
    m_options.SetHeadRequests(false);
    const std::string body = Body(700);
    m_peer.Accept()
        .Expect(Req("GET", "/f.bin"))
        .Reply(Ok(body, "Last-Modified: " + std::string(kLastModified) + "\r\n"));
    const CDownloadTask task = Fetch("/f.bin");
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.response.modificationTime, kLastModifiedTime);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), body);
}

// A file saved before, asked for again: with HEAD requests (the default) a
// HEAD compares the times; without them one GET carries the time as its
// condition. Either way an unchanged file stays as it is.
struct KnownFileCase {
    const char* name;
    bool headRequests;
    const char* answer;
    ResultCode result;
    const char* saved;
};

class KnownFileTest : public DownloadFetchTest,
                      public testing::WithParamInterface<KnownFileCase> {};

TEST_P(KnownFileTest, IsFetchedOnlyWhenItChanged) {
    const KnownFileCase& c = GetParam();
    m_options.SetHeadRequests(c.headRequests);
    WritePart("/f.bin", "old");
    m_peer.Accept()
        .Expect(c.headRequests
                    ? Req("HEAD", "/f.bin")
                    : "GET /f.bin HTTP/1.1\r\nAccept-Encoding: gzip, deflate\r\nHost: " +
                          m_peer.Authority() + "\r\nIf-Modified-Since: " + kLastModified +
                          "\r\nUser-Agent: " + m_options.UserAgentString() + "\r\n\r\n")
        .Reply(c.answer);
    const CDownloadTask task = Fetch("/f.bin", 0, kLastModifiedTime);
    EXPECT_EQ(task.resultCode, c.result);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), c.saved);
    // The record of an unchanged file keeps the time it was saved with.
    EXPECT_EQ(task.response.modificationTime,
              c.result == ERR_NOT_MODIFIED ? kLastModifiedTime : kLastModifiedTime + 86400);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, KnownFileTest,
    testing::Values(
        KnownFileCase{"HeadWithTheSameTime", true,
                      "HTTP/1.1 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                      "Content-Length: 3\r\n\r\n",
                      ERR_NOT_MODIFIED, "old"},
        KnownFileCase{"NotModified", false,
                      "HTTP/1.1 304 Not Modified\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n",
                      ERR_NOT_MODIFIED, "old"},
        KnownFileCase{"Changed", false,
                      "HTTP/1.1 200 OK\r\nLast-Modified: Mon, 07 Nov 1994 08:49:37 GMT\r\n"
                      "Content-Length: 3\r\n\r\nnew",
                      ERR_SUCCESS, "new"}),
    [](const testing::TestParamInfo<KnownFileCase>& param) { return param.param.name; });

// A HEAD answer that announces a body of size bytes.
std::string HeadOk(std::size_t size, const std::string& headers = "") {
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(size) + "\r\n\r\n";
}

void EnableImagesUpTo(CProjectSettings& project, std::uint32_t maximumKb,
                      std::uint32_t minimumKb = 0) {
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(0).SetEnabled(true);  // "Image"
    filters.GetAt(0).SetSizes(minimumKb, maximumKb);
    project.GetRules().SetFilters(filters);
}

TEST_F(DownloadFetchTest, TheFiltersJudgeTheHeadBeforeAnyByteIsWritten) {
    // A size limit asks for the HEAD even when HEAD requests are off.
    m_options.SetHeadRequests(false);
    EnableImagesUpTo(m_project, 1);
    m_peer.Accept().Expect(Req("HEAD", "/big.png")).Reply(HeadOk(2000));
    EXPECT_EQ(Fetch("/big.png").resultCode, ERR_CLIENT_RULE);
    EXPECT_FALSE(std::filesystem::exists(Saved("/big.png")));
}

TEST_F(DownloadFetchTest, WithoutAHeadTheFiltersJudgeTheGetsHead) {
    EnableImagesUpTo(m_project, 1);
    m_peer.Accept()
        .Expect(Req("HEAD", "/big.png"))
        .Reply("HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
        .Expect(Req("GET", "/big.png"))
        .Reply(Ok(Body(2000)));
    EXPECT_EQ(Fetch("/big.png").resultCode, ERR_CLIENT_RULE);
    EXPECT_FALSE(std::filesystem::exists(Saved("/big.png")));
}

// Only Image is enabled, so every page is refused; a page is read for the
// links that lead to the images all the same, and nothing of it is kept.
struct RefusedPageCase {
    const char* path;
    bool headRequests;
    const char* contentType;  // "" sends none
    // A group of pages that are all too big to keep.
    bool pagesTooBig;
    bool read;
};

class RefusedPageTest : public DownloadFetchTest,
                        public testing::WithParamInterface<RefusedPageCase> {};

TEST_P(RefusedPageTest, IsReadForItsLinksAndNotKept) {
    const RefusedPageCase& c = GetParam();
    m_options.SetHeadRequests(c.headRequests);
    m_project.GetRules().SetScope("127.0.0.1");
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(0).SetEnabled(true);  // "Image"
    if (c.pagesTooBig) {
        filters.Append("Pages", ".html", 0, 1, true);
    }
    m_project.GetRules().SetFilters(filters);
    const std::string page = "<a href=\"../x.html\">x</a><img src=\"i.png\">" +
                             std::string(c.pagesTooBig ? 2000 : 0, ' ');
    const std::string type =
        *c.contentType ? "Content-Type: " + std::string(c.contentType) + "\r\n" : "";
    m_peer.Accept();
    if (c.headRequests || c.pagesTooBig) {
        m_peer.Expect(Req("HEAD", c.path)).Reply(HeadOk(page.size(), type));
    }
    if (c.read || !(c.headRequests || c.pagesTooBig)) {
        m_peer.Expect(Req("GET", c.path)).Reply(Ok(page, type));
    }
    const CDownloadTask task = Fetch(c.path);
    EXPECT_FALSE(task.success);
    EXPECT_EQ(task.resultCode, ERR_CLIENT_RULE);
    EXPECT_EQ(task.storedPath, "");
    std::vector<std::string> links;
    for (const CFoundLinks::Link link : m_links) {
        links.emplace_back(link.urlText);
    }
    const std::vector<std::string> expected{Url("/x.html"), Url("/d/i.png")};
    EXPECT_EQ(links, c.read ? expected : std::vector<std::string>());
    EXPECT_TRUE(std::filesystem::is_empty(m_folder.File("dl")));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, RefusedPageTest,
    testing::Values(RefusedPageCase{"/d/p.html", true, "text/html", false, true},
                    RefusedPageCase{"/d/p.html", false, "text/html", false, true},
                    // The name tells only when the type is missing.
                    RefusedPageCase{"/d/p.HTM", true, "", false, true},
                    RefusedPageCase{"/d/p.html", true, "text/plain", false, false},
                    RefusedPageCase{"/d/list.php", false, "text/html; charset=utf-8", false, true},
                    RefusedPageCase{"/d/a.txt", false, "", false, false},
                    RefusedPageCase{"/d/p.html", false, "text/html", true, true}));

TEST_F(DownloadFetchTest, AResumedBodyContinuesWithARange) {
    const std::string whole = Body(1000);
    WritePart("/f.bin", whole.substr(0, 600) + "stale tail");
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "600"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "600"))
        .Reply(Partial(whole, 600, whole.substr(600)));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

// A style sheet cut off under the name an earlier version gave it goes on
// in that file; only a whole new body takes the name ending in ".css".
TEST_F(DownloadFetchTest, AResumedBodyKeepsTheNameItWasStartedUnder) {
    const std::string whole = Body(1000);
    WritePart("/s.php", whole.substr(0, 600));
    const std::string css = "Content-Type: text/css\r\n";
    std::string rest = Partial(whole, 600, whole.substr(600));
    rest.insert(rest.find("\r\n") + 2, css);
    m_peer.Accept()
        .Expect(Req("HEAD", "/s.php", "600"))
        .Reply(HeadOk(1000, css))
        .Expect(Req("GET", "/s.php", "600"))
        .Reply(rest);
    const CDownloadTask task = Fetch("/s.php", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.localPath, Saved("/s.php"));
    EXPECT_EQ(ReadFile(Saved("/s.php")), whole);
}

TEST_F(DownloadFetchTest, APartialBodyThatStartsEarlierIsWrittenAtItsOwnOffset) {
    const std::string whole = Body(1000);
    WritePart("/f.bin", whole.substr(0, 600));
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "600"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "600"))
        .Reply(Partial(whole, 400, whole.substr(400)));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

TEST_F(DownloadFetchTest, APartialBodyThatLeavesAGapIsFetchedWhole) {
    const std::string whole = Body(1000);
    WritePart("/f.bin", whole.substr(0, 600));
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "600"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "600"))
        .Reply(Partial(whole, 800, whole.substr(800)))
        // The unread partial body costs the connection.
        .Accept()
        .Expect(Req("GET", "/f.bin"))
        .Reply(Ok(whole));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

TEST_F(DownloadFetchTest, AServerThatIgnoresTheRangeRestartsTheFile) {
    const std::string whole = Body(1000);
    WritePart("/f.bin", std::string(600, 'x'));
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "600"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "600"))
        .Reply(Ok(whole));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

// A kill between a body's last byte and the crawl's record of it leaves a
// whole file counted as cut: the server refuses the range from its end.
TEST_F(DownloadFetchTest, ARangeRefusedAtTheFilesEndFetchesTheBodyWhole) {
    const std::string whole = Body(1000);
    WritePart("/f.bin", whole);
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "1000"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "1000"))
        .Reply(
            "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */1000\r\n"
            "Content-Length: 0\r\n\r\n")
        .Expect(Req("GET", "/f.bin"))
        .Reply(Ok(whole));
    const CDownloadTask task = Fetch("/f.bin", 1000);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

TEST_F(DownloadFetchTest, APartFileShorterThanItsCountResumesFromItsOwnEnd) {
    // A project saved mid-transfer may count bytes that a crash kept from the disk.
    const std::string whole = Body(1000);
    WritePart("/f.bin", whole.substr(0, 400));
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin", "400"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "400"))
        .Reply(Partial(whole, 400, whole.substr(400)));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 1000);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

TEST_F(DownloadFetchTest, APartFileThatIsGoneIsNotResumed) {
    const std::string whole = Body(100);
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin"))
        .Reply(HeadOk(100))
        .Expect(Req("GET", "/f.bin"))
        .Reply(Ok(whole));
    const CDownloadTask task = Fetch("/f.bin", 600);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 100);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), whole);
}

// An answer that announces the body from first to its end and sends only
// sent bytes of it before the connection closes.
std::string Cut(const std::string& whole, std::size_t first, std::size_t sent) {
    const std::string range = std::to_string(first) + "-" + std::to_string(whole.size() - 1) + "/" +
                              std::to_string(whole.size());
    return (first == 0 ? "HTTP/1.1 200 OK\r\n"
                       : "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + range + "\r\n") +
           "Content-Length: " + std::to_string(whole.size() - first) + "\r\n\r\n" +
           whole.substr(first, sent);
}

// The next attempt of the task continues a cut body with a range; once the
// task has failed, no attempt will, so the cut file goes.
TEST_F(DownloadFetchTest, ACutBodyStaysForTheNextAttemptAndGoesWhenTheTaskFails) {
    const std::string whole = Body(1000);
    m_options.SetRetries(2);
    m_peer.Accept()
        .Expect(Req("HEAD", "/f.bin"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin"))
        .Reply(Cut(whole, 0, 400))
        .Close()
        .Accept()
        .Expect(Req("HEAD", "/f.bin", "400"))
        .Reply(HeadOk(1000))
        .Expect(Req("GET", "/f.bin", "400"))
        .Reply(Cut(whole, 400, 200))
        .Close();
    const CDownloadTask task = Fetch("/f.bin");
    EXPECT_FALSE(task.success);
    EXPECT_TRUE(task.fileRemoved);
    EXPECT_EQ(task.bytesReceived, 0);
    EXPECT_FALSE(std::filesystem::exists(Saved("/f.bin")));
}

// A copy of an earlier run that the failed task never opened stays.
TEST_F(DownloadFetchTest, AFailureBeforeTheBodyLeavesTheEarlierCopy) {
    WritePart("/f.bin", "earlier copy");
    m_options.SetHeadRequests(false);
    m_peer.Accept()
        .Expect(Req("GET", "/f.bin"))
        .Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    const CDownloadTask task = Fetch("/f.bin");
    EXPECT_EQ(task.resultCode, ERR_HTTP_CLIENT_ERROR);
    EXPECT_FALSE(task.fileRemoved);
    EXPECT_EQ(ReadFile(Saved("/f.bin")), "earlier copy");
}

TEST_F(DownloadFetchTest, SavedPagesYieldTheirLinksAndAreWrittenBackAbsolute) {
    m_project.GetRules().SetScope("127.0.0.1");
    const std::string page =
        "<html><body><a href=\"../x.html#top\">x</a><img src=\"i.png\">"
        "<a href=\"mailto:a@h\">m</a></body></html>";
    // No content type: the .HTM name alone makes it a page.
    m_peer.Accept()
        .Expect(Req("HEAD", "/d/p.HTM"))
        .Reply(HeadOk(page.size()))
        .Expect(Req("GET", "/d/p.HTM"))
        .Reply(Ok(page));
    const CDownloadTask task = Fetch("/d/p.HTM");
    EXPECT_TRUE(task.success);
    ASSERT_EQ(m_links.size(), 2u);
    EXPECT_EQ(m_links[0].urlText, Url("/x.html"));
    EXPECT_EQ(m_links[0].level, 1);
    EXPECT_EQ(m_links[1].urlText, Url("/d/i.png"));
    const std::string saved = ReadFile(Saved("/d/p.HTM"));
    EXPECT_NE(saved.find("href=\"" + Url("/x.html#top") + "\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("mailto:a@h"), std::string::npos);
}

std::string Status(int status) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: 0\r\n\r\n";
}

// A page too big for the memory left fails alone, with the system's code,
// instead of being saved cut short with only its first links followed.
TEST_F(DownloadFetchTest, PageThatRunsOutOfMemoryFailsWithoutItsLinks) {
    std::string page = "<html><body>";
    for (int i = 0; i < 2000; ++i) {
        page += "<a href=\"p" + std::to_string(i) + ".html\">x</a>";
    }
    // A reference that readers do not agree on sends the page through the
    // parser, whose memory runs out.
    page += "<a href=\"?&copy=1\">c</a>";
    m_peer.Accept()
        .Expect(Req("HEAD", "/big.html"))
        .Reply(HeadOk(page.size()))
        .Expect(Req("GET", "/big.html"))
        .Reply(Ok(page));
    const testing_support::XmlAllocationLimit limit(3000);
    const CDownloadTask task = Fetch("/big.html");
    EXPECT_FALSE(task.success);
    EXPECT_EQ(task.resultCode, ERR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(m_links.empty());
}

// Each broken link costs its round trips and nothing more: the answers are
// read so that the next request rides the same connection.
TEST_F(DownloadFetchTest, BrokenLinksFailWithTheirHttpCodeAtOnce) {
    m_options.SetRetries(3);
    const std::string gone = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot here.";
    m_peer.Accept()
        .Expect(Req("HEAD", "/gone.html"))
        .Reply(Status(404))
        .Expect(Req("GET", "/gone.html"))
        .Reply(gone)
        .Expect(Req("HEAD", "/lost.html"))
        .Reply(Status(410))
        .Expect(Req("GET", "/lost.html"))
        .Reply("HTTP/1.1 410 Gone\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nGone\r\n0\r\n\r\n");
    const std::vector<CDownloadTask> tasks =
        RunOnOneWorker({Task("/gone.html"), Task("/lost.html")});
    for (const CDownloadTask& task : tasks) {
        EXPECT_FALSE(task.success);
        EXPECT_EQ(task.resultCode, ERR_HTTP_CLIENT_ERROR);
    }
    EXPECT_EQ(m_pauses, 0);
    EXPECT_EQ(m_peer.Connections(), 1);
    EXPECT_FALSE(std::filesystem::exists(Saved("/gone.html")));
}

// A loop of redirects is the server's answer: the chain is not run again,
// neither by a retry nor by the GET after the HEAD.
TEST_F(DownloadFetchTest, ARedirectLoopFailsWithoutARetry) {
    m_options.SetRetries(3);
    for (int pass = 0; pass <= CHttpClient::kMaxRedirects; ++pass) {
        m_peer.Accept()
            .Expect(Req("HEAD", "/loop/"))
            .Reply("HTTP/1.1 308 Permanent Redirect\r\nLocation: /loop/\r\n\r\n");
    }
    const CDownloadTask task = Fetch("/loop/");
    EXPECT_EQ(task.resultCode, ERR_HTTP_REDIRECT_LOOP);
    EXPECT_EQ(m_pauses, 0);
    EXPECT_EQ(m_peer.Connections(), CHttpClient::kMaxRedirects + 1);
}

TEST_F(DownloadFetchTest, AMalformedChunkedBodyFailsAndLeavesNoFile) {
    m_options.SetHeadRequests(false);
    m_peer.Accept()
        .Expect(Req("GET", "/c.html"))
        .Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n<html>\r\n0\r\n\r\n");
    const CDownloadTask task = Fetch("/c.html");
    EXPECT_EQ(task.resultCode, ERR_HTTP_CHUNKED_BODY);
    EXPECT_FALSE(std::filesystem::exists(Saved("/c.html")));
    EXPECT_TRUE(m_links.empty());
}

TEST_F(DownloadFetchTest, ARedirectToASchemeNoClientFetchesSavesNothing) {
    m_peer.Accept()
        .Expect(Req("HEAD", "/contact.html"))
        .Reply("HTTP/1.1 301 Moved\r\nLocation: mailto:a@h\r\nContent-Length: 0\r\n\r\n");
    const CDownloadTask task = Fetch("/contact.html");
    EXPECT_FALSE(task.success);
    EXPECT_EQ(task.resultCode, ERR_HTTP_REDIRECT_PROTOCOL);
    EXPECT_EQ(task.storedPath, "");
}

// The project's password answers the starting server only: another host
// gets no Authorization, neither after a redirect nor on its own 401.
class SiteCredentialsTest : public DownloadFetchTest {
protected:
    void SetUp() override {
        DownloadFetchTest::SetUp();
        m_project.SetStartUrl(ParsedUrl(Url("/")));
        m_project.SetCredentials("alice", "s3cret");
    }
    CDownloadTask RunFor(const std::string& url) {
        CDownloadTask task;
        task.item = CLinkItem(ParsedUrl(url), 0, true);
        m_other.Start();
        task = Run(task);
        EXPECT_EQ(m_other.Finish(), "");
        return task;
    }

    static constexpr const char* kAlice = "Basic YWxpY2U6czNjcmV0";
    const std::string m_challenge =
        "HTTP/1.1 401 No\r\nWWW-Authenticate: Basic realm=\"r\"\r\nContent-Length: 0\r\n\r\n";
    ScriptedPeer m_other{"127.0.0.2", m_peer.Port()};
};

TEST_F(SiteCredentialsTest, ARedirectToAnotherHostLeavesThemBehind) {
    const std::string moved =
        "HTTP/1.1 302 Found\r\nLocation: http://" + m_other.Authority() + "/x.png\r\n\r\n";
    m_peer.Accept().Expect(Req("HEAD", "/p")).Reply(m_challenge).ExpectClose();
    for (const std::string method : {"HEAD", "GET"}) {
        // The GET carries the credentials that the HEAD's answer was taken with.
        m_peer.Accept().Expect(ReqTo(m_peer, method, "/p", kAlice)).Reply(moved).ExpectClose();
        m_other.Accept()
            .Expect(ReqTo(m_other, method, "/x.png", ""))
            .Reply(Ok(method == "GET" ? "ok" : ""));
    }
    const CDownloadTask task = RunFor(Url("/p"));
    EXPECT_TRUE(task.success);
    EXPECT_EQ(task.bytesReceived, 2);
}

TEST_F(SiteCredentialsTest, AnotherHostsChallengeIsNotAnswered) {
    m_other.Accept()
        .Expect(ReqTo(m_other, "HEAD", "/y.png", ""))
        .Reply(m_challenge)
        .Accept()
        .Expect(ReqTo(m_other, "GET", "/y.png", ""))
        .Reply(m_challenge);
    const CDownloadTask task = RunFor("http://" + m_other.Authority() + "/y.png");
    EXPECT_EQ(task.resultCode, ERR_HTTP_CLIENT_ERROR);
}

class DownloadFetchRetryTest : public DownloadFetchTest, public testing::WithParamInterface<int> {};

TEST_P(DownloadFetchRetryTest, AnAnswerThatAsksToComeBackLaterIsRetried) {
    m_options.SetRetries(2);
    const std::string body = Body(300);
    m_peer.Accept()
        .Expect(Req("HEAD", "/busy.bin"))
        .Reply(Status(GetParam()))
        .Accept()
        .Expect(Req("GET", "/busy.bin"))
        .Reply(Status(GetParam()))
        .Accept()
        .Expect(Req("HEAD", "/busy.bin"))
        .Reply(HeadOk(body.size()))
        .Expect(Req("GET", "/busy.bin"))
        .Reply(Ok(body));
    const CDownloadTask task = Fetch("/busy.bin");
    EXPECT_TRUE(task.success);
    EXPECT_EQ(m_pauses, 1);
    EXPECT_EQ(ReadFile(Saved("/busy.bin")), body);
}

INSTANTIATE_TEST_SUITE_P(Statuses, DownloadFetchRetryTest, testing::Values(408, 429, 503, 504));

std::string Coded(const std::string& coding, const std::string& body,
                  const std::string& type = "text/html") {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Encoding: " + coding +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A server that compresses unasked: the page is saved as it reads and its
// links are followed.
TEST_F(DownloadFetchTest, ACodedPageIsSavedDecodedAndReadForLinks) {
    m_options.SetHeadRequests(false);
    m_project.GetRules().SetScope("127.0.0.1");
    m_peer.Accept()
        .Expect(Req("GET", "/d/index.html"))
        .Reply(Coded("gzip", testing_support::kGzipPage))
        .Expect(Req("GET", "/d/other.html"))
        .Reply(
            "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Type: text/html\r\n"
            "Transfer-Encoding: chunked\r\n\r\n34\r\n" +
            testing_support::kRawDeflatePage + "\r\n0\r\n\r\n");
    const std::vector<CDownloadTask> tasks =
        RunOnOneWorker({Task("/d/index.html"), Task("/d/other.html")});
    for (const CDownloadTask& task : tasks) {
        EXPECT_TRUE(task.success);
        EXPECT_EQ(task.bytesReceived,
                  static_cast<std::int32_t>(testing_support::kPlainPage.size()));
        const std::string saved = ReadFile(task.localPath);
        EXPECT_NE(saved.find("href=\"" + Url("/d/next.html") + "\""), std::string::npos) << saved;
    }
    ASSERT_EQ(m_links.size(), 2u);
    EXPECT_EQ(m_links[1].urlText, Url("/d/more.html"));
}

// 38 coded bytes that decode to 3000 zero bytes.
const std::string kGzipZeros(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xed\xc1\x31\x01\x00\x00\x00\xc2\xa0\xf5\x4f"
    "\x6d\x0d\x0f\xa0\x00\x00\x80\x77\x03\x0d\x5b\x86\xda\xb8\x0b\x00\x00",
    38);

// The filters judge the file kept, not the bytes on the wire.
TEST_F(DownloadFetchTest, TheFiltersJudgeTheDecodedSize) {
    EnableImagesUpTo(m_project, 2);
    const std::string& zeros = kGzipZeros;
    m_peer.Accept()
        .Expect(Req("HEAD", "/zeros.png"))
        .Reply(HeadOk(zeros.size(), "Content-Encoding: gzip\r\n"))
        .Expect(Req("GET", "/zeros.png"))
        .Reply(Coded("gzip", zeros, "image/png"));
    const CDownloadTask task = Fetch("/zeros.png");
    EXPECT_EQ(task.resultCode, ERR_CLIENT_RULE);
    EXPECT_FALSE(std::filesystem::exists(Saved("/zeros.png")));
}

// The GET's head gives only the coded length, which says nothing of the
// file's size: the decoded 3000 bytes pass a minimum that 38 would not.
TEST_F(DownloadFetchTest, ACodedLengthIsNotTakenForTheFilesSize) {
    EnableImagesUpTo(m_project, 4, 2);
    m_peer.Accept()
        .Expect(Req("HEAD", "/zeros.png"))
        .Reply("HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
        .Expect(Req("GET", "/zeros.png"))
        .Reply(Coded("gzip", kGzipZeros, "image/png"));
    const CDownloadTask task = Fetch("/zeros.png");
    EXPECT_TRUE(task.success);
    EXPECT_EQ(ReadFile(Saved("/zeros.png")), std::string(3000, '\0'));
}

TEST_F(DownloadFetchTest, AnEncodingThatCannotBeDecodedFailsAtOnce) {
    m_options.SetRetries(3);
    m_options.SetHeadRequests(false);
    m_peer.Accept().Expect(Req("GET", "/p.html")).Reply(Coded("br", "\x1b\x03\x00"));
    const CDownloadTask task = Fetch("/p.html");
    EXPECT_EQ(task.resultCode, ERR_HTTP_CONTENT_ENCODING);
    EXPECT_EQ(m_pauses, 0);
    EXPECT_FALSE(std::filesystem::exists(Saved("/p.html")));
}

// The file holds decoded bytes and a range counts coded ones, so a cut
// coded body is fetched whole again, never continued.
TEST_F(DownloadFetchTest, ACutCodedBodyStartsAfreshOnTheNextAttempt) {
    using testing_support::kGzipPage;
    m_options.SetRetries(2);
    m_options.SetHeadRequests(false);
    const std::string answer = Coded("gzip", kGzipPage, "text/plain");
    m_peer.Accept()
        .Expect(Req("GET", "/p.txt"))
        .Reply(answer.substr(0, answer.size() - 20))
        .Close()
        .Accept()
        .Expect(Req("GET", "/p.txt"))
        .Reply(answer);
    const CDownloadTask task = Fetch("/p.txt");
    EXPECT_TRUE(task.success);
    EXPECT_EQ(ReadFile(Saved("/p.txt")), testing_support::kPlainPage);
}

TEST_F(DownloadFetchTest, APartOfACodedBodyIsNotJoinedToTheFile) {
    using testing_support::kGzipPage;
    m_options.SetHeadRequests(false);
    WritePart("/p.txt", testing_support::kPlainPage.substr(0, 30));
    m_peer.Accept()
        .Expect(Req("GET", "/p.txt", "30"))
        .Reply(
            "HTTP/1.1 206 Partial Content\r\nContent-Encoding: gzip\r\n"
            "Content-Range: bytes 30-69/70\r\nContent-Length: 40\r\n\r\n" +
            kGzipPage.substr(30))
        .ExpectClose()
        .Accept()
        .Expect(Req("GET", "/p.txt"))
        .Reply(Coded("gzip", kGzipPage, "text/plain"));
    const CDownloadTask task = Fetch("/p.txt", 30);
    EXPECT_TRUE(task.success);
    EXPECT_EQ(ReadFile(Saved("/p.txt")), testing_support::kPlainPage);
}

struct StyleSheetCase {
    const char* path;
    const char* contentType;  // empty: none given
    bool requisites;
    bool isSheet;
};

class DownloadStyleSheetTest : public DownloadFetchTest,
                               public testing::WithParamInterface<StyleSheetCase> {};

// The type decides what a file is; only without one does the name.
TEST_P(DownloadStyleSheetTest, AStyleSheetYieldsItsLinksWhenRequisitesAreOn) {
    const StyleSheetCase& c = GetParam();
    m_options.SetHeadRequests(false);
    m_options.SetPageRequisites(c.requisites);
    const std::string sheet = "a { background: url(i/bg.png) }";
    const std::string type =
        *c.contentType ? "Content-Type: " + std::string(c.contentType) + "\r\n" : "";
    m_peer.Accept().Expect(Req("GET", c.path)).Reply(Ok(sheet, type));
    EXPECT_TRUE(Fetch(c.path).success);
    if (!c.isSheet) {
        EXPECT_TRUE(m_links.empty());
        return;
    }
    ASSERT_EQ(m_links.size(), 1u);
    EXPECT_EQ(m_links[0].urlText, Url("/d/i/bg.png"));
    EXPECT_EQ(m_links[0].level, 1);
}

INSTANTIATE_TEST_SUITE_P(Types, DownloadStyleSheetTest,
                         testing::Values(StyleSheetCase{"/d/s.css", "", true, true},
                                         StyleSheetCase{"/d/s.CSS", "", true, true},
                                         StyleSheetCase{"/d/s", "text/css", true, true},
                                         StyleSheetCase{"/d/s.css", "text/plain", true, false},
                                         StyleSheetCase{"/d/s.css", "text/css", false, false}));

}  // namespace
