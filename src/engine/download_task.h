// One URL handed to a download worker and what became of it. The manager
// builds it, the worker fills in the result, the manager records that result
// in the download list; the project file keeps the tasks that were under way.
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "engine/download_entry.h"
#include "engine/link_item.h"
#include "protocol/response_info.h"

class CStream;

// Results of the crawl engine itself, next to the layers' codes.
enum : ResultCode {
    // A stop or pause cut the attempt short; the URL is tried again later.
    ERR_ATTEMPT_INTERRUPTED = 0x30010001,
    // The page was saved, but it could not be parsed for links.
    ERR_PAGE_NOT_PARSED = 0x30010002,
    // The server's modification time equals the one of the last download.
    ERR_NOT_MODIFIED = 0x30010003,
    // A symbolic link or a special file stands on the way to the local file
    // in the download folder; nothing was written.
    ERR_UNSAFE_LOCAL_PATH = 0x30010004,
    // Noted on a saved page that the link pass could not read with
    // certainty: it keeps the bytes it was saved with, its links unchanged.
    ERR_PAGE_KEPT_AS_SERVED = 0x30010005,
};

struct CDownloadTask {
    CLinkItem item;
    // Extract the links of an HTML body; set for every task the manager builds.
    bool followLinks = true;
    // The head of the last response.
    CResponseInfo response;
    std::string localUrl;
    std::string localPath;
    // What the download list records for the saved file.
    std::string storedPath;
    // Body bytes written to the local file by all attempts so far; a resumed
    // attempt asks for the rest from here.
    std::int32_t bytesReceived = 0;
    // Recorded in the list when the URL was last saved; -1 when none.
    std::int32_t knownModificationTime = -1;
    bool success = false;
    ResultCode resultCode = ERR_SUCCESS;
    // Not stored: it holds for this run only.
    PageWriting pageWriting = PageWriting::Unknown;
    // The task failed and took away the part of the body it had written to
    // its local file, which no later attempt continues; not stored.
    bool fileRemoved = false;

    // An empty URL and every field as constructed.
    void Clear() { *this = CDownloadTask(); }
    // A worker holds a task while the task's URL is not empty.
    bool HasUrl() const { return item.GetUrl().HasUrl(); }

    // URL text, level, internal, follow links, the response summary, local
    // URL, local path, stored path, bytes received, known modification time,
    // success, result code. Load changes the task only when the whole record
    // was read; a URL that does not parse is ERR_STREAM_DATA.
    void Store(CStream& stream) const;
    void Load(CStream& stream);
};

// The URL without its fragment: the text before the first "#" parsed again.
// A URL without "#" comes back as it is; one whose rest does not parse comes
// back empty.
CUrl RemoveFragment(const CUrl& url);
