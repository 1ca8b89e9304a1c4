// Feeds arbitrary bytes to the loaders of the project file's records, in
// the order the project file holds them: settings, then the download list,
// then one task's response summary. A load either fails with
// ERR_STREAM_DATA or yields records that store and load back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/memory_stream.h"
#include "base/errors.h"
#include "engine/download_list.h"
#include "engine/project_settings.h"
#include "protocol/response_info.h"

namespace {

using testing_support::MemoryStream;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_project_records: %s\n", what);
        std::abort();
    }
}

template <typename Record>
std::string Stored(const Record& record) {
    MemoryStream stream;
    record.Store(stream);
    return stream.Bytes();
}

// Loading what a loaded record stores must give the same record again.
template <typename Record>
void CheckRoundTrip(const Record& record, const char* what) {
    const std::string bytes = Stored(record);
    MemoryStream input(bytes);
    Record again;
    again.Load(input);
    Check(Stored(again) == bytes, what);
    Check(input.GetPosition() == input.GetLength(), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    CProjectSettings settings;
    CDownloadList list;
    CResponseInfo response;
    try {
        settings.Load(stream);
        CheckRoundTrip(settings, "settings do not round-trip");
        list.Load(stream);
        MemoryStream listBytes(Stored(list));
        CDownloadList listAgain;
        listAgain.Load(listBytes);
        Check(Stored(listAgain) == listBytes.Bytes(), "download list does not round-trip");
        response.Load(stream);
        CheckRoundTrip(response, "response summary does not round-trip");
    } catch (const CStreamException& e) {
        Check(e.GetCode() == ERR_STREAM_DATA, "load failed with another code");
    }
    return 0;
}
