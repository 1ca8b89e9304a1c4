#include "net/ssl_socket.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/wait_event.h"
#include "support/loopback_peer.h"
#include "support/recording_sink.h"
#include "support/thrown_code.h"

namespace {

using testing_support::LoopbackPeer;
using testing_support::ReceiveBytes;
using testing_support::RecordingSink;
using testing_support::SendAll;

constexpr auto& CodeOf = testing_support::CodeOf<CSocketException>;

// Takes the client's hello and then says nothing until the client goes.
void SwallowHello(int connection) {
    ReceiveBytes(connection, 5);
    pollfd state{connection, POLLRDHUP, 0};
    ::poll(&state, 1, -1);
}

class SslSocketTest : public ::testing::Test {
protected:
    RecordingSink m_sink;
    CWaitEvent m_stop;
    CSslSocket m_socket;
};

TEST_F(SslSocketTest, HandshakeEndsWithTheRightCode) {
    const struct {
        const char* peer;
        std::function<void(int)> script;
        std::uint32_t connectTimeout;
        bool stop;
        ResultCode code;
    } cases[] = {
        // A stop is the owner's request and must not look like a bad server.
        {"silent, stopped", SwallowHello, 0, true, ERR_SOCKET_LOCAL_CLOSED},
        {"silent, timed out", SwallowHello, 100, false, ERR_SSL_CONNECT},
        {"plain HTTP",
         [](int connection) {
             ReceiveBytes(connection, 5);
             SendAll(connection, "HTTP/1.0 400 Bad Request\r\n\r\n");
         },
         0, false, ERR_SSL_CONNECT},
        {"closes at once", [](int) {}, 0, false, ERR_SSL_CONNECT},
    };
    for (const auto& c : cases) {
        LoopbackPeer peer;
        peer.Serve(c.script);
        RecordingSink sink;
        m_stop.Reset();
        m_socket.SetTimeouts(c.connectTimeout, 0, 0);
        ASSERT_TRUE(m_socket.Create(&sink, &m_stop));
        ResultCode code = ERR_SUCCESS;
        {
            std::jthread stopper;
            if (c.stop) {
                stopper = std::jthread([this] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    m_stop.Set();
                });
            }
            code = CodeOf([&] { m_socket.Connect({"127.0.0.1", peer.Port()}); });
        }
        EXPECT_EQ(code, c.code) << c.peer;
        EXPECT_FALSE(m_socket.IsOpen()) << c.peer;
        EXPECT_EQ(sink.Count(EVT_SOCKET_CONNECTED), 1) << c.peer;
        EXPECT_EQ(sink.Count(EVT_SOCKET_CLOSED), 1) << c.peer;
    }
}

TEST_F(SslSocketTest, IsOpenOnlyBetweenCreateAndClose) {
    EXPECT_FALSE(m_socket.IsOpen());
    ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
    EXPECT_TRUE(m_socket.IsOpen());
    m_socket.Close();
    m_socket.Close();
    EXPECT_FALSE(m_socket.IsOpen());
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CLOSED), 1);
}

TEST_F(SslSocketTest, OperationsWithoutAConnectionFailInsteadOfCrashing) {
    char buffer[4];
    std::uint32_t count = 0;
    EXPECT_EQ(CodeOf([&] { m_socket.Connect({"127.0.0.1", 443}); }), ERR_SSL_CONNECT);
    EXPECT_EQ(CodeOf([&] { m_socket.SendString("x"); }), ERR_SSL_SEND);
    EXPECT_EQ(CodeOf([&] { m_socket.Receive(buffer, sizeof buffer, count); }), ERR_SSL_RECEIVE);
}

}  // namespace
