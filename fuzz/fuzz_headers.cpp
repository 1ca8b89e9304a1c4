// A received header block is the server's text: parsing it and reading every
// value that the client acts on must neither crash nor overflow, an answer to
// its challenges must stay one header line, and the header set must survive
// being written out and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/auth_challenge.h"
#include "protocol/auth_credentials.h"
#include "protocol/http_date.h"
#include "protocol/http_headers.h"

namespace {

void ReadEveryValue(const CHttpHeaders& headers) {
    TransferCoding coding;
    ContentTypeCode type;
    std::int32_t length = 0, first = 0, last = 0, total = 0;
    std::int64_t time = 0;
    headers.IsConnectionClose();
    headers.GetTransferCoding(coding);
    headers.GetContentType(type);
    if (headers.GetContentLength(length) && length < 0) {
        std::abort();
    }
    if (headers.GetContentRange(first, last, total) && (first < 0 || last < first || total < 0)) {
        std::abort();
    }
    headers.GetLastModified(time);
    headers.GetLocation();
    // The character set is a part of the Content-Type value.
    if (headers.GetCharset().size() > headers.GetValue(HEADER_CONTENT_TYPE).size()) {
        std::abort();
    }
}

void AnswerTheChallenges(const CHttpHeaders& headers) {
    for (int index : {HEADER_WWW_AUTHENTICATE, HEADER_PROXY_AUTHENTICATE}) {
        CAuthChallenge challenge;
        ParseChallenge(headers.GetValue(index), challenge);
        CAuthCredentials credentials;
        BuildCredentials(challenge, METHOD_GET, "/", "user\"\\", "password", 1, credentials);
        if (FormatCredentials(credentials).find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CHttpHeaders headers;
    headers.ParseHeaderBlock(text);
    ReadEveryValue(headers);
    AnswerTheChallenges(headers);

    CHttpHeaders reread;
    reread.ParseHeaderBlock(headers.FormatHeaderBlock() + "\r\n");
    for (int i = 0; i < kHeaderCount; ++i) {
        if (reread.GetValue(i) != headers.GetValue(i)) {
            std::abort();
        }
    }
    if (reread.HasAnyHeader() != headers.HasAnyHeader()) {
        std::abort();
    }

    std::int64_t time = 0;
    ParseHttpDate(text, time);
    return 0;
}
