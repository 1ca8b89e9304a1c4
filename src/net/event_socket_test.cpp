#include "net/event_socket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/file_descriptor.h"
#include "platform/wait_event.h"
#include "support/dns_peer.h"
#include "support/ipv6_loopback.h"
#include "support/loopback_peer.h"
#include "support/recording_sink.h"
#include "support/test_bytes.h"
#include "support/thrown_code.h"

namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::Ge;
using ::testing::Le;
using ::testing::SizeIs;
using testing_support::DnsPeer;
using testing_support::LetterBytes;
using testing_support::LoopbackPeer;
using testing_support::ReceiveBytes;
using testing_support::RecordingSink;
using testing_support::SendAll;

constexpr auto& CodeOf = testing_support::CodeOf<CSocketException>;

// Blocks a peer script until the client closes its end (or the peer goes).
void WaitForClientClose(int connection) {
    pollfd state{connection, POLLRDHUP, 0};
    ::poll(&state, 1, -1);
}

CSocketAddress Loopback(const LoopbackPeer& peer) {
    return {"127.0.0.1", peer.Port()};
}

// A listener whose queue is full, so that one more connect stays pending.
class FullListener {
public:
    FullListener() : m_peer(0) {
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in target{};
            Loopback(m_peer).ToSockAddr(target);
            ::connect(filler, reinterpret_cast<sockaddr*>(&target), sizeof target);
            m_fillers.push_back(filler);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~FullListener() {
        for (int filler : m_fillers) {
            ::close(filler);
        }
    }
    CSocketAddress Address() const { return Loopback(m_peer); }

private:
    LoopbackPeer m_peer;
    std::vector<int> m_fillers;
};

// A listener on [::1] beside the IPv4 one on the same port. A stalled one
// has a full queue, so that a connect to it never completes, as to a host
// whose IPv6 path swallows every packet.
class Ipv6Listener {
public:
    Ipv6Listener(int port, bool stalled) : m_listener(::socket(AF_INET6, SOCK_STREAM, 0)) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        address.sin6_port = htons(static_cast<std::uint16_t>(port));
        const int only = 1;
        ::setsockopt(m_listener.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        if (::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener.Get(), stalled ? 0 : 4) != 0) {
            throw std::runtime_error("cannot listen on [::1]");
        }
        for (int i = 0; stalled && i < 3; ++i) {
            CFileDescriptor& filler = m_fillers.emplace_back(
                ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            ::connect(filler.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

private:
    CFileDescriptor m_listener;
    std::vector<CFileDescriptor> m_fillers;
};

class EventSocketTest : public ::testing::Test {
protected:
    void CreateAndConnect(const LoopbackPeer& peer) {
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        ASSERT_TRUE(m_socket.Connect(Loopback(peer)));
    }

    // Sets the stop event from another thread while the test's operation waits.
    std::jthread StopSoon() {
        return std::jthread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_stop.Set();
        });
    }

    void ExpectClosedOnce() {
        EXPECT_FALSE(m_socket.IsOpen());
        EXPECT_EQ(m_sink.Count(EVT_SOCKET_CLOSED), 1);
        EXPECT_EQ(m_sink.Events().back().code, EVT_SOCKET_CLOSED);
        EXPECT_EQ(m_sink.Events().back().source, -1);
    }

    RecordingSink m_sink;
    CWaitEvent m_stop;
    CEventSocket m_socket;
};

// A name with both families connects to IPv6 first, and to IPv4 when
// the IPv6 address refuses or never answers.
TEST_F(EventSocketTest, ANameConnectsToTheFirstOfItsAddressesThatAnswers) {
    if (!testing_support::KernelHasIpv6()) {
        GTEST_SKIP() << testing_support::kNoIpv6;
    }
    DnsPeer dns;
    dns.AddHost("dual.tarnwick.test", {"127.0.0.1", "::1"});
    dns.Start();
    m_socket.SetDnsServers(dns.Servers());
    m_socket.SetTimeouts(20000, 0, 0);
    enum class Ipv6 { Absent, Stalled, Answering };
    const struct {
        Ipv6 ipv6;
        const char* winner;
    } cases[] = {
        {Ipv6::Absent, "127.0.0.1"}, {Ipv6::Stalled, "127.0.0.1"}, {Ipv6::Answering, "::1"}};
    for (const auto& c : cases) {
        LoopbackPeer ipv4;
        ipv4.Serve(WaitForClientClose);
        std::unique_ptr<Ipv6Listener> ipv6;
        if (c.ipv6 != Ipv6::Absent) {
            ipv6 = std::make_unique<Ipv6Listener>(ipv4.Port(), c.ipv6 == Ipv6::Stalled);
        }
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        EXPECT_TRUE(m_socket.Connect({"dual.tarnwick.test", ipv4.Port()})) << c.winner;
        EXPECT_EQ(m_socket.GetPeerAddress(), CSocketAddress(c.winner, ipv4.Port()));
        m_socket.Close();
    }
}

TEST_F(EventSocketTest, ConnectsExchangesAndReportsEachStep) {
    LoopbackPeer peer;
    std::string request;
    peer.Serve([&](int connection) {
        request = ReceiveBytes(connection, 5);
        SendAll(connection, "world");
    });
    ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
    const std::intptr_t handle = m_sink.Events().at(0).source;
    ASSERT_TRUE(m_socket.Connect({"127.1", peer.Port()}));
    EXPECT_EQ(m_socket.GetPeerAddress(), Loopback(peer));
    ASSERT_TRUE(m_socket.SendString("hello"));
    char reply[5];
    std::uint32_t received = 0;
    EXPECT_EQ(m_socket.Receive(reply, sizeof reply, received), 5u);
    peer.Join();
    EXPECT_EQ(request, "hello");
    EXPECT_EQ(std::string(reply, received), "world");

    const auto& events = m_sink.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].code, EVT_SOCKET_CREATED);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(events[1].code, EVT_SOCKET_CONNECTED);
    EXPECT_EQ(events[1].kind, CEventSink::argumentText);
    EXPECT_EQ(events[1].text, "127.0.0.1");
    EXPECT_EQ(events[1].source, handle);
    EXPECT_EQ(m_sink.Lengths(EVT_SOCKET_SENT), std::vector<std::uint32_t>{5});
    EXPECT_EQ(m_sink.Total(EVT_SOCKET_RECEIVED), 5u);
}

