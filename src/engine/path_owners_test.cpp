#include "engine/path_owners.h"

#include <gtest/gtest.h>

#include "support/parsed_url.h"

namespace {

using testing_support::ParsedUrl;

struct ClaimCase {
    const char* owner;  // the URL that first took /dl/f
    const char* listed;
    const char* fetched;  // empty: the listed URL itself
    bool granted;
};

// Two URLs share a file only when they name one resource.
const ClaimCase kClaimCases[] = {
    {"http://h/a.html", "http://h/a.html", "", true},
    {"http://h", "http://h/", "", true},
    {"http://h/a.html", "http://H:80/a.html", "", true},
    {"http://h/a.html?q=1", "http://h/a.html?q=1", "", true},
    // A URL redirected to the owner fetches the owner's body.
    {"http://h/dir/", "http://h/dir", "http://h/dir/", true},
    {"http://h/", "http://h/.page-ABCDEF", "", false},
    {"http://h/a/b.html", "http://h/a%2Fb.html", "", false},
    {"http://h/a/b.html", "http://h/a%5Cb.html", "", false},
    {"http://h/x.html?q=1", "http://h/x08e7097d08.html", "", false},
    {"http://h/page.php", "http://h/page.php.htm", "", false},
    {"http://h/a.html", "https://h/a.html", "", false},
    {"http://h/a.html", "http://h:8080/a.html", "", false},
};

TEST(PathOwnersTest, AFileIsSharedOnlyByUrlsOfOneResource) {
    for (const ClaimCase& c : kClaimCases) {
        SCOPED_TRACE(std::string(c.owner) + " then " + c.listed);
        const CUrl listed = ParsedUrl(c.listed);
        const CUrl fetched = *c.fetched != '\0' ? ParsedUrl(c.fetched) : listed;
        const CUrl owner = ParsedUrl(c.owner);
        // Whether the owner saved the file in an earlier run or in this one.
        CPathOwners earlier;
        earlier.Add("/dl/f", owner);
        EXPECT_EQ(earlier.Claim("/dl/f", listed, fetched), c.granted);
        CPathOwners thisRun;
        ASSERT_TRUE(thisRun.Claim("/dl/f", owner, owner));
        EXPECT_EQ(thisRun.Claim("/dl/f", listed, fetched), c.granted);
        EXPECT_TRUE(thisRun.Claim("/dl/other", listed, fetched));
    }
}

TEST(PathOwnersTest, ARedirectMakesBothUrlsOwners) {
    CPathOwners owners;
    ASSERT_TRUE(owners.Claim("/dl/d/index.htm", ParsedUrl("http://h/d"), ParsedUrl("http://h/d/")));
    EXPECT_TRUE(
        owners.Claim("/dl/d/index.htm", ParsedUrl("http://h/d/"), ParsedUrl("http://h/d/")));
    EXPECT_TRUE(owners.Claim("/dl/d/index.htm", ParsedUrl("http://h/d"), ParsedUrl("http://h/d")));
    EXPECT_FALSE(owners.Claim("/dl/d/index.htm", ParsedUrl("http://h/e"), ParsedUrl("http://h/e")));
}

}  // namespace
