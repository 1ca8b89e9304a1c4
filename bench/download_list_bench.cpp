// Cost of growing a crawl's download list: time per Add of a new URL, time
// per lookup of a listed one, and the memory the list holds per entry.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/download_list.h"

namespace {

constexpr int kEntries = 200000;
constexpr int kBatch = 1000;

// URLs as a crawl of one large site finds them: many folders, pages and
// some queries, most of them longer than a short-string buffer.
std::string UrlText(int i) {
    std::string text = "http://www.example.org/section" + std::to_string(i % 97) + "/page-" +
                       std::to_string(i) + ".html";
    if (i % 5 == 0) {
        text += "?sort=date&page=" + std::to_string(i % 13);
    }
    return text;
}

// Parsing is the caller's cost, not the list's: items are prepared in
// batches outside the timed part.
std::vector<CLinkItem> Batch(int first) {
    std::vector<CLinkItem> items;
    items.reserve(kBatch);
    for (int i = first; i < first + kBatch; ++i) {
        CUrl url;
        url.Parse(UrlText(i));
        items.emplace_back(std::move(url), i % 7, true);
    }
    return items;
}

double ResidentBytes() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

double HeapBytes() {
    return static_cast<double>(::mallinfo2().uordblks);
}

using Clock = std::chrono::steady_clock;

// Adds kBatch items and returns the seconds that took.
double TimedAdd(CDownloadList& list, const std::vector<CLinkItem>& items) {
    const Clock::time_point start = Clock::now();
    for (const CLinkItem& item : items) {
        benchmark::DoNotOptimize(list.Add(item));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_AddDistinctUrls(benchmark::State& state) {
    double seconds = 0, residentPerEntry = 0, heapPerEntry = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const double residentBefore = ResidentBytes();
        const double heapBefore = HeapBytes();
        auto list = std::make_unique<CDownloadList>();
        double iterationSeconds = 0;
        for (int first = 0; first < kEntries; first += kBatch) {
            iterationSeconds += TimedAdd(*list, Batch(first));
        }
        ::malloc_trim(0);
        residentPerEntry = (ResidentBytes() - residentBefore) / kEntries;
        heapPerEntry = (HeapBytes() - heapBefore) / kEntries;
        state.SetIterationTime(iterationSeconds);
        seconds += iterationSeconds;
    }
    state.counters["ns_per_add"] =
        seconds * 1e9 / (kEntries * static_cast<double>(state.iterations()));
    state.counters["resident_bytes_per_entry"] = residentPerEntry;
    state.counters["heap_bytes_per_entry"] = heapPerEntry;
}
BENCHMARK(BM_AddDistinctUrls)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Finding a URL again: every link of every page is looked up, and most of
// them are already listed. The list holds all entries; a spread of them is
// added again.
void BM_AddListedUrls(benchmark::State& state) {
    CDownloadList list;
    std::vector<std::vector<CLinkItem>> again;
    for (int first = 0; first < kEntries; first += kBatch) {
        std::vector<CLinkItem> batch = Batch(first);
        TimedAdd(list, batch);
        if (first % (10 * kBatch) == 0) {
            again.push_back(std::move(batch));
        }
    }
    for (auto _ : state) {
        double seconds = 0;
        for (const std::vector<CLinkItem>& batch : again) {
            seconds += TimedAdd(list, batch);
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(again.size()) * kBatch);
}
BENCHMARK(BM_AddListedUrls)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
