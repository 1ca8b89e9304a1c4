// CHttpClient and CHttpsClient downloading from a real nginx, over plain
// HTTP and over TLS with a certificate from a test CA.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/event_socket.h"
#include "platform/wait_event.h"
#include "protocol/http_client.h"
#include "support/compressed_bodies.h"
#include "support/http_download.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_sink.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/test_bytes.h"
#include "support/test_ca.h"

namespace {

using testing_support::Download;
using testing_support::HttpDownload;
using testing_support::NginxServer;
using testing_support::RandomBytes;
using testing_support::RecordingSink;
using testing_support::RequestFor;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::TestCa;
using testing_support::WriteFile;

const std::string kBig = RandomBytes(100000, 7);
const std::string kPage = "<html><body><a href=\"big.bin\">big</a></body></html>";

// Which client and which server; the same tests run over both.
struct Transport {
    const char* name;
    bool tls;
};

class HttpClientNginxTest : public ::testing::TestWithParam<Transport> {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled() || !TestCa::IsAvailable()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        const TestCa ca(s_folder->Path(), "Tarnwick HTTP Test CA");
        s_caFile = ca.CertificateFile();
        s_plain = StartServer(s_folder->Path() / "plain", nullptr);
        const auto certificate = ca.Issue("site", {"localhost", "127.0.0.1"});
        s_tls = StartServer(s_folder->Path() / "tls", &certificate);
    }

    static void TearDownTestSuite() {
        s_plain.reset();
        s_tls.reset();
        s_folder.reset();
    }

    static std::unique_ptr<NginxServer> StartServer(const std::filesystem::path& folder,
                                                    const testing_support::ServerCertificate* tls) {
        auto server = std::make_unique<NginxServer>(folder);
        if (tls != nullptr) {
            server->SetTls(tls->certificateFile, tls->keyFile);
        }
        server->SetServerDirectives(
            "    absolute_redirect off;\n"
            "    location = /old { return 301 /page.html; }\n"
            "    location = /moved { return 308 /page.html; }\n"
            "    location = /busy { return 503; }\n"
            // A pre-compressed file that the server labels whatever the request asked.
            "    location = /packed.html { add_header Content-Encoding gzip; }\n"
            "    location = /away { return 302 " +
            std::string(tls != nullptr ? "http" : "https") +
            "://127.0.0.1/page.html; }\n"
            // A filter that changes the body drops its length: HTTP/1.1 chunks it.
            "    location = /chunked.txt { sub_filter_types *; sub_filter 'x' 'y';"
            " sub_filter_once off; }\n");
        WriteFile((server->DocumentRoot() / "big.bin").string(), kBig);
        WriteFile((server->DocumentRoot() / "page.html").string(), kPage);
        WriteFile((server->DocumentRoot() / "chunked.txt").string(), std::string(70000, 'x'));
        WriteFile((server->DocumentRoot() / "packed.html").string(), testing_support::kGzipPage);
        server->Start();
        return server;
    }

    void SetUp() override {
        if (!s_plain) {
            TARNWICK_MISSING_SERVER("nginx or openssl is not installed");
        }
        m_trust = std::make_unique<ScopedEnv>("SSL_CERT_FILE", s_caFile.c_str());
        if (GetParam().tls) {
            m_client = std::make_unique<CHttpsClient>();
        } else {
            m_client = std::make_unique<CHttpClient>();
        }
        m_client->Attach(&m_sink, &m_stop);
        m_client->SetTimeouts(10000, 10000, 10000);
    }

    std::string Url(const std::string& path) const {
        const NginxServer& server = GetParam().tls ? *s_tls : *s_plain;
        return std::string(GetParam().tls ? "https" : "http") +
               "://127.0.0.1:" + std::to_string(server.Port()) + path;
    }

    static std::unique_ptr<TempFolder> s_folder;
    static std::string s_caFile;
    static std::unique_ptr<NginxServer> s_plain;
    static std::unique_ptr<NginxServer> s_tls;

    std::unique_ptr<ScopedEnv> m_trust;
    RecordingSink m_sink;
    CWaitEvent m_stop;
    std::unique_ptr<CHttpClient> m_client;
};

std::unique_ptr<TempFolder> HttpClientNginxTest::s_folder;
std::string HttpClientNginxTest::s_caFile;
std::unique_ptr<NginxServer> HttpClientNginxTest::s_plain;
std::unique_ptr<NginxServer> HttpClientNginxTest::s_tls;

TEST_P(HttpClientNginxTest, DownloadsWholeFiles) {
    struct Case {
        const char* path;
        const std::string& body;
        int type;
    };
    const Case cases[] = {
        {"/big.bin", kBig, CONTENT_TYPE_OCTET_STREAM},
        {"/page.html", kPage, CONTENT_TYPE_TEXT_HTML},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const HttpDownload download = Download(*m_client, RequestFor(Url(c.path)));
        ASSERT_EQ(download.request, ERR_SUCCESS);
        EXPECT_EQ(download.body, ERR_SUCCESS);
        EXPECT_TRUE(download.bytes == c.body) << download.bytes.size() << " bytes";
        EXPECT_TRUE(download.info.contentLengthKnown);
        EXPECT_EQ(download.info.contentLength, c.body.size());
        EXPECT_TRUE(download.info.contentTypeKnown);
        EXPECT_EQ(download.info.contentType, c.type);
        EXPECT_TRUE(download.info.modificationTimeKnown);
    }
}

