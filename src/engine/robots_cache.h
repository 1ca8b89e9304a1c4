// The robots.txt of every server that a crawl meets, fetched once, before
// the first request to that server, by the worker that gets there first;
// the others wait for its answer. A file that a 4xx refuses allows
// everything; a 5xx is tried again like any 5xx until the attempts run out,
// and the server is then out of bounds. A server that cannot be reached is
// asked again for each URL, whose failure says so.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/errors.h"
#include "protocol/robots_rules.h"

class CRobotsCache {
public:
    struct Fetched {
        // The request's result: 0 with a body, or its failure.
        ResultCode result = ERR_SUCCESS;
        std::string body;
    };
    using Fetcher = std::function<Fetched()>;

    // The server's rules into rules, fetching them with fetch when they are
    // not known yet; 0, or the fetch's failure while the server is retried.
    // The attempts-th failure disallows the server.
    ResultCode GetRules(const std::string& server, const Fetcher& fetch, int attempts,
                        CRobotsRules& rules);
    void Clear();

private:
    struct Server {
        std::mutex fetching;
        bool known = false;
        CRobotsRules rules;
        int failures = 0;
    };

    Server& Find(const std::string& server);
    static bool IsServerFailure(ResultCode result);
    static bool IsUnreachable(ResultCode result);

    std::mutex m_lock;
    std::unordered_map<std::string, std::unique_ptr<Server>> m_servers;
};
