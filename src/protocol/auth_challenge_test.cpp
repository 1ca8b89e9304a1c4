#include "protocol/auth_challenge.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AuthChallengeTest, ReadsSchemeAndRealm) {
    struct Case {
        const char* value;
        bool found;
        AuthScheme scheme;
        const char* realm;
    };
    const Case cases[] = {
        {"Basic realm=\"x\"", true, AUTH_SCHEME_BASIC, "x"},
        {"BASIC realm=x", true, AUTH_SCHEME_BASIC, "x"},
        {"digest realm=\"a b\", qop=auth", true, AUTH_SCHEME_DIGEST, "a b"},
        {"Negotiate", false, AUTH_SCHEME_UNKNOWN, ""},
        {"Negotiate realm=\"x\"", false, AUTH_SCHEME_UNKNOWN, ""},
        {"", false, AUTH_SCHEME_UNKNOWN, ""},
        {"Basic", false, AUTH_SCHEME_UNKNOWN, ""},
        {" Basic realm=x", false, AUTH_SCHEME_UNKNOWN, ""},
        // The scheme is known even when the realm is missing or empty.
        {"Basic charset=\"UTF-8\"", false, AUTH_SCHEME_BASIC, ""},
        {"Digest realm=\"\"", false, AUTH_SCHEME_DIGEST, ""},
        // The tab is not the separator after the scheme.
        {"Basic\trealm=x", false, AUTH_SCHEME_UNKNOWN, ""},
    };
    for (const Case& c : cases) {
        CAuthChallenge challenge;
        challenge.nonce = "stale value";
        EXPECT_EQ(ParseChallenge(c.value, challenge), c.found) << c.value;
        EXPECT_EQ(challenge.scheme, c.scheme) << c.value;
        EXPECT_EQ(challenge.realm, c.realm) << c.value;
        EXPECT_EQ(challenge.nonce, "") << c.value;
    }
}

TEST(AuthChallengeTest, ReadsEveryDigestParameter) {
    CAuthChallenge challenge;
    ASSERT_TRUE(
        ParseChallenge("Digest realm=\"testrealm@host.com\", domain=\"/dir\", "
                       "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                       "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", "
                       "stale=FALSE, algorithm=MD5-sess, qop=\"auth,auth-int\"",
                       challenge));
    EXPECT_EQ(challenge.realm, "testrealm@host.com");
    EXPECT_EQ(challenge.domain, "/dir");
    EXPECT_EQ(challenge.nonce, "dcd98b7102dd2f0e8b11d0f600bfb0c093");
    EXPECT_EQ(challenge.opaque, "5ccc069c403ebaf9f0171e9517f40e41");
    EXPECT_EQ(challenge.stale, "FALSE");
    EXPECT_EQ(challenge.algorithm, "MD5-sess");
    // The comma inside the quotes cuts the list; its opening quote goes.
    EXPECT_EQ(challenge.qop, "auth");
}

TEST(AuthChallengeTest, SplitsParametersExactly) {
    struct Case {
        const char* text;
        AuthParams expected;
    };
    const Case cases[] = {
        {"a=1,b=2", {{"a", "1"}, {"b", "2"}}},
        {" A =  \"x y\"  , B=\"\"", {{"a", "x y"}, {"b", ""}}},
        // Later names replace earlier ones; pieces without a name are dropped.
        {"a=1,a=2", {{"a", "2"}}},
        {"=x,novalue,,c=3", {{"c", "3"}}},
        // Only the first "=" splits; quotes and spaces go only at the ends.
        {"a=b=c", {{"a", "b=c"}}},
        {"a=\"x\"y\"", {{"a", "x\"y"}}},
        // Tabs are trimmed from names but stay around values.
        {"\ta\t=\tv\t", {{"a", "\tv\t"}}},
        {"q=\"auth,auth-int\"", {{"q", "auth"}}},
        // A piece made only of blanks before "=" still has "=" past its start.
        {" =x", {{"", "x"}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        AuthParams params{{"left", "over"}};
        ParseAuthParams(c.text, ',', params);
        EXPECT_EQ(params, c.expected) << c.text;
    }
}

TEST(AuthChallengeTest, SplitsAtTheGivenSeparator) {
    AuthParams params;
    ParseAuthParams("a=1;b=2,3", ';', params);
    EXPECT_EQ(params, (AuthParams{{"a", "1"}, {"b", "2,3"}}));
}

}  // namespace
