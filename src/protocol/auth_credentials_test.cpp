#include "protocol/auth_credentials.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/base64.h"
#include "protocol/http_headers.h"
#include "protocol/md5.h"

namespace {

// The worked example of RFC 2617, section 3.5.
constexpr const char* kUser = "Mufasa";
constexpr const char* kPassword = "Circle Of Life";
constexpr const char* kRealm = "testrealm@host.com";
constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
constexpr const char* kOpaque = "5ccc069c403ebaf9f0171e9517f40e41";
constexpr const char* kUri = "/dir/index.html";
constexpr const char* kHA1 = "939e7578ed9e3c518a452acee763bce9";

CAuthChallenge DigestChallenge(const std::string& algorithm, const std::string& opaque) {
    CAuthChallenge challenge;
    challenge.scheme = AUTH_SCHEME_DIGEST;
    challenge.realm = kRealm;
    challenge.nonce = kNonce;
    challenge.opaque = opaque;
    challenge.algorithm = algorithm;
    return challenge;
}

TEST(Md5Test, MatchesTheRfc1321Suite) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, hex] : cases) {
        EXPECT_EQ(CMd5::HexOf(text), hex) << text;
        // The same bytes given piece by piece, after a reused object's Init.
        CMd5 md5;
        md5.Update("garbage");
        md5.Init();
        for (char c : text) {
            md5.Update(&c, 1);
        }
        EXPECT_EQ(CMd5::ToHex(md5.Final()), hex) << text;
    }
}

