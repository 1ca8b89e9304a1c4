#include "protocol/auth_challenge.h"

#include <gtest/gtest.h>

#include <optional>
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
        // The scheme is known even when the realm is missing or empty.
        {"Basic", false, AUTH_SCHEME_BASIC, ""},
        {"Basic charset=\"UTF-8\"", false, AUTH_SCHEME_BASIC, ""},
        {"Digest realm=\"\"", false, AUTH_SCHEME_DIGEST, ""},
        // List elements may be surrounded by blanks and empty ones.
        {" ,\tBasic  realm = \"x\" ,", true, AUTH_SCHEME_BASIC, "x"},
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
        ParseChallenge("Digest realm=\"testrealm@host.com\", domain=/dir, "
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
    EXPECT_EQ(challenge.qop, "auth,auth-int");
}

// Several challenges in one value: the password goes out in clear only when
// the server offers nothing stronger that the client can answer.
TEST(AuthChallengeTest, KeepsTheStrongestChallengeItCanAnswer) {
    struct Case {
        const char* value;
        AuthScheme scheme;
        const char* realm;
        const char* nonce;
        const char* algorithm;
    };
    const Case cases[] = {
        {"Basic realm=\"a\", Digest realm=\"a\", nonce=\"n\", qop=\"auth\"", AUTH_SCHEME_DIGEST,
         "a", "n", ""},
        {"Digest realm=\"d\", nonce=\"n\", Basic realm=\"b\"", AUTH_SCHEME_DIGEST, "d", "n", ""},
        {"Digest realm=\"x\", nonce=\"1\", algorithm=MD5, "
         "Digest realm=\"x\", nonce=\"2\", algorithm=SHA-256",
         AUTH_SCHEME_DIGEST, "x", "2", "SHA-256"},
        {"Digest realm=\"x\", nonce=\"3\", algorithm=sha-512-256-SESS, "
         "Digest realm=\"x\", nonce=\"2\", algorithm=SHA-256",
         AUTH_SCHEME_DIGEST, "x", "3", "sha-512-256-SESS"},
        // A Digest the client cannot compute leaves Basic, or nothing.
        {"Digest realm=\"x\", nonce=\"1\", algorithm=SHA-1024, Basic realm=\"b\"",
         AUTH_SCHEME_BASIC, "b", "", ""},
        {"Digest realm=\"x\", nonce=\"1\", qop=\"auth-conf\"", AUTH_SCHEME_UNKNOWN, "", "", ""},
        // RFC 9110's own example: an unknown scheme with a quoted comma first.
        {"Newauth realm=\"apps\", type=1, title=\"Login to \\\"apps\\\", please\", "
         "Basic realm=\"simple\"",
         AUTH_SCHEME_BASIC, "simple", "", ""},
        // token68 credentials, "=" padding included, are no parameters.
        {"Negotiate abc==, Basic realm=\"r\"", AUTH_SCHEME_BASIC, "r", "", ""},
        {"Bearer, Digest realm=\"a, b\", nonce=\"q\\\"t\"", AUTH_SCHEME_DIGEST, "a, b", "q\"t", ""},
        // Rubbish between elements is skipped up to the next comma.
        {"Basic realm=\"a\" junk \"x,y\", Digest realm=\"d\", nonce=n", AUTH_SCHEME_DIGEST, "d",
         "n", ""},
    };
    for (const Case& c : cases) {
        CAuthChallenge challenge;
        ParseChallenge(c.value, challenge);
        EXPECT_EQ(challenge.scheme, c.scheme) << c.value;
        EXPECT_EQ(challenge.realm, c.realm) << c.value;
        EXPECT_EQ(challenge.nonce, c.nonce) << c.value;
        EXPECT_EQ(challenge.algorithm, c.algorithm) << c.value;
    }
}

TEST(AuthChallengeTest, ChoosesTheQopToAnswer) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"", ""},
        {"auth", "auth"},
        {"auth-int, AUTH", "auth"},
        {"auth-int", "auth-int"},
        {" , ", ""},
        {"auth-conf", std::nullopt},
    };
    for (const auto& [offered, chosen] : cases) {
        EXPECT_EQ(ChooseQop(offered), chosen) << offered;
    }
}

}  // namespace
