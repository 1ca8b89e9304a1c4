#include "net/socket_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(SocketAddress, LiteralAddressesAreRecognisedAndNormalised) {
    struct Case {
        const char* host;
        bool numeric;
        const char* normalised;
    };
    const Case cases[] = {
        {"127.0.0.1", true, "127.0.0.1"},
        {"127.1", true, "127.0.0.1"},
        {"10.0.258", true, "10.0.1.2"},
        {"0x7f.0.0.1", true, "127.0.0.1"},
        {"192.168.1.1 evil", false, ""},
        {"192.168.1.1\t", false, ""},
        {"256.0.0.1", false, ""},
        {"www.example.com", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        const CSocketAddress address(c.host, 80);
        EXPECT_EQ(address.IsNumeric(), c.numeric) << c.host;
        sockaddr_in out{};
        out.sin_port = 4242;
        ASSERT_EQ(address.ToSockAddr(out), c.numeric) << c.host;
        if (c.numeric) {
            EXPECT_EQ(out.sin_family, AF_INET);
            EXPECT_EQ(out.sin_port, htons(80));
            EXPECT_EQ(CSocketAddress(reinterpret_cast<const sockaddr&>(out)).GetHost(),
                      c.normalised);
        } else {
            EXPECT_EQ(out.sin_port, 4242) << "left untouched";
        }
    }
}

// A proxy or a URL may name an IPv6 address, bracketed or not; it connects
// without a lookup and reads back from the socket in its shortest form.
TEST(SocketAddress, Ipv6LiteralsAreNumericInEitherSpelling) {
    const std::pair<const char*, const char*> cases[] = {
        {"::1", "::1"},
        {"[::1]", "::1"},
        {"[2001:DB8:0:0::5]", "2001:db8::5"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
    };
    for (const auto& [host, normalised] : cases) {
        const CSocketAddress address(host, 3128);
        EXPECT_TRUE(address.IsNumeric()) << host;
        sockaddr_storage out{};
        socklen_t length = 0;
        ASSERT_TRUE(address.ToSockAddr(out, length)) << host;
        EXPECT_EQ(out.ss_family, AF_INET6);
        EXPECT_EQ(length, sizeof(sockaddr_in6));
        const CSocketAddress back(reinterpret_cast<const sockaddr&>(out));
        EXPECT_EQ(back, CSocketAddress(normalised, 3128)) << host;
    }
    sockaddr_storage out{};
    socklen_t length = 0;
    for (const char* host : {"[::1", "::1]", "[::g]", "[]", "www.example.com"}) {
        EXPECT_FALSE(CSocketAddress(host, 80).IsNumeric()) << host;
        EXPECT_FALSE(CSocketAddress(host, 80).ToSockAddr(out, length)) << host;
    }
}

TEST(SocketAddress, FromSockAddrTakesIpv4AndIgnoresOtherFamilies) {
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(8443);
    ::inet_pton(AF_INET, "192.0.2.5", &ipv4.sin_addr);
    const CSocketAddress fromIpv4(reinterpret_cast<const sockaddr&>(ipv4));
    EXPECT_EQ(fromIpv4.GetHost(), "192.0.2.5");
    EXPECT_EQ(fromIpv4.GetPort(), 8443);

    sockaddr other{};
    other.sa_family = AF_UNIX;
    const CSocketAddress fromOther(other);
    EXPECT_EQ(fromOther.GetHost(), "");
    EXPECT_EQ(fromOther.GetPort(), 0);
}

TEST(SocketAddress, ComparisonIgnoresCaseOfTheHostOnly) {
    EXPECT_EQ(CSocketAddress("Example.COM", 80), CSocketAddress("example.com", 80));
    EXPECT_FALSE(CSocketAddress("example.com", 80) == CSocketAddress("example.com", 8080));
    EXPECT_FALSE(CSocketAddress("example.com", 80) == CSocketAddress("example.co", 80));
    CSocketAddress cleared("example.com", 80);
    cleared.Clear();
    EXPECT_EQ(cleared, CSocketAddress());
}

}  // namespace
