// One exchange of an HTTP client as the crawl engine drives it, with
// everything a test checks afterwards.
#pragma once

#include <string>

#include "protocol/http_client.h"
#include "support/memory_stream.h"

namespace testing_support {

struct HttpDownload {
    ResultCode request = ERR_SUCCESS;
    ResultCode body = ERR_SUCCESS;
    std::string bytes;
    std::uint32_t received = 0;
    CResponseInfo info;
    int status = 0;
};

// Request, then on success ReadBody into memory (GET only), then Finish.
inline HttpDownload Download(CHttpClient& client, const CHttpRequestInfo& info,
                             HttpMethod method = METHOD_GET) {
    HttpDownload result;
    client.SetRequestInfo(info);
    result.request = client.Request(method, false);
    result.status = client.GetStatus();
    result.info = client.GetResponseInfo();
    if (result.request == ERR_SUCCESS && method == METHOD_GET) {
        MemoryStream stream;
        result.body = client.ReadBody(&stream, result.received);
        result.bytes = stream.Bytes();
    }
    client.Finish();
    return result;
}

inline CHttpRequestInfo RequestFor(const std::string& url, const std::string& user = "",
                                   const std::string& password = "") {
    CHttpRequestInfo info;
    info.url.Parse(url);
    info.user = user;
    info.password = password;
    info.SetUserAgent("Tarnwick-test");
    return info;
}

}  // namespace testing_support
