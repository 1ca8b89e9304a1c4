#include "net/socket_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "base/ascii.h"

bool ParseDottedAddress(const std::string& text, in_addr& out) {
    // inet_aton stops at the first white space and accepts what came before,
    // so "1.2.3.4 evil" would pass as an address without this check.
    const bool hasSpace = std::any_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isspace(c) != 0 || c == '\0';
    });
    return !text.empty() && !hasSpace && ::inet_aton(text.c_str(), &out) != 0;
}

std::string FormatDottedAddress(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool ParseIpv6Address(std::string_view text, in6_addr& out) {
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    return ::inet_pton(AF_INET6, std::string(text).c_str(), &out) == 1;
}

std::string FormatIpv6Address(const in6_addr& address) {
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &address, text, sizeof text);
    return text;
}

CSocketAddress::CSocketAddress(std::string host, std::int32_t port)
    : m_host(std::move(host)), m_port(port) {}

CSocketAddress::CSocketAddress(const sockaddr& address) {
    if (address.sa_family == AF_INET) {
        sockaddr_in ipv4{};
        std::memcpy(&ipv4, &address, sizeof ipv4);
        m_host = FormatDottedAddress(ipv4.sin_addr);
        m_port = ntohs(ipv4.sin_port);
    } else if (address.sa_family == AF_INET6) {
        sockaddr_in6 ipv6{};
        std::memcpy(&ipv6, &address, sizeof ipv6);
        m_host = FormatIpv6Address(ipv6.sin6_addr);
        m_port = ntohs(ipv6.sin6_port);
    }
}

void CSocketAddress::Clear() {
    m_host.clear();
    m_port = 0;
}

bool CSocketAddress::IsNumeric() const {
    in_addr ignored{};
    in6_addr ignoredIpv6{};
    return ParseDottedAddress(m_host, ignored) || ParseIpv6Address(m_host, ignoredIpv6);
}

bool CSocketAddress::ToSockAddr(sockaddr_storage& out, socklen_t& length) const {
    out = sockaddr_storage{};
    sockaddr_in ipv4{};
    in6_addr ipv6{};
    if (ToSockAddr(ipv4)) {
        std::memcpy(&out, &ipv4, sizeof ipv4);
        length = sizeof ipv4;
        return true;
    }
    if (!ParseIpv6Address(m_host, ipv6)) {
        return false;
    }
    sockaddr_in6 full{};
    full.sin6_family = AF_INET6;
    full.sin6_port = htons(static_cast<std::uint16_t>(m_port));
    full.sin6_addr = ipv6;
    std::memcpy(&out, &full, sizeof full);
    length = sizeof full;
    return true;
}

bool CSocketAddress::ToSockAddr(sockaddr_in& out) const {
    in_addr parsed{};
    if (!ParseDottedAddress(m_host, parsed)) {
        return false;
    }
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<std::uint16_t>(m_port));
    out.sin_addr = parsed;
    return true;
}

bool CSocketAddress::operator==(const CSocketAddress& other) const {
    return m_port == other.m_port && EqualsIgnoreCase(m_host, other.m_host);
}
