// The request that a link found in a page turns into, byte for byte: one
// worker mirrors a page from a scripted peer, which checks every request
// line and Host header that the crawl sends.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/project_commands.h"
#include "engine/program_options.h"
#include "support/scoped_env.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::ScriptedPeer;
using testing_support::TempFolder;

class CrawlLinkRequestsTest : public testing::Test {
protected:
    void SetUp() override {
        GetProgramOptions().ResetToDefaults();
        GetProgramOptions().SetRetries(1);
        // The requests that the test counts are the site's own, without robots.txt.
        GetProgramOptions().SetRobots(false);
        GetProgramOptions().Save();
    }

    // The peer on 127.0.0.1 under a name, so that the host has a case.
    std::string Authority() const { return "localhost:" + std::to_string(m_peer.Port()); }

    std::string Get(const std::string& target) const {
        return "GET " + target +
               " HTTP/1.1\r\nAccept-Encoding: gzip, deflate\r\nHost: " + Authority() +
               "\r\nUser-Agent: " + GetProgramOptions().UserAgentString() + "\r\n\r\n";
    }

    static std::string Ok(const std::string& body, const std::string& type = "text/html") {
        return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    // Mirrors startUrl with one worker and GETs alone; the peer must have played its
    // script to the end, and no request may follow it.
    void Mirror(const std::string& startUrl) {
        m_peer.ExpectClose();
        m_peer.Start();
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunMirrorCommand({startUrl, "--no-head", "--threads", "1", "--into",
                                    m_folder.File("dl"), "--project", m_folder.File("p"), "-q"},
                                   out, err),
                  0)
            << err.str();
        EXPECT_EQ(m_peer.Finish(), "");
    }

    TempFolder m_folder;
    ScopedEnv m_config{"TARNWICK_CONFIG_DIR", m_folder.Path().c_str()};
    ScriptedPeer m_peer;
};

TEST_F(CrawlLinkRequestsTest, TabsAndLineBreaksInALinkAreNotSent) {
    m_peer.Accept()
        .Expect(Get("/"))
        .Reply(Ok("<a href=\" /a\r\n\tb.html\n\">a</a><img src=\"pi\tc\r.png\">"))
        .Expect(Get("/ab.html"))
        .Reply(Ok("<p>b</p>"))
        .Expect(Get("/pic.png"))
        .Reply(Ok("png", "image/png"));
    Mirror("http://" + Authority() + "/");
}

TEST_F(CrawlLinkRequestsTest, ReservedCharactersOfPathAndQueryGoAsWritten) {
    m_peer.Accept()
        .Expect(Get("/"))
        .Reply(Ok("<a href=\"/site;sub:.html?a=b;c\">a</a>"))
        .Expect(Get("/site;sub:.html?a=b;c"))
        .Reply(Ok("<p>b</p>"));
    Mirror("http://" + Authority() + "/");
}

TEST_F(CrawlLinkRequestsTest, SchemeAndHostInAnyCaseAreOneUrlFetchedOnce) {
    const std::string port = std::to_string(m_peer.Port());
    m_peer.Accept()
        .Expect(Get("/"))
        .Reply(Ok("<a href=\"http://localhost:" + port +
                  "/x\">1</a><a href=\"htTp://LocalHost:" + port + "/x\">2</a>"))
        .Expect(Get("/x"))
        .Reply(Ok("<p>x</p>"));
    Mirror("http://" + Authority() + "/");
}

TEST_F(CrawlLinkRequestsTest, TheHostHeaderNamesTheHostInLowerCase) {
    m_peer.Accept().Expect(Get("/")).Reply(Ok("<p>home</p>"));
    Mirror("HTtp://LOCALHOST:" + std::to_string(m_peer.Port()) + "/");
}

}  // namespace
