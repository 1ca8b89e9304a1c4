#include "net/host_lookup.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/dns_peer.h"

namespace {

using testing_support::DnsPeer;

// A stop signal the lookup can poll, independent of the platform layer.
class StopFd {
public:
    StopFd() : m_fd(::eventfd(0, EFD_CLOEXEC)) {}
    ~StopFd() { ::close(m_fd); }
    StopFd(const StopFd&) = delete;
    StopFd& operator=(const StopFd&) = delete;
    void Set() const {
        const std::uint64_t one = 1;
        ASSERT_EQ(::write(m_fd, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

void WaitForQuery(const DnsPeer& peer) {
    for (int i = 0; i < 1000 && peer.QueryCount() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class HostLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_peer.AddHost("www.tarnwick.test", {"10.1.2.3"});
        m_peer.AddHost("multi.tarnwick.test", {"10.0.0.7", "10.0.0.8", "10.0.0.9"});
        m_peer.AddHost("dual.tarnwick.test", {"10.0.0.1", "10.0.0.2", "2001:db8::1"});
        m_peer.AddHost("six.tarnwick.test", {"2001:DB8:0::7"});
        m_peer.AddSilentHost("silent.tarnwick.test");
        m_peer.AddFailingHost("broken.tarnwick.test");
        m_peer.Start();
    }

    DnsPeer m_peer;
};

// Both families are asked for, and the IPv6 addresses lead, taking turns
// with the IPv4 ones.
TEST_F(HostLookupTest, AnswersComeFromTheConfiguredServer) {
    using Addresses = std::vector<std::string>;
    struct Case {
        const char* name;
        ResultCode code;
        Addresses addresses;
    };
    const Addresses unchanged = {"unchanged"};
    const Case cases[] = {
        {"www.tarnwick.test", ERR_SUCCESS, {"10.1.2.3"}},
        {"WWW.Tarnwick.TEST", ERR_SUCCESS, {"10.1.2.3"}},
        {"multi.tarnwick.test", ERR_SUCCESS, {"10.0.0.7", "10.0.0.8", "10.0.0.9"}},
        {"dual.tarnwick.test", ERR_SUCCESS, {"2001:db8::1", "10.0.0.1", "10.0.0.2"}},
        {"six.tarnwick.test", ERR_SUCCESS, {"2001:db8::7"}},
        // A name that does not exist stays so; a failing server may recover.
        {"missing.tarnwick.test", ERR_HOST_NOT_FOUND, unchanged},
        {"broken.tarnwick.test", ERR_SOCKET_DNS, unchanged},
    };
    const CHostLookup lookup(m_peer.Servers());
    for (const Case& c : cases) {
        Addresses addresses = unchanged;
        EXPECT_EQ(lookup.Resolve(c.name, -1, addresses), c.code) << c.name;
        EXPECT_EQ(addresses, c.addresses) << c.name;
    }
    EXPECT_GE(m_peer.QueryCount(), 7);
}

TEST_F(HostLookupTest, StopAbandonsALookupThatIsNeverAnswered) {
    const CHostLookup lookup(m_peer.Servers());
    StopFd stop;
    std::thread stopper([&] {
        WaitForQuery(m_peer);
        stop.Set();
    });
    std::vector<std::string> addresses;
    EXPECT_EQ(lookup.Resolve("silent.tarnwick.test", stop.Get(), addresses),
              ERR_SOCKET_LOCAL_CLOSED);
    stopper.join();
    EXPECT_EQ(m_peer.QueriedNames().front(), "silent.tarnwick.test");
    EXPECT_TRUE(addresses.empty());
}

TEST_F(HostLookupTest, StopAlreadySetEndsTheLookup) {
    const CHostLookup lookup(m_peer.Servers());
    StopFd stop;
    stop.Set();
    std::vector<std::string> addresses;
    EXPECT_EQ(lookup.Resolve("silent.tarnwick.test", stop.Get(), addresses),
              ERR_SOCKET_LOCAL_CLOSED);
}

TEST(HostLookup, UnusableServerListIsADnsFailure) {
    const CHostLookup lookup("not a server list");
    std::vector<std::string> addresses;
    EXPECT_EQ(lookup.Resolve("www.tarnwick.test", -1, addresses), ERR_SOCKET_DNS);
}

}  // namespace