TEST_F(EventSocketTest, StopEndsEveryBlockingOperationAtOnce) {
    DnsPeer dns;
    dns.AddSilentHost("silent.tarnwick.test");
    dns.Start();
    std::vector<char> big(32 * 1024 * 1024, 'x');
    char buffer[16];
    std::uint32_t count = 0;
    // With every time-out at 0 (no limit) only the stop can end these waits.
    const auto withQuietPeer = [&](const std::function<void()>& operation) {
        LoopbackPeer peer;
        peer.Serve(WaitForClientClose);
        m_socket.Connect(Loopback(peer));
        operation();
    };
    const struct {
        const char* operation;
        std::function<void()> run;
    } cases[] = {
        {"connect",
         [&] {
             FullListener listener;
             m_socket.Connect(listener.Address());
         }},
        {"lookup",
         [&] {
             m_socket.Connect({"silent.tarnwick.test", 80});
         }},
        {"receive",
         [&] { withQuietPeer([&] { m_socket.Receive(buffer, sizeof buffer, count); }); }},
        {"receive until",
         [&] {
             withQuietPeer(
                 [&] { m_socket.ReceiveUntil(buffer, sizeof buffer, "\r\n", count, true); });
         }},
        {"send",
         [&] {
             withQuietPeer(
                 [&] { m_socket.Send(big.data(), static_cast<std::uint32_t>(big.size()), count); });
         }},
    };
    m_socket.SetDnsServers(dns.Servers());
    for (const auto& c : cases) {
        RecordingSink sink;
        m_stop.Reset();
        ASSERT_TRUE(m_socket.Create(&sink, &m_stop));
        ResultCode code = ERR_SUCCESS;
        {
            const std::jthread stopper = StopSoon();
            code = CodeOf(c.run);
        }
        EXPECT_EQ(code, ERR_SOCKET_LOCAL_CLOSED) << c.operation;
        EXPECT_FALSE(m_socket.IsOpen()) << c.operation;
        EXPECT_EQ(sink.Count(EVT_SOCKET_CLOSED), 1) << c.operation;
    }
    EXPECT_EQ(dns.QueriedNames().front(), "silent.tarnwick.test");
}

