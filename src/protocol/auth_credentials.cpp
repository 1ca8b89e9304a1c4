#include "protocol/auth_credentials.h"

#include <algorithm>
#include <iterator>

#include "protocol/base64.h"
#include "protocol/header_text.h"
#include "protocol/md5.h"

namespace {

// Realm, nonce and opaque come from the server and the user name from the
// project: a CR or LF in any of them would end the header line early and let
// the rest pass as request lines of its own.
std::string WithoutLineBreaks(std::string_view text) {
    std::string kept;
    std::copy_if(text.begin(), text.end(), std::back_inserter(kept),
                 [](char c) { return c != '\r' && c != '\n'; });
    return kept;
}

std::string Quoted(std::string_view text) {
    return "\"" + WithoutLineBreaks(text) + "\"";
}

std::string FormatBasic(const CAuthCredentials& credentials) {
    return "Basic " + EncodeBase64(credentials.userName + ":" + credentials.password);
}

// Every field after the first goes on a continuation line of its own.
void AppendField(std::string& value, const char* name, const std::string& text) {
    value.append(",\r\n\t").append(name).append("=").append(text);
}

std::string FormatDigest(const CAuthCredentials& credentials) {
    std::string value = "Digest username=" + Quoted(credentials.userName);
    AppendField(value, "realm", Quoted(credentials.realm));
    AppendField(value, "nonce", Quoted(credentials.nonce));
    AppendField(value, "uri", Quoted(credentials.uri));
    AppendField(value, "qop", Quoted(credentials.qop));
    AppendField(value, "nc", Quoted(credentials.nc));
    AppendField(value, "algorithm", WithoutLineBreaks(credentials.algorithm));
    AppendField(value, "cnonce", Quoted(credentials.cnonce));
    AppendField(value, "response", Quoted(credentials.response));
    if (!credentials.opaque.empty()) {
        AppendField(value, "opaque", Quoted(credentials.opaque));
    }
    return value;
}

}  // namespace

void BuildCredentials(const CAuthChallenge& challenge, HttpMethod method, const std::string& target,
                      const std::string& userName, const std::string& password,
                      CAuthCredentials& credentials) {
    credentials = CAuthCredentials();
    credentials.scheme = challenge.scheme;
    credentials.userName = userName;
    credentials.password = password;
    if (challenge.scheme != AUTH_SCHEME_DIGEST) {
        return;
    }
    credentials.algorithm = challenge.algorithm.empty() ? "md5" : challenge.algorithm;
    credentials.nonce = challenge.nonce;
    credentials.opaque = challenge.opaque;
    credentials.realm = challenge.realm;
    credentials.cnonce = kDigestClientNonce;
    credentials.qop = kDigestQop;
    credentials.uri = target;
    credentials.nc = kDigestNonceCount;
    const std::string ha1 = DigestHA1(credentials.algorithm, userName, credentials.realm, password,
                                      credentials.nonce, credentials.cnonce);
    credentials.response =
        DigestResponse(ha1, credentials.nonce, credentials.nc, credentials.cnonce, credentials.qop,
                       GetMethodText(method), credentials.uri, "");
}

std::string DigestHA1(std::string_view algorithm, std::string_view userName, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce) {
    CMd5 md5;
    md5.Update(userName);
    md5.Update(":");
    md5.Update(realm);
    md5.Update(":");
    md5.Update(password);
    CMd5::Digest digest = md5.Final();
    if (EqualsIgnoreCase(algorithm, "md5-sess")) {
        md5.Init();
        md5.Update(digest.data(), digest.size());
        md5.Update(":");
        md5.Update(nonce);
        md5.Update(":");
        md5.Update(cnonce);
        digest = md5.Final();
    }
    return CMd5::ToHex(digest);
}

std::string DigestResponse(std::string_view ha1, std::string_view nonce, std::string_view nc,
                           std::string_view cnonce, std::string_view qop, std::string_view method,
                           std::string_view uri, std::string_view entityHash) {
    std::string a2 = std::string(method) + ":" + std::string(uri);
    if (EqualsIgnoreCase(qop, "auth-int")) {
        a2 += ":" + std::string(entityHash);
    }
    const std::string ha2 = CMd5::HexOf(a2);
    std::string request = std::string(ha1) + ":" + std::string(nonce) + ":";
    if (!qop.empty()) {
        request += std::string(nc) + ":" + std::string(cnonce) + ":" + std::string(qop) + ":";
    }
    return CMd5::HexOf(request + ha2);
}

std::string FormatCredentials(const CAuthCredentials& credentials) {
    switch (credentials.scheme) {
        case AUTH_SCHEME_BASIC:
            return FormatBasic(credentials);
        case AUTH_SCHEME_DIGEST:
            return FormatDigest(credentials);
        default:
            return {};
    }
}
