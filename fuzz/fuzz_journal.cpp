// Makes arbitrary journal records again over a crawl, as opening a project
// does with the records of its journal: each record either applies or ends
// the replay, and what it leaves stores and loads back; it never crashes.
// Input: records of one type byte, one length byte and that many payload
// bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "../tests/support/memory_stream.h"
#include "engine/journal_replay.h"

namespace {

using testing_support::MemoryStream;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_journal: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CDownloadList list;
    for (const char* url : {"http://h/", "http://h/a", "http://h/b"}) {
        list.Add(url, 1, true);
    }
    CLinkItem item;
    list.Next(item);
    std::deque<CDownloadTask> queue(1);
    queue.front().item = CLinkItem(item.GetUrl(), 0, true);
    ProjectRunState state = Paused;
    CJournalReplay replay(list, queue, state);
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const CJournalEntry record{
            static_cast<JournalRecord>(data[at]),
            std::string(reinterpret_cast<const char*>(data) + at + 2, length), 0};
        at += 2 + length;
        if (!replay.Apply(record)) {
            break;
        }
    }
    replay.Finish();
    Check(state == Stopped || state == Paused, "a replay left the crawl running");
    MemoryStream stream;
    list.Store(stream);
    for (const CDownloadTask& task : queue) {
        task.Store(stream);
    }
    stream.Seek(0, CStream::kBegin);
    CDownloadList loaded;
    loaded.Load(stream);
    Check(loaded.GetCount() == list.GetCount(), "a replayed list does not load back");
    return 0;
}
