#include "engine/robots_cache.h"

#include "engine/program_options.h"

ResultCode CRobotsCache::GetRules(const std::string& server, const Fetcher& fetch, int attempts,
                                  CRobotsRules& rules) {
    Server& entry = Find(server);
    std::scoped_lock lock(entry.fetching);
    if (!entry.known) {
        const Fetched fetched = fetch();
        if (fetched.result == ERR_SUCCESS) {
            entry.rules = CRobotsRules::Parse(fetched.body, CProgramOptions::kRobotsProductToken);
        } else if (IsServerFailure(fetched.result)) {
            if (++entry.failures < attempts) {
                return fetched.result;
            }
            entry.rules = CRobotsRules::DisallowAll();
        } else if (IsUnreachable(fetched.result)) {
            // No request reaches such a server either, and its URLs say
            // why better than a refusal would; a stop is nobody's failure.
            return fetched.result;
        }
        entry.known = true;
    }
    rules = entry.rules;
    return ERR_SUCCESS;
}

// A 4xx, a redirect to another scheme or in a loop, leaves no robots.txt
// that could forbid anything; a server that could not be reached is
// reported as such. Everything else is a server that answered with a
// failure of its own.
bool CRobotsCache::IsServerFailure(ResultCode result) {
    return result != ERR_HTTP_CLIENT_ERROR && result != ERR_HTTP_REDIRECT_PROTOCOL &&
           result != ERR_HTTP_REDIRECT_LOOP && !IsUnreachable(result);
}

bool CRobotsCache::IsUnreachable(ResultCode result) {
    return (result >= ERR_SOCKET_CREATE && result <= ERR_SOCKET_UNKNOWN) ||
           (result >= ERR_SSL_CONNECT && result <= ERR_SSL_VERIFY) || result == ERR_HOST_NOT_FOUND;
}

CRobotsCache::Server& CRobotsCache::Find(const std::string& server) {
    std::scoped_lock lock(m_lock);
    std::unique_ptr<Server>& entry = m_servers[server];
    if (!entry) {
        entry = std::make_unique<Server>();
    }
    return *entry;
}

void CRobotsCache::Clear() {
    std::scoped_lock lock(m_lock);
    m_servers.clear();
}
