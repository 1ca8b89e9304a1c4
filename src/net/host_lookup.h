// Host-name lookups through c-ares that a stop request abandons at once.
#pragma once

#include <string>
#include <vector>

#include "base/errors.h"

class CHostLookup {
public:
    // servers: c-ares' "host:port,…" list; empty uses the system's resolver
    // configuration.
    explicit CHostLookup(std::string servers = {});

    // Asks for the AAAA and A records of name and stores its addresses,
    // printed without brackets, in the order to connect in: IPv6 first, then
    // the families in turn. Returns 0; ERR_SOCKET_LOCAL_CLOSED as soon as stopFd turns
    // readable (-1: nothing can stop the lookup); ERR_HOST_NOT_FOUND when
    // the name server says that the name has no address; ERR_SOCKET_DNS
    // when the lookup fails otherwise or cannot start; ERR_SOCKET_UNKNOWN
    // when waiting fails.
    ResultCode Resolve(const std::string& name, int stopFd,
                       std::vector<std::string>& addresses) const;

private:
    std::string m_servers;
};
