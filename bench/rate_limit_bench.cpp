// The crawl's bandwidth limit as the workers meet it: two receivers take a
// 5 MB body in 32 KiB reads from one shared token bucket and pause as it
// tells them. The rate they reach is reported beside the limit; a run more
// than 20 % off the limit is marked as an error.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/rate_limiter.h"

namespace {

constexpr std::uint32_t kBodySize = 5 * 1024 * 1024;
constexpr std::uint32_t kReadSize = 32 * 1024;
constexpr int kReceivers = 2;

void BM_SharedRateLimit(benchmark::State& state) {
    const auto limit = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        CRateLimiter limiter;
        limiter.SetRate(limit);
        std::atomic<std::int64_t> left{kBodySize};
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> receivers;
        for (int i = 0; i < kReceivers; ++i) {
            receivers.emplace_back([&] {
                while (left.fetch_sub(kReadSize) > 0) {
                    const std::uint32_t pause = limiter.Take(kReadSize);
                    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
                }
            });
        }
        for (std::thread& receiver : receivers) {
            receiver.join();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = kBodySize / seconds;
        state.counters["rate"] = rate;
        state.counters["limit"] = limit;
        if (std::abs(rate - limit) > 0.2 * limit) {
            state.SkipWithError("the rate is more than 20 % off the limit");
        }
    }
}

BENCHMARK(BM_SharedRateLimit)->Arg(200 * 1024)->Arg(2 * 1024 * 1024)->Iterations(1)->UseRealTime();

}  // namespace
