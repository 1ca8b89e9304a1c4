// The protocol clients' summary of a response head: what the crawl rules and
// the per-URL task decide on. The HTTP client fills it from the headers, the
// FTP client from a listing line; the project file keeps it with each task.
#pragma once

#include <cstdint>
#include <string>

#include "base/url.h"

class CStream;

struct CResponseInfo {
    // Set when a client filled the record.
    bool valid = false;
    // The URL that produced the response: after redirects, the last target.
    CUrl url;
    // Seconds since 1970 UTC, from "Last-Modified" or an exact listing time.
    std::int64_t modificationTime = 0;
    // The Content-Range total, else the Content-Length value.
    std::uint32_t contentLength = 0;
    // A ContentTypeCode: 3 is text/html, 0 any type not in the table.
    std::int32_t contentType = 0;
    bool modificationTimeKnown = false;
    bool contentLengthKnown = false;
    bool contentTypeKnown = false;
    // The character set that "Content-Type" names, as written; empty when
    // it names none. Not stored: a page's links are read while it is saved.
    std::string charset;
    // The HTTP status of the response, 0 for FTP. Not stored: it only serves
    // to report a failure while the crawl runs.
    int status = 0;
    // The body comes in a content coding (gzip, deflate or one the client
    // cannot decode). Not stored either.
    bool contentCoded = false;
    // Why the request failed, when the layer below knew more than its code
    // ("self-signed certificate"); on a failed request the record also names
    // the URL that failed, which a redirect may have changed. Not stored.
    std::string failureReason;

    // Slots that the project file layout reserves next to the fields above.
    // No client fills them; they are kept so that stored tasks read back
    // exactly as they were written.
    std::int64_t reservedTimeBefore = 0;
    std::int64_t reservedTimeAfter = 0;
    bool reservedFlag = false;
    bool reservedTimeBeforeKnown = false;
    bool reservedTimeAfterKnown = false;
    bool reservedFlagKnown = false;

    // URL empty, every value 0 and every flag false.
    void Clear() { *this = CResponseInfo(); }

    // valid, URL source text, the three times (reserved, modification,
    // reserved) as their low 32 bits, content length, reserved flag, content
    // type, then the six known flags in the order of the values they qualify.
    // Times read back sign-extended. Load changes the record only when the
    // whole record was read.
    void Store(CStream& stream) const;
    void Load(CStream& stream);
};
