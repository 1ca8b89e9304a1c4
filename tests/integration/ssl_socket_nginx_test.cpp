// CSslSocket against a real nginx serving TLS with certificates from a test CA.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "net/ssl_socket.h"
#include "platform/wait_event.h"
#include "support/dns_peer.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_sink.h"
#include "support/temp_folder.h"
#include "support/test_bytes.h"
#include "support/test_ca.h"
#include "support/thrown_code.h"

namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::Ge;
using ::testing::Le;
using ::testing::SizeIs;
using testing_support::DnsPeer;
using testing_support::LetterBytes;
using testing_support::NginxServer;
using testing_support::RecordingSink;
using testing_support::ServerCertificate;
using testing_support::TempFolder;
using testing_support::TestCa;
using testing_support::WriteFile;

constexpr const char* kSiteName = "www.tarnwick.test";
// Resolves to the server too, but no certificate names it.
constexpr const char* kUnlistedName = "other.tarnwick.test";

constexpr auto& CodeOf = testing_support::CodeOf<CSocketException>;

// Two nginx servers: one with a certificate from the CA that SSL_CERT_FILE
// names, one with a certificate from a CA nobody trusts.
class SslSocketNginxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled() || !TestCa::IsAvailable()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        const std::filesystem::path root = s_folder->Path();
        const TestCa trusted(root, "Tarnwick Test CA");
        const TestCa stranger(root, "Stranger CA");
        const std::vector<std::string> names{kSiteName, "localhost", "127.0.0.1"};
        s_trusted = StartServer(root / "trusted", trusted.Issue("trusted", names));
        s_untrusted = StartServer(root / "untrusted", stranger.Issue("untrusted", names));
        ::setenv("SSL_CERT_FILE", trusted.CertificateFile().c_str(), 1);
        s_dns = std::make_unique<DnsPeer>();
        s_dns->AddHost(kSiteName, {"127.0.0.1"});
        s_dns->AddHost(kUnlistedName, {"127.0.0.1"});
        s_dns->Start();
    }

    static void TearDownTestSuite() {
        s_dns.reset();
        s_trusted.reset();
        s_untrusted.reset();
        s_folder.reset();
    }

    static std::unique_ptr<NginxServer> StartServer(const std::filesystem::path& folder,
                                                    const ServerCertificate& certificate) {
        auto server = std::make_unique<NginxServer>(folder);
        server->SetTls(certificate.certificateFile, certificate.keyFile);
        server->SetServerDirectives(
            "    large_client_header_buffers 4 32k;\n"
            "    lingering_close off;\n"
            "    location = /sni { return 200 \"[$ssl_server_name]\"; }\n"
            "    location = /echo { return 200 \"$http_x_payload\"; }\n"
            // A filter that changes the body drops its length, so an
            // HTTP/1.0 response ends with the connection.
            "    location = /unsized.txt { sub_filter_types *; sub_filter 'x' 'y';"
            " sub_filter_once off; }\n");
        WriteFile((server->DocumentRoot() / "unsized.txt").string(), std::string(3000, 'x'));
        server->Start();
        return server;
    }

    void SetUp() override {
        if (!s_trusted) {
            TARNWICK_MISSING_SERVER("nginx or openssl is not installed");
        }
        m_socket.SetDnsServers(s_dns->Servers());
    }

    void Open(const std::string& host, const NginxServer& server) {
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        m_socket.Connect({host, server.Port()});
    }

    // Sends a GET and returns the head of the response; the body is left
    // unread in the socket.
    std::string Request(const std::string& path, const std::string& extra = {},
                        const char* version = "HTTP/1.1") {
        const std::string request = std::string("GET ") + path + " " + version +
                                    "\r\nHost: " + kSiteName + "\r\n" + extra + "\r\n";
        EXPECT_TRUE(m_socket.SendString(request));
        char head[4096];
        std::uint32_t received = 0;
        EXPECT_TRUE(m_socket.ReceiveUntil(head, sizeof head, "\r\n\r\n", received, true));
        return std::string(head, received);
    }

    std::string Body(const std::string& head) {
        const std::size_t at = head.find("Content-Length: ");
        EXPECT_NE(at, std::string::npos) << head;
        std::string body(std::stoul(head.substr(at + 16)), '\0');
        std::uint32_t received = 0;
        m_socket.Receive(body.data(), static_cast<std::uint32_t>(body.size()), received);
        return body;
    }

    static std::unique_ptr<TempFolder> s_folder;
    static std::unique_ptr<NginxServer> s_trusted;
    static std::unique_ptr<NginxServer> s_untrusted;
    static std::unique_ptr<DnsPeer> s_dns;

    RecordingSink m_sink;
    CWaitEvent m_stop;
    CSslSocket m_socket;
};

std::unique_ptr<TempFolder> SslSocketNginxTest::s_folder;
std::unique_ptr<NginxServer> SslSocketNginxTest::s_trusted;
std::unique_ptr<NginxServer> SslSocketNginxTest::s_untrusted;
std::unique_ptr<DnsPeer> SslSocketNginxTest::s_dns;

