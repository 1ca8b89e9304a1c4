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

CSocketAddress::CSocketAddress(std::string host, std::int32_t port)
    : m_host(std::move(host)), m_port(port) {}

CSocketAddress::CSocketAddress(const sockaddr& address) {
    if (address.sa_family != AF_INET) {
        return;
    }
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, &address, sizeof ipv4);
    m_host = FormatDottedAddress(ipv4.sin_addr);
    m_port = ntohs(ipv4.sin_port);
}

void CSocketAddress::Clear() {
    m_host.clear();
    m_port = 0;
}

bool CSocketAddress::IsNumeric() const {
    in_addr ignored{};
    return ParseDottedAddress(m_host, ignored);
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
