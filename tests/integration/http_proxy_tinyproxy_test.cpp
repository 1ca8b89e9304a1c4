// CHttpClient through a real tinyproxy that demands Basic proxy
// authentication, in front of an nginx; both started by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/wait_event.h"
#include "protocol/http_client.h"
#include "support/http_download.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_sink.h"
#include "support/temp_folder.h"
#include "support/tinyproxy_server.h"

namespace {

using testing_support::Download;
using testing_support::HttpDownload;
using testing_support::NginxServer;
using testing_support::RecordingSink;
using testing_support::RequestFor;
using testing_support::TempFolder;
using testing_support::TinyproxyServer;
using testing_support::WriteFile;

const std::string kPage = "<html>through the proxy</html>";

class HttpProxyTinyproxyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NginxServer::IsInstalled() || !TinyproxyServer::IsInstalled()) {
            return;
        }
        s_folder = std::make_unique<TempFolder>();
        s_origin = std::make_unique<NginxServer>(s_folder->Path() / "nginx");
        WriteFile((s_origin->DocumentRoot() / "page.html").string(), kPage);
        s_origin->Start();
        s_proxy = std::make_unique<TinyproxyServer>(s_folder->Path() / "proxy");
        s_proxy->SetBasicAuth("proxyuser", "proxypass");
        s_proxy->Start();
    }

    static void TearDownTestSuite() {
        s_proxy.reset();
        s_origin.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_proxy) {
            TARNWICK_MISSING_SERVER("nginx or tinyproxy is not installed");
        }
        m_client.Attach(&m_sink, &m_stop);
        m_client.SetTimeouts(10000, 10000, 10000);
    }

    static CHttpRequestInfo ProxiedRequest(const std::string& user, const std::string& password) {
        CHttpRequestInfo info =
            RequestFor("http://127.0.0.1:" + std::to_string(s_origin->Port()) + "/page.html");
        info.SetProxy(CSocketAddress("127.0.0.1", s_proxy->Port()), user, password);
        return info;
    }

    static std::unique_ptr<TempFolder> s_folder;
    static std::unique_ptr<NginxServer> s_origin;
    static std::unique_ptr<TinyproxyServer> s_proxy;

    RecordingSink m_sink;
    CWaitEvent m_stop;
    CHttpClient m_client;
};

std::unique_ptr<TempFolder> HttpProxyTinyproxyTest::s_folder;
std::unique_ptr<NginxServer> HttpProxyTinyproxyTest::s_origin;
std::unique_ptr<TinyproxyServer> HttpProxyTinyproxyTest::s_proxy;

TEST_F(HttpProxyTinyproxyTest, AnswersTheProxyChallengeOnce) {
    struct Case {
        const char* user;
        const char* password;
        ResultCode result;
        // A request on a connection that the proxy closed while it idled is
        // sent again, so the answers are counted, not the requests.
        int responses;
    };
    const Case cases[] = {
        {"proxyuser", "proxypass", ERR_SUCCESS, 2},
        {"proxyuser", "wrong", ERR_HTTP_CLIENT_ERROR, 2},
        {"", "", ERR_HTTP_CLIENT_ERROR, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + ":" + c.password);
        m_sink = RecordingSink();
        const std::string before = s_origin->AccessLog();
        const HttpDownload download = Download(m_client, ProxiedRequest(c.user, c.password));
        EXPECT_EQ(download.request, c.result);
        EXPECT_EQ(m_sink.Count(EVT_HTTP_RESPONSE_HEADERS), c.responses);
        // nginx logs a request after it has answered it, so a success may be
        // seen before its line is written.
        auto reachedOrigin = [&] { return s_origin->AccessLog().size() > before.size(); };
        for (int poll = 0; poll < 100 && c.result == ERR_SUCCESS && !reachedOrigin(); ++poll) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(reachedOrigin(), c.result == ERR_SUCCESS);
        if (c.result == ERR_SUCCESS) {
            EXPECT_EQ(download.body, ERR_SUCCESS);
            EXPECT_EQ(download.bytes, kPage);
            EXPECT_EQ(download.info.url.GetPath(), "/page.html");
        }
    }
}

}  // namespace