TEST_F(SslSocketNginxTest, ServerSeesTheHostNameAsSniButNeverALiteralAddress) {
    const struct {
        const char* host;
        const char* seen;
    } cases[] = {
        {kSiteName, "[www.tarnwick.test]"},
        {"localhost", "[localhost]"},
        {"127.0.0.1", "[]"},
    };
    for (const auto& c : cases) {
        Open(c.host, *s_trusted);
        EXPECT_EQ(Body(Request("/sni")), c.seen) << c.host;
        m_socket.Close();
    }
    EXPECT_NE(s_trusted->AccessLog().find("GET /sni HTTP/1.1 200 sni=www.tarnwick.test"),
              std::string::npos)
        << s_trusted->AccessLog();
}

TEST_F(SslSocketNginxTest, CarriesLargeDataBothWaysInChunks) {
    const std::string payload = LetterBytes(20000);
    Open(kSiteName, *s_trusted);
    const std::string head = Request("/echo", "X-Payload: " + payload + "\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
    EXPECT_EQ(Body(head), payload);
    EXPECT_THAT(m_sink.Lengths(EVT_SOCKET_SENT),
                AllOf(SizeIs(Ge(3u)), Each(Le(CEventSocket::kSendChunkSize))));
    EXPECT_GT(m_sink.Total(EVT_SOCKET_SENT), 20000u);
}

TEST_F(SslSocketNginxTest, CertificateMustChainToATrustedCaAndNameTheHost) {
    const struct {
        const char* host;
        bool trustedServer;
        bool verify;
        ResultCode code;
        // The TLS library's words for the refusal, which the user is shown.
        const char* reason;
    } cases[] = {
        {kSiteName, true, true, ERR_SUCCESS, ""},
        {"127.0.0.1", true, true, ERR_SUCCESS, ""},
        {kSiteName, false, true, ERR_SSL_VERIFY, "unable to get local issuer certificate"},
        {kSiteName, false, false, ERR_SUCCESS, ""},
        {kUnlistedName, true, true, ERR_SSL_VERIFY, "hostname mismatch"},
        {kUnlistedName, true, false, ERR_SUCCESS, ""},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.host) +
                                  (c.trustedServer ? " trusted" : " untrusted") +
                                  (c.verify ? " verified" : " unverified");
        m_socket.SetVerifyCertificates(c.verify);
        const NginxServer& server = c.trustedServer ? *s_trusted : *s_untrusted;
        EXPECT_EQ(CodeOf([&] { Open(c.host, server); }), c.code) << label;
        EXPECT_EQ(m_socket.IsOpen(), c.code == ERR_SUCCESS) << label;
        EXPECT_EQ(m_socket.GetFailureReason(), c.reason) << label;
        if (c.code == ERR_SUCCESS) {
            EXPECT_EQ(Body(Request("/sni")).front(), '[') << label;
        }
        m_socket.Close();
    }
}

TEST_F(SslSocketNginxTest, BodyEndingWithTheConnectionFailsAfterItsBytesWereCounted) {
    Open(kSiteName, *s_trusted);
    const std::string head = Request("/unsized.txt", {}, "HTTP/1.0");
    ASSERT_EQ(head.find("Content-Length"), std::string::npos) << head;
    std::string body(100000, '\0');
    std::uint32_t received = 0;
    EXPECT_EQ(CodeOf([&] {
                  m_socket.Receive(body.data(), static_cast<std::uint32_t>(body.size()), received);
              }),
              ERR_SSL_RECEIVE);
    EXPECT_EQ(received, 3000u);
    EXPECT_EQ(body.substr(0, received), std::string(3000, 'y'));
    EXPECT_GE(m_sink.Total(EVT_SOCKET_RECEIVED), head.size() + 3000);
    EXPECT_FALSE(m_socket.IsOpen());
}

TEST_F(SslSocketNginxTest, EveryTlsWaitUsesTheConnectTimeOut) {
    // The receive and send limits (0: none) must not apply: only the
    // connect time-out can end this wait for a request nginx never gets.
    m_socket.SetTimeouts(200, 0, 0);
    Open(kSiteName, *s_trusted);
    char buffer[16];
    std::uint32_t received = 0;
    EXPECT_EQ(CodeOf([&] { m_socket.Receive(buffer, sizeof buffer, received); }),
              ERR_SOCKET_TIMEOUT);
    EXPECT_FALSE(m_socket.IsOpen());
}

TEST_F(SslSocketNginxTest, StopDuringReceiveEndsItAsALocalClose) {
    Open(kSiteName, *s_trusted);
    char buffer[16];
    std::uint32_t received = 0;
    ResultCode code = ERR_SUCCESS;
    {
        const std::jthread stopper([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_stop.Set();
        });
        code = CodeOf([&] { m_socket.Receive(buffer, sizeof buffer, received); });
    }
    EXPECT_EQ(code, ERR_SOCKET_LOCAL_CLOSED);
    EXPECT_FALSE(m_socket.IsOpen());
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CLOSED), 1);
}

TEST_F(SslSocketNginxTest, ServerDroppingTheConnectionMidSendIsASendFailure) {
    // nginx answers an endless request line with an error and closes; the
    // writes after that must fail, not raise SIGPIPE.
    Open(kSiteName, *s_trusted);
    const std::string endless = "GET /" + std::string(8 * 1024 * 1024, 'a');
    std::uint32_t sent = 0;
    EXPECT_EQ(CodeOf([&] {
                  m_socket.Send(endless.data(), static_cast<std::uint32_t>(endless.size()), sent);
              }),
              ERR_SSL_SEND);
    EXPECT_LT(sent, endless.size());
}

}  // namespace
