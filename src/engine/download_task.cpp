#include "engine/download_task.h"

#include <utility>

#include "base/errors.h"
#include "base/stream.h"

void CDownloadTask::Store(CStream& stream) const {
    WriteUrl(stream, item.GetUrl());
    stream << item.GetLevel() << item.IsInternal() << followLinks;
    response.Store(stream);
    stream << localUrl << localPath << storedPath << bytesReceived << knownModificationTime
           << success << resultCode;
}

void CDownloadTask::Load(CStream& stream) {
    CDownloadTask loaded;
    CUrl url;
    std::int32_t level = 0;
    bool internal = false;
    ReadUrl(stream, url);
    stream >> level >> internal >> loaded.followLinks;
    loaded.item = CLinkItem(std::move(url), level, internal);
    loaded.response.Load(stream);
    stream >> loaded.localUrl >> loaded.localPath >> loaded.storedPath >> loaded.bytesReceived >>
        loaded.knownModificationTime >> loaded.success >> loaded.resultCode;
    // A negative count is damage: a resume would start before the file.
    if (loaded.bytesReceived < 0) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    *this = std::move(loaded);
}

CUrl RemoveFragment(const CUrl& url) {
    const std::string text = url.GetSourceText();
    const std::size_t hash = text.find('#');
    if (hash == std::string::npos) {
        return url;
    }
    CUrl stripped;
    stripped.Parse(std::string_view(text).substr(0, hash));
    return stripped;
}