TEST_F(EventSocketTest, StopAlreadySetFailsEveryOperationWithoutWaiting) {
    LoopbackPeer peer;
    peer.Serve(WaitForClientClose);
    char buffer[4];
    std::uint32_t count = 0;
    const std::function<void()> operations[] = {
        [&] { m_socket.Connect(Loopback(peer)); },
        [&] { m_socket.SendString("x"); },
        [&] { m_socket.Receive(buffer, sizeof buffer, count); },
        [&] { m_socket.ReceiveUntil(buffer, sizeof buffer, "\n", count, true); },
        [&] { m_socket.ResolveHost("localhost"); },
    };
    for (const auto& operation : operations) {
        m_stop.Reset();
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        m_stop.Set();
        EXPECT_EQ(CodeOf(operation), ERR_SOCKET_LOCAL_CLOSED);
        EXPECT_FALSE(m_socket.IsOpen());
    }
    EXPECT_EQ(CodeOf([&] { m_socket.Create(&m_sink, &m_stop); }), ERR_SOCKET_LOCAL_CLOSED);
    EXPECT_FALSE(m_socket.IsOpen());
}

TEST_F(EventSocketTest, PeerClosingEarlyKeepsTheBytesThatArrived) {
    LoopbackPeer peer;
    const std::string half(50, 'h');
    peer.Serve([&](int connection) { SendAll(connection, half); });
    CreateAndConnect(peer);
    char buffer[100] = {};
    std::uint32_t received = 0;
    EXPECT_EQ(CodeOf([&] { m_socket.Receive(buffer, sizeof buffer, received); }),
              ERR_SOCKET_REMOTE_CLOSED);
    EXPECT_EQ(received, 50u);
    EXPECT_EQ(std::string(buffer, received), half);
    EXPECT_EQ(m_sink.Total(EVT_SOCKET_RECEIVED), 50u);
    ExpectClosedOnce();
}

TEST_F(EventSocketTest, ReceiveUntilStopsAtTheTerminatorOrAFullBuffer) {
    const struct {
        const char* input;
        std::uint32_t capacity;
        const char* terminator;
        bool oneByte;
        bool found;
        const char* line;
        const char* unread;
    } cases[] = {
        {"abc\r\ndef", 64, "\r\n", true, true, "abc\r\n", "def"},
        {"HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody", 64, "\r\n\r\n", true, true,
         "HTTP/1.1 200 OK\r\nA: b\r\n\r\n", "body"},
        {"01234567890123456789\r\n", 8, "\r\n", true, false, "0123456", "789"},
        {"01234567890123456789\r\n", 8, "\r\n", false, false, "0123456", "789"},
        {"\r\n", 8, "\r\n", false, true, "\r\n", ""},
        {"xyz", 1, "\r\n", true, false, "", "xyz"},
    };
    for (const auto& c : cases) {
        LoopbackPeer peer;
        peer.Serve([&](int connection) {
            SendAll(connection, c.input);
            WaitForClientClose(connection);
        });
        RecordingSink sink;
        ASSERT_TRUE(m_socket.Create(&sink, &m_stop));
        ASSERT_TRUE(m_socket.Connect(Loopback(peer)));
        std::vector<char> buffer(c.capacity + 8, '#');
        std::uint32_t received = 99;
        EXPECT_EQ(
            m_socket.ReceiveUntil(buffer.data(), c.capacity, c.terminator, received, c.oneByte),
            c.found)
            << c.input;
        EXPECT_EQ(received, std::strlen(c.line)) << c.input;
        if (c.capacity > 1) {
            EXPECT_STREQ(buffer.data(), c.line) << c.input;
        }
        EXPECT_EQ(sink.Total(EVT_SOCKET_RECEIVED), received);
        // What follows the terminator must still be waiting in the socket.
        const std::string rest(std::string(c.unread).size(), '\0');
        std::string unread = rest;
        std::uint32_t count = 0;
        m_socket.Receive(unread.data(), static_cast<std::uint32_t>(unread.size()), count);
        EXPECT_EQ(unread, c.unread) << c.input;
        m_socket.Close();
    }
}