TEST(Base64Test, MatchesTheRfc4648Vectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(EncodeBase64(text), encoded) << text;
    }
    // Long input stays on one line.
    EXPECT_EQ(EncodeBase64(std::string(120, 'a')).find('\n'), std::string::npos);
    EXPECT_EQ(EncodeBase64(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(DigestTest, ReproducesTheRfcExamples) {
    struct Case {
        const char* algorithm;
        const char* realm;
        const char* password;
        const char* nonce;
        const char* cnonce;
        const char* response;
    };
    const Case cases[] = {
        // RFC 2617, section 3.5.
        {"MD5", kRealm, kPassword, kNonce, "0a4f113b", "6629fae49393a05397450978507c4ef1"},
        // RFC 7616, section 3.9.1, with MD5 and with SHA-256.
        {"MD5", "http-auth@example.org", "Circle of Life",
         "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v",
         "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", "8ca523f5e9506fed4657c9700eebdbec"},
        {"SHA-256", "http-auth@example.org", "Circle of Life",
         "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v",
         "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ",
         "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"},
    };
    for (const Case& c : cases) {
        const std::string ha1 = DigestHA1(c.algorithm, kUser, c.realm, c.password, c.nonce, "");
        EXPECT_EQ(DigestResponse(c.algorithm, ha1, c.nonce, "00000001", c.cnonce, "auth", "GET",
                                 kUri, ""),
                  c.response)
            << c.algorithm << " " << c.realm;
    }
}

TEST(DigestTest, CoversSessionAndQopVariants) {
    // -sess hashes the hex of H(user:realm:password) with the nonces.
    EXPECT_EQ(DigestHA1("MD5-Sess", kUser, kRealm, kPassword, kNonce, "0a4f113b"),
              "5edb191b66dce1584c16cb7e7346fcee");
    // Without qop the older RFC 2069 form leaves out nc, cnonce and qop.
    EXPECT_EQ(DigestResponse("MD5", kHA1, kNonce, "00000001", "0a4f113b", "", "GET", kUri, ""),
              "670fd8c2df070c60b045671b8b24ff02");
    // auth-int appends the entity hash to A2.
    EXPECT_EQ(
        DigestResponse("MD5", kHA1, "n", "00000001", "c", "auth-int", "GET", "/x", CMd5::HexOf("")),
        "e20fb86483f778069c407890ad073aef");
}

TEST(DigestTest, AnswersWithTheOfferedQopAFreshClientNonceAndTheCount) {
    struct Case {
        const char* qop;
        std::uint32_t count;
        const char* sentQop;
        const char* nc;
    };
    const Case cases[] = {
        {"auth,auth-int", 1, "auth", "00000001"},
        {"auth-int", 0x1a, "auth-int", "0000001a"},
        {"", 7, "", ""},
    };
    for (const Case& c : cases) {
        CAuthChallenge challenge = DigestChallenge("", kOpaque);
        challenge.qop = c.qop;
        CAuthCredentials first;
        CAuthCredentials second;
        BuildCredentials(challenge, METHOD_HEAD, kUri, kUser, kPassword, c.count, first);
        BuildCredentials(challenge, METHOD_HEAD, kUri, kUser, kPassword, c.count, second);
        EXPECT_EQ(first.scheme, AUTH_SCHEME_DIGEST);
        EXPECT_EQ(first.algorithm, "md5");
        EXPECT_EQ(first.qop, c.sentQop) << c.qop;
        EXPECT_EQ(first.nc, c.nc) << c.qop;
        EXPECT_EQ(first.uri, kUri);
        if (*c.sentQop == '\0') {
            EXPECT_EQ(first.cnonce, "");
            // RFC 2069: MD5(HA1:nonce:HA2), HA2 being MD5("HEAD:" uri).
            EXPECT_EQ(first.response, CMd5::HexOf(std::string(kHA1) + ":" + kNonce + ":" +
                                                  CMd5::HexOf(std::string("HEAD:") + kUri)));
        } else {
            EXPECT_EQ(first.cnonce.size(), 16u);
            EXPECT_EQ(first.cnonce.find_first_not_of("0123456789abcdef"), std::string::npos);
            EXPECT_NE(first.cnonce, second.cnonce);
        }
    }
    // A challenge the client cannot compute gets no answer.
    CAuthCredentials none;
    BuildCredentials(DigestChallenge("SHA-1024", ""), METHOD_GET, kUri, kUser, kPassword, 1, none);
    EXPECT_EQ(none.scheme, AUTH_SCHEME_UNKNOWN);
    EXPECT_EQ(FormatCredentials(none), "");
}

TEST(DigestTest, FormatsOneLine) {
    CAuthCredentials credentials;
    credentials.scheme = AUTH_SCHEME_DIGEST;
    credentials.userName = kUser;
    credentials.realm = kRealm;
    credentials.nonce = kNonce;
    credentials.uri = kUri;
    credentials.algorithm = "MD5";
    credentials.response = "6629fae49393a05397450978507c4ef1";
    credentials.opaque = kOpaque;
    EXPECT_EQ(FormatCredentials(credentials),
              "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
              "algorithm=MD5, response=\"6629fae49393a05397450978507c4ef1\", "
              "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    credentials.qop = "auth";
    credentials.nc = "00000001";
    credentials.cnonce = "0a4f113b";
    credentials.opaque.clear();
    EXPECT_EQ(FormatCredentials(credentials),
              "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
              "qop=auth, nc=00000001, algorithm=MD5, cnonce=\"0a4f113b\", "
              "response=\"6629fae49393a05397450978507c4ef1\"");
}

TEST(DigestTest, FieldsCannotEndTheQuotesOrTheLine) {
    CAuthChallenge challenge = DigestChallenge("md5\r\nX: 1", "o\r\nY: 2");
    challenge.realm = "r\nZ: \"3\\";
    challenge.algorithm = "MD5";
    CAuthCredentials credentials;
    BuildCredentials(challenge, METHOD_GET, kUri, "u\r\nW: 4", "p", 1, credentials);
    const std::string value = FormatCredentials(credentials);
    EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos) << value;
    EXPECT_NE(value.find("username=\"uW: 4\""), std::string::npos) << value;
    EXPECT_NE(value.find("realm=\"rZ: \\\"3\\\\\""), std::string::npos) << value;
}

TEST(BasicTest, FormatsUserAndPassword) {
    CAuthChallenge challenge;
    ASSERT_TRUE(ParseChallenge("Basic realm=\"x\"", challenge));
    CAuthCredentials credentials;
    BuildCredentials(challenge, METHOD_GET, "/", "Aladdin", "open sesame", 1, credentials);
    EXPECT_EQ(FormatCredentials(credentials), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(credentials.response, "");
    // An empty password still sends the colon.
    BuildCredentials(challenge, METHOD_GET, "/", "user", "", 1, credentials);
    EXPECT_EQ(FormatCredentials(credentials), "Basic dXNlcjo=");
}

TEST(AuthHeadersTest, StoresCredentialsAndReadsChallenges) {
    CAuthCredentials basic;
    basic.scheme = AUTH_SCHEME_BASIC;
    basic.userName = "a";
    basic.password = "b";
    CHttpHeaders headers;
    headers.SetAuthorization(basic);
    headers.SetProxyAuthorization(CAuthCredentials());
    EXPECT_EQ(headers.FormatHeaderBlock(), "Authorization: Basic YTpi\r\n");
    headers.SetProxyAuthorization(basic);
    EXPECT_EQ(headers.GetValue(HEADER_PROXY_AUTHORIZATION), "Basic YTpi");

    // A challenge on a line of its own still counts against the others.
    headers.ParseHeaderBlock(
        "WWW-Authenticate: Basic realm=\"site\"\r\n"
        "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"
        "WWW-Authenticate: Digest realm=\"site\", nonce=\"n1\"\r\n"
        "WWW-Authenticate: Negotiate\r\n\r\n");
    CAuthChallenge site;
    CAuthChallenge proxy;
    EXPECT_TRUE(headers.GetWwwChallenge(site));
    EXPECT_TRUE(headers.GetProxyChallenge(proxy));
    EXPECT_EQ(site.scheme, AUTH_SCHEME_DIGEST);
    EXPECT_EQ(site.nonce, "n1");
    EXPECT_EQ(proxy.scheme, AUTH_SCHEME_BASIC);
    EXPECT_EQ(proxy.realm, "proxy");
}

}  // namespace
