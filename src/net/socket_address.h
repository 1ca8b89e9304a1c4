// A host (dotted IPv4 address, IPv6 address or host name) and a port.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

class CSocketAddress {
public:
    CSocketAddress() = default;
    CSocketAddress(std::string host, std::int32_t port);
    // Takes the address, dotted or IPv6 without brackets, and the port of an
    // IPv4 or IPv6 address; any other family gives the empty address.
    explicit CSocketAddress(const sockaddr& address);

    void Clear();

    const std::string& GetHost() const { return m_host; }
    std::int32_t GetPort() const { return m_port; }

    // True when the host is a literal IPv4 or IPv6 address (bracketed as in
    // a URL or not) and needs no lookup.
    bool IsNumeric() const;
    // Fills out with the IPv4 address and the port in network order; false
    // (out untouched) when the host is not a literal IPv4 address.
    bool ToSockAddr(sockaddr_in& out) const;
    // The same for either family; length is the size of the filled address.
    bool ToSockAddr(sockaddr_storage& out, socklen_t& length) const;

    // Connection reuse: host names compare without regard to case.
    bool operator==(const CSocketAddress& other) const;

private:
    std::string m_host;
    std::int32_t m_port = 0;
};

// Parses a literal IPv4 address in any form that inet_aton accepts ("127.1"
// included, as browsers do) and prints it in normalised dotted form. False
// for a host name or for text with trailing characters.
bool ParseDottedAddress(const std::string& text, in_addr& out);
std::string FormatDottedAddress(const in_addr& address);
// An IPv6 address, bare or in a URL's brackets, and its shortest printed form.
bool ParseIpv6Address(std::string_view text, in6_addr& out);
std::string FormatIpv6Address(const in6_addr& address);
