#include "protocol/protection_spaces.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

CUrl Parsed(const std::string& text) {
    CUrl url;
    EXPECT_TRUE(url.Parse(text)) << text;
    return url;
}

CAuthChallenge Challenge(const std::string& realm, const std::string& nonce) {
    CAuthChallenge challenge;
    challenge.scheme = AUTH_SCHEME_DIGEST;
    challenge.realm = realm;
    challenge.nonce = nonce;
    return challenge;
}

TEST(ProtectionSpacesTest, HoldsThePathsBelowTheChallengedFolderOnItsServer) {
    CProtectionSpaces spaces;
    spaces.Accept(Parsed("http://Site.test/docs/guide/intro.html"), Challenge("r", "n"), 1);
    spaces.Accept(Parsed("http://site.test:8080/x"), Challenge("port", "p"), 1);
    const std::pair<const char*, const char*> cases[] = {
        {"http://site.test/docs/guide/intro.html", "r"},
        {"http://SITE.test:80/docs/guide/", "r"},
        {"http://site.test/docs/guide/deeper/page?q=1", "r"},
        {"http://site.test/docs/", ""},
        {"http://site.test/docs/guidebook/", ""},
        {"http://site.test/docs/Guide/intro.html", ""},
        {"https://site.test/docs/guide/intro.html", ""},
        {"http://other.test/docs/guide/intro.html", ""},
        {"http://site.test:8080/anything", "port"},
        {"http://site.test:8080", "port"},
    };
    for (const auto& [url, realm] : cases) {
        const auto match = spaces.Find(Parsed(url));
        EXPECT_EQ(match ? match->challenge.realm : "", realm) << url;
    }
    // The deepest space answers; a realm's new nonce serves all its folders
    // and counts from where the accepted answer left it.
    spaces.Accept(Parsed("http://site.test/docs/guide/inner/x"), Challenge("inner", "i"), 1);
    spaces.Accept(Parsed("http://site.test/docs/other/y"), Challenge("r", "n2"), 4);
    EXPECT_EQ(spaces.Find(Parsed("http://site.test/docs/guide/inner/z"))->challenge.realm, "inner");
    const auto renewed = spaces.Find(Parsed("http://site.test/docs/guide/z"));
    EXPECT_EQ(renewed->challenge.nonce, "n2");
    EXPECT_EQ(renewed->nonceCount, 5u);
}

// Workers take counts of one nonce at once: no two requests may send the same.
TEST(ProtectionSpacesTest, ConcurrentRequestsNeverShareANonceCount) {
    CProtectionSpaces spaces;
    const CUrl url = Parsed("http://h/dir/page");
    spaces.Accept(url, Challenge("r", "n"), 1);
    constexpr int kThreads = 4;
    constexpr int kRequests = 500;
    std::vector<std::vector<std::uint32_t>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRequests; ++i) {
                taken[t].push_back(i % 2 == 0 ? spaces.Find(url)->nonceCount
                                              : spaces.NextNonceCount(url, "n"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::uint32_t> counts;
    for (const auto& list : taken) {
        counts.insert(list.begin(), list.end());
    }
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(kThreads * kRequests));
    EXPECT_EQ(*counts.begin(), 2u);
}

}  // namespace