TEST_P(HttpClientNginxTest, DownloadsRanges) {
    struct Case {
        RangeKind kind;
        std::int32_t from;
        std::int32_t to;
        std::string body;
        std::uint32_t rangeStart;
    };
    const Case cases[] = {
        {RANGE_FROM_OFFSET, 40000, 0, kBig.substr(40000), 40000},
        {RANGE_FROM_TO, 10, 19, kBig.substr(10, 10), 10},
        {RANGE_LAST_BYTES, 0, 5, kBig.substr(kBig.size() - 5), 99995},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rangeStart);
        m_sink = RecordingSink();
        CHttpRequestInfo info = RequestFor(Url("/big.bin"));
        info.SetRange(c.from, c.to, c.kind);
        const HttpDownload download = Download(*m_client, info);
        ASSERT_EQ(download.request, ERR_SUCCESS);
        EXPECT_EQ(download.status, 206);
        EXPECT_EQ(download.body, ERR_SUCCESS);
        EXPECT_TRUE(download.bytes == c.body) << download.bytes.size() << " bytes";
        // The summary gives the whole file's size, not the part's.
        EXPECT_EQ(download.info.contentLength, kBig.size());
        EXPECT_EQ(m_sink.Lengths(EVT_HTTP_RANGE_START), std::vector<std::uint32_t>{c.rangeStart});
    }
}

TEST_P(HttpClientNginxTest, KeepsOneConnectionForConsecutiveRequests) {
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/page.html")), METHOD_HEAD).request, ERR_SUCCESS);
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/page.html"))).bytes, kPage);
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/big.bin"))).received, kBig.size());
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CONNECTED), 1);
}

TEST_P(HttpClientNginxTest, ReadsChunkedBodies) {
    const HttpDownload download = Download(*m_client, RequestFor(Url("/chunked.txt")));
    ASSERT_EQ(download.request, ERR_SUCCESS);
    EXPECT_EQ(download.body, ERR_SUCCESS);
    EXPECT_EQ(download.bytes, std::string(70000, 'y'));
    EXPECT_GE(m_sink.Count(EVT_HTTP_CHUNK_START), 1);
    // The connection stays usable after the last chunk.
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/page.html"))).bytes, kPage);
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CONNECTED), 1);
}

TEST_P(HttpClientNginxTest, FollowsRedirectsAndReportsStatus) {
    const HttpDownload moved = Download(*m_client, RequestFor(Url("/old")));
    EXPECT_EQ(moved.request, ERR_SUCCESS);
    EXPECT_EQ(moved.bytes, kPage);
    EXPECT_EQ(moved.info.url.GetSourceText(), Url("/page.html"));

    EXPECT_EQ(Download(*m_client, RequestFor(Url("/away"))).request, ERR_HTTP_REDIRECT_PROTOCOL);
    EXPECT_EQ(m_client->GetRedirectUrl().GetScheme(), GetParam().tls ? SchemeHttp : SchemeHttps);
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/missing"))).request, ERR_HTTP_CLIENT_ERROR);

    const HttpDownload permanent = Download(*m_client, RequestFor(Url("/moved")));
    EXPECT_EQ(permanent.request, ERR_SUCCESS);
    EXPECT_EQ(permanent.bytes, kPage);
}

// nginx's error pages come with their length, so broken links and busy
// answers all ride the first connection (and its one TLS handshake).
TEST_P(HttpClientNginxTest, ErrorAnswersKeepTheConnection) {
    for (int i = 0; i < 20; ++i) {
        const std::string path = i % 4 == 3 ? "/busy" : "/missing" + std::to_string(i) + ".html";
        EXPECT_NE(Download(*m_client, RequestFor(Url(path))).request, ERR_SUCCESS) << path;
        EXPECT_NE(Download(*m_client, RequestFor(Url(path)), METHOD_HEAD).request, ERR_SUCCESS);
    }
    EXPECT_EQ(Download(*m_client, RequestFor(Url("/page.html"))).bytes, kPage);
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CONNECTED), 1);
}

TEST_P(HttpClientNginxTest, DecodesAGzipBodyThatWasNotAskedFor) {
    const HttpDownload download = Download(*m_client, RequestFor(Url("/packed.html")));
    ASSERT_EQ(download.request, ERR_SUCCESS);
    EXPECT_EQ(download.body, ERR_SUCCESS);
    EXPECT_EQ(download.bytes, testing_support::kPlainPage);
    EXPECT_EQ(download.received, testing_support::kGzipPage.size());
}

INSTANTIATE_TEST_SUITE_P(Transports, HttpClientNginxTest,
                         ::testing::Values(Transport{"http", false}, Transport{"https", true}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