TEST_F(EventSocketTest, ReceiveUntilFindsATerminatorSplitAcrossArrivals) {
    // The line is looked at before it is taken; a terminator whose first part
    // was already taken must still end the line, with nothing after it taken.
    const struct {
        const char* first;
        const char* second;
        const char* terminator;
        const char* line;
        char next;
    } cases[] = {
        {"ab\r", "\ncd", "\r\n", "ab\r\n", 'c'},
        {"ab\r\n\r", "\nxy", "\r\n\r\n", "ab\r\n\r\n", 'x'},
        {"a", "b\r\nz", "\r\n", "ab\r\n", 'z'},
    };
    for (const auto& c : cases) {
        LoopbackPeer peer;
        peer.Serve([&](int connection) {
            SendAll(connection, c.first);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            SendAll(connection, c.second);
            WaitForClientClose(connection);
        });
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        ASSERT_TRUE(m_socket.Connect(Loopback(peer)));
        char buffer[64] = {};
        std::uint32_t received = 0;
        EXPECT_TRUE(m_socket.ReceiveUntil(buffer, sizeof buffer, c.terminator, received, true));
        EXPECT_STREQ(buffer, c.line);
        char next = 0;
        std::uint32_t count = 0;
        m_socket.Receive(&next, 1, count);
        EXPECT_EQ(next, c.next) << c.line;
        m_socket.Close();
    }
}

TEST_F(EventSocketTest, LargeSendGoesOutInChunksOfAtMost8192Bytes) {
    const std::string data = LetterBytes(20000, 'a');
    LoopbackPeer peer;
    std::string arrived;
    peer.Serve([&](int connection) { arrived = ReceiveBytes(connection, data.size()); });
    CreateAndConnect(peer);
    std::uint32_t sent = 0;
    EXPECT_EQ(m_socket.Send(data.data(), 20000, sent), 20000u);
    EXPECT_EQ(sent, 20000u);
    peer.Join();
    EXPECT_EQ(arrived, data);
    EXPECT_THAT(m_sink.Lengths(EVT_SOCKET_SENT),
                AllOf(SizeIs(Ge(3u)), Each(Le(CEventSocket::kSendChunkSize))));
    EXPECT_EQ(m_sink.Total(EVT_SOCKET_SENT), 20000u);
}

TEST_F(EventSocketTest, TimeOutsEndWaitsWithTheirCode) {
    char buffer[8];
    std::uint32_t count = 0;
    const struct {
        const char* operation;
        std::function<void()> run;
    } cases[] = {
        {"receive",
         [&] {
             LoopbackPeer peer;
             peer.Serve(WaitForClientClose);
             m_socket.Connect(Loopback(peer));
             m_socket.Receive(buffer, sizeof buffer, count);
         }},
        {"connect",
         [&] {
             FullListener listener;
             m_socket.Connect(listener.Address());
         }},
    };
    m_socket.SetTimeouts(100, 100, 100);
    for (const auto& c : cases) {
        ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
        EXPECT_EQ(CodeOf(c.run), ERR_SOCKET_TIMEOUT) << c.operation;
        EXPECT_FALSE(m_socket.IsOpen()) << c.operation;
    }
}

