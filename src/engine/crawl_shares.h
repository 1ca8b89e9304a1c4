// What the workers of one crawl share besides the download list: each
// server's robots.txt and pauses, the bandwidth, and the cookies.
#pragma once

#include "engine/host_pacer.h"
#include "engine/rate_limiter.h"
#include "engine/robots_cache.h"
#include "protocol/cookie_jar.h"

struct CCrawlShares {
    CRobotsCache robots;
    CHostPacer pacer;
    CRateLimiter rate;
    CCookieJar cookies;
};
