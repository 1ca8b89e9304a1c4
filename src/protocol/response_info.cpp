#include "protocol/response_info.h"

#include "base/stream.h"

namespace {

void WriteTime(CStream& stream, std::int64_t time) {
    stream << static_cast<std::uint32_t>(static_cast<std::uint64_t>(time));
}

std::int64_t ReadTime(CStream& stream) {
    std::int32_t low = 0;
    stream >> low;
    return low;
}

}  // namespace

void CResponseInfo::Store(CStream& stream) const {
    stream << valid;
    WriteUrl(stream, url);
    WriteTime(stream, reservedTimeBefore);
    WriteTime(stream, modificationTime);
    WriteTime(stream, reservedTimeAfter);
    stream << contentLength << reservedFlag << contentType;
    stream << reservedTimeBeforeKnown << modificationTimeKnown << reservedTimeAfterKnown
           << contentLengthKnown << reservedFlagKnown << contentTypeKnown;
}

void CResponseInfo::Load(CStream& stream) {
    CResponseInfo loaded;
    stream >> loaded.valid;
    ReadUrl(stream, loaded.url);
    loaded.reservedTimeBefore = ReadTime(stream);
    loaded.modificationTime = ReadTime(stream);
    loaded.reservedTimeAfter = ReadTime(stream);
    stream >> loaded.contentLength >> loaded.reservedFlag >> loaded.contentType;
    stream >> loaded.reservedTimeBeforeKnown >> loaded.modificationTimeKnown >>
        loaded.reservedTimeAfterKnown >> loaded.contentLengthKnown >> loaded.reservedFlagKnown >>
        loaded.contentTypeKnown;
    *this = std::move(loaded);
}
