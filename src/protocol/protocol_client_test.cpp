#include "protocol/protocol_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "platform/wait_event.h"
#include "support/loopback_peer.h"
#include "support/recording_sink.h"
#include "support/scripted_peer.h"

namespace {

using testing_support::LoopbackPeer;
using testing_support::RecordingSink;
using testing_support::ScriptedPeer;

class ProtocolClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_client.Attach(&m_sink, &m_stop);
        m_client.SetTimeouts(5000, 5000, 5000);
    }

    void Connect(const ScriptedPeer& peer) {
        m_client.ConnectTo(CSocketAddress(peer.Host(), peer.Port()));
    }

    // The code of the socket exception that reading a line throws.
    ResultCode ReadLineFailure(std::string& text) {
        try {
            m_client.ReadLine(text);
        } catch (const CSocketException& error) {
            return error.GetCode();
        }
        return ERR_SUCCESS;
    }

    RecordingSink m_sink;
    CWaitEvent m_stop;
    CProtocolClient m_client;
};

TEST_F(ProtocolClientTest, ReadsLinesAndCutsLongOnes) {
    const std::string longLine = std::string(600, 'x') + "\r\n";
    ScriptedPeer peer;
    peer.Accept().Expect("hello\r\n").Reply("one\r\n" + longLine + "last");
    peer.Start();
    Connect(peer);
    m_client.Send("hello\r\n");

    std::string text;
    m_client.ReadLine(text);
    EXPECT_EQ(text, "one\r\n");
    m_client.ReadLine(text);
    EXPECT_EQ(text, std::string(511, 'x'));
    m_client.ReadLine(text);
    EXPECT_EQ(text, std::string(89, 'x') + "\r\n");
    // The peer ends the connection in the middle of a line.
    EXPECT_EQ(ReadLineFailure(text), ERR_SOCKET_REMOTE_CLOSED);
    EXPECT_EQ(text, "last");
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_EQ(peer.Finish(), "");
}

TEST_F(ProtocolClientTest, HeaderBlockStopsAtTheBlankLineOrAtTheHeadLimit) {
    const std::string big = "HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'a') + "\r\n\r\n";
    ScriptedPeer peer;
    peer.Accept().Reply("A: 1\r\n\r\nbody").Expect("next").Reply(big);
    peer.Start();
    Connect(peer);

    std::string block;
    m_client.ReadHeaderBlock(block);
    EXPECT_EQ(block, "A: 1\r\n\r\n");
    // Nothing past the blank line was taken from the socket.
    char body[4];
    std::uint32_t received = 0;
    m_client.Receive(body, sizeof body, received);
    EXPECT_EQ(std::string(body, received), "body");

    m_client.Send("next");
    m_client.ReadHeaderBlock(block);
    EXPECT_EQ(block, big.substr(0, CProtocolClient::kMaxHeadSize));
    EXPECT_EQ(peer.Finish(), "");
}

TEST_F(ProtocolClientTest, ConnectToReplacesTheOpenConnection) {
    ScriptedPeer first;
    ScriptedPeer second;
    first.Accept().Expect("a").ExpectClose();
    second.Accept().Expect("b");
    first.Start();
    second.Start();

    Connect(first);
    EXPECT_EQ(m_client.GetCurrentAddress(), CSocketAddress(first.Host(), first.Port()));
    m_client.Send("a");
    Connect(second);
    EXPECT_EQ(m_client.GetCurrentAddress(), CSocketAddress(second.Host(), second.Port()));
    m_client.Send("b");
    EXPECT_EQ(first.Finish(), "");
    EXPECT_EQ(second.Finish(), "");
}

TEST_F(ProtocolClientTest, TheStopEventEndsAWait) {
    ScriptedPeer peer;
    peer.Accept().ExpectClose();
    peer.Start();
    Connect(peer);
    m_stop.Set();
    std::string text = "old";
    EXPECT_EQ(ReadLineFailure(text), ERR_SOCKET_LOCAL_CLOSED);
    EXPECT_EQ(text, "");
    EXPECT_EQ(peer.Finish(), "");
}

TEST_F(ProtocolClientTest, FailedConnectLeavesNoCurrentAddress) {
    int port = 0;
    {
        ScriptedPeer gone;
        port = gone.Port();
    }
    EXPECT_THROW(m_client.ConnectTo(CSocketAddress("127.0.0.1", port)), CSocketException);
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_EQ(m_client.GetCurrentAddress(), CSocketAddress());
}

// The user raises a different setting for each time-out, so a connect that
// takes too long must not read as a request that got no answer.
TEST_F(ProtocolClientTest, AConnectThatTakesTooLongIsAConnectTimeout) {
    LoopbackPeer full(0);
    const CSocketAddress address("127.0.0.1", full.Port());
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in target{};
        address.ToSockAddr(target);
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&target), sizeof target);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_client.SetTimeouts(200, 5000, 5000);
    ResultCode code = ERR_SUCCESS;
    try {
        m_client.ConnectTo(address);
    } catch (const CSocketException& error) {
        code = error.GetCode();
    }
    EXPECT_EQ(code, ERR_CONNECT_TIMEOUT);
    EXPECT_FALSE(m_client.IsConnected());
    for (int filler : fillers) {
        ::close(filler);
    }

    ScriptedPeer silent;
    silent.Accept().ExpectClose();
    silent.Start();
    m_client.SetTimeouts(5000, 100, 100);
    Connect(silent);
    std::string text;
    EXPECT_EQ(ReadLineFailure(text), ERR_SOCKET_TIMEOUT);
    m_client.Close();
    EXPECT_EQ(silent.Finish(), "");
}

}  // namespace
