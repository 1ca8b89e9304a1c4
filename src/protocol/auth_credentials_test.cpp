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

TEST(DigestTest, ReproducesTheRfc2617Example) {
    const std::string ha1 = DigestHA1("MD5", kUser, kRealm, kPassword, kNonce, "0a4f113b");
    EXPECT_EQ(ha1, kHA1);
    EXPECT_EQ(DigestResponse(ha1, kNonce, "00000001", "0a4f113b", "auth", "GET", kUri, ""),
              "6629fae49393a05397450978507c4ef1");
}

TEST(DigestTest, CoversSessionAndQopVariants) {
    // md5-sess hashes the raw 16 bytes of H(user:realm:password), not its hex.
    EXPECT_EQ(DigestHA1("MD5-Sess", kUser, kRealm, kPassword, kNonce, "0a4f113b"),
              "71f45625a6e5fcdd072ce44e8e101a01");
    // Without qop the older RFC 2069 form leaves out nc, cnonce and qop.
    EXPECT_EQ(DigestResponse(kHA1, kNonce, "00000001", "0a4f113b", "", "GET", kUri, ""),
              "670fd8c2df070c60b045671b8b24ff02");
    // auth-int appends the entity hash to A2.
    EXPECT_EQ(DigestResponse(kHA1, "n", "00000001", "c", "auth-int", "GET", "/x", CMd5::HexOf("")),
              "e20fb86483f778069c407890ad073aef");
}

TEST(DigestTest, BuildsWithTheFixedClientChoices) {
    struct Case {
        HttpMethod method;
        const char* algorithm;
        const char* sentAlgorithm;
        const char* response;
    };
    // Expected values: the RFC's reference computation with cnonce 5c1d7e29.
    const Case cases[] = {
        {METHOD_GET, "", "md5", "f087febca21b47411dcfc6ba14518af5"},
        {METHOD_GET, "MD5", "MD5", "f087febca21b47411dcfc6ba14518af5"},
        {METHOD_HEAD, "", "md5", "0dc749c52cd62eff10460e86e1a2770b"},
    };
    for (const Case& c : cases) {
        CAuthCredentials credentials;
        BuildCredentials(DigestChallenge(c.algorithm, kOpaque), c.method, kUri, kUser, kPassword,
                         credentials);
        EXPECT_EQ(credentials.scheme, AUTH_SCHEME_DIGEST);
        EXPECT_EQ(credentials.algorithm, c.sentAlgorithm);
        EXPECT_EQ(credentials.cnonce, "5c1d7e29");
        EXPECT_EQ(credentials.nc, "00000001");
        EXPECT_EQ(credentials.qop, "auth");
        EXPECT_EQ(credentials.uri, kUri);
        EXPECT_EQ(credentials.opaque, kOpaque);
        EXPECT_EQ(credentials.response, c.response) << c.algorithm;
    }
}

TEST(DigestTest, FormatsTheFoldedValue) {
    CAuthCredentials credentials;
    BuildCredentials(DigestChallenge("", kOpaque), METHOD_GET, kUri, kUser, kPassword, credentials);
    const std::string folded =
        "Digest username=\"Mufasa\",\r\n\trealm=\"testrealm@host.com\",\r\n\t"
        "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\",\r\n\turi=\"/dir/index.html\",\r\n\t"
        "qop=\"auth\",\r\n\tnc=\"00000001\",\r\n\talgorithm=md5,\r\n\tcnonce=\"5c1d7e29\",\r\n\t"
        "response=\"f087febca21b47411dcfc6ba14518af5\"";
    EXPECT_EQ(FormatCredentials(credentials),
              folded + ",\r\n\topaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    credentials.opaque.clear();
    EXPECT_EQ(FormatCredentials(credentials), folded);
}

TEST(DigestTest, LineBreaksInFieldsCannotStartNewHeaderLines) {
    CAuthChallenge challenge = DigestChallenge("md5\r\nX: 1", "o\r\nY: 2");
    challenge.realm = "r\nZ: 3";
    CAuthCredentials credentials;
    BuildCredentials(challenge, METHOD_GET, kUri, "u\r\nW: 4", "p", credentials);
    const std::string value = FormatCredentials(credentials);
    // The only line breaks are the nine folds, each a CR LF TAB.
    int folds = 0;
    for (std::size_t at = value.find_first_of("\r\n"); at != std::string::npos;
         at = value.find_first_of("\r\n", at + 3)) {
        EXPECT_EQ(value.substr(at - 1, 4), ",\r\n\t");
        ++folds;
    }
    EXPECT_EQ(folds, 9);
    EXPECT_NE(value.find("username=\"uW: 4\""), std::string::npos);
}

TEST(BasicTest, FormatsUserAndPassword) {
    CAuthChallenge challenge;
    ASSERT_TRUE(ParseChallenge("Basic realm=\"x\"", challenge));
    CAuthCredentials credentials;
    BuildCredentials(challenge, METHOD_GET, "/", "Aladdin", "open sesame", credentials);
    EXPECT_EQ(FormatCredentials(credentials), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(credentials.response, "");
    // An empty password still sends the colon.
    BuildCredentials(challenge, METHOD_GET, "/", "user", "", credentials);
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

    headers.ParseHeaderBlock(
        "WWW-Authenticate: Digest realm=\"site\", nonce=\"n1\"\r\n"
        "Proxy-Authenticate: Basic realm=\"proxy\"\r\n\r\n");
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