// A peer that never keeps the socket waiting still meets the deadline; a
// deadline lifted again lets the bytes through.
TEST_F(EventSocketTest, APassedDeadlineFailsEvenWithBytesWaiting) {
    LoopbackPeer peer;
    peer.Serve([](int connection) {
        SendAll(connection, "ready");
        WaitForClientClose(connection);
    });
    CreateAndConnect(peer);
    char buffer[5];
    std::uint32_t count = 0;
    ASSERT_EQ(m_socket.Receive(buffer, 1, count), 1u);
    ASSERT_TRUE(m_socket.HasPendingInput());
    m_socket.SetDeadline(CEventSocket::Clock::now());
    EXPECT_EQ(CodeOf([&] { m_socket.Receive(buffer, 1, count); }), ERR_SOCKET_TIMEOUT);
    EXPECT_FALSE(m_socket.IsOpen());

    LoopbackPeer second;
    second.Serve([](int connection) { SendAll(connection, "ready"); });
    m_socket.SetDeadline(CEventSocket::kNoDeadline);
    CreateAndConnect(second);
    EXPECT_EQ(m_socket.Receive(buffer, sizeof buffer, count), 5u);
}

TEST_F(EventSocketTest, LiteralAddressNeedsNoLookupButNamesDo) {
    DnsPeer dns;
    dns.AddHost("www.tarnwick.test", {"127.0.0.1"});
    dns.Start();
    LoopbackPeer first;
    first.Serve(WaitForClientClose);
    m_socket.SetDnsServers(dns.Servers());
    ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
    ASSERT_TRUE(m_socket.Connect({"www.tarnwick.test", first.Port()}));
    // One question for each family.
    EXPECT_EQ(dns.QueryCount(), 2);
    m_socket.Close();

    // A resolver that cannot even start proves the literal never reaches it.
    m_socket.SetDnsServers("no such server list");
    LoopbackPeer second;
    second.Serve(WaitForClientClose);
    ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
    EXPECT_TRUE(m_socket.Connect(Loopback(second)));
    EXPECT_EQ(m_socket.ResolveHost("127.1"), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(m_socket.ResolveHost("[0::1]"), std::vector<std::string>{"::1"});
    EXPECT_EQ(CodeOf([&] {
                  m_socket.Connect({"www.tarnwick.test", second.Port()});
              }),
              ERR_SOCKET_DNS);
    EXPECT_FALSE(m_socket.IsOpen());
}

TEST_F(EventSocketTest, SendingToAPeerThatHasGoneFailsWithoutASignal) {
    LoopbackPeer peer;
    peer.Serve([](int) {});
    CreateAndConnect(peer);
    peer.Join();
    const std::vector<char> big(32 * 1024 * 1024, 'x');
    std::uint32_t sent = 0;
    EXPECT_EQ(
        CodeOf([&] { m_socket.Send(big.data(), static_cast<std::uint32_t>(big.size()), sent); }),
        ERR_SOCKET_SEND);
    EXPECT_LT(sent, big.size());
    ExpectClosedOnce();
}

TEST_F(EventSocketTest, ConnectionRefusedIsAConnectFailure) {
    int port = 0;
    {
        LoopbackPeer gone;
        port = gone.Port();
    }
    ASSERT_TRUE(m_socket.Create(&m_sink, &m_stop));
    EXPECT_EQ(CodeOf([&] { m_socket.Connect({"127.0.0.1", port}); }), ERR_SOCKET_CONNECT);
    ExpectClosedOnce();
}

TEST_F(EventSocketTest, ClosingTwiceRaisesOneClosedEventAndCreateWorksAgain) {
    ASSERT_TRUE(m_socket.Create(&m_sink, nullptr));
    m_socket.Close();
    m_socket.Close();
    ExpectClosedOnce();
    LoopbackPeer peer;
    peer.Serve([](int connection) { SendAll(connection, "ok"); });
    ASSERT_TRUE(m_socket.Create(&m_sink, nullptr));
    ASSERT_TRUE(m_socket.Connect(Loopback(peer)));
    char reply[2];
    std::uint32_t received = 0;
    EXPECT_EQ(m_socket.Receive(reply, 2, received), 2u);
    EXPECT_EQ(m_sink.Count(EVT_SOCKET_CREATED), 2);
}

}  // namespace
