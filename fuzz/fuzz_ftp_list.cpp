// A listing line is the server's text: every layout must be read without
// crashing or reading past the line, and what comes back must keep the
// entry's promises whatever the bytes were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/ftp_list_entry.h"

namespace {

// 2024-06-15 12:00:00 UTC, so that runs are reproducible.
constexpr std::int64_t kNow = 1718452800;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    CFtpListEntry entry;
    if (!ParseListLine(line, entry, kNow)) {
        return 0;
    }
    Check(!entry.name.empty());
    Check(entry.name.size() < size);
    // Only an exact time is ever offered as the modification time.
    Check(entry.modificationTime == -1 || (entry.listedPrecision == FtpTimePrecision::Exact &&
                                           entry.modificationTime == entry.listedTime));
    Check((entry.listedTime == -1) == (entry.listedPrecision == FtpTimePrecision::Unknown));
    return 0;
}
