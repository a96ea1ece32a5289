// Similarity runs: how long Stop takes to end a run in full swing, and a whole run of
// synthetic signatures on every core.

#include "RandomEntries.h"
#include "comparison/run/ComparisonCollector.h"
#include "repository/PictureRepository.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// From the stop request until every worker has ended and the run's state is freed.
void StopLatency(benchmark::State& state) {
    vistrel::CPictureRepository repository;
    vistrel::test::AddRandomEntries(repository, 3000, 11);
    for (auto _ : state) {
        auto notices = std::make_shared<vistrel::NoticeQueue>();
        std::int32_t workers = 0;
        std::uint64_t pairs = 0;
        repository.StartComparison(notices, vistrel::kComparisonNoticeMessage, {.threshold = 4.0f},
                                   &workers, -1, &pairs, static_cast<int>(state.range(0)));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto start = Clock::now();
        repository.StopComparison();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetLabel(std::to_string(state.range(0)) + " workers");
}
BENCHMARK(StopLatency)->Arg(2)->Arg(8)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A whole test of 1,000 entries (499,500 pairs), collected as the Progress dialog does.
void WholeRun(benchmark::State& state) {
    vistrel::CPictureRepository repository;
    vistrel::test::AddRandomEntries(repository, 1000, 11);
    std::uint64_t pairs = 0;
    for (auto _ : state) {
        auto notices = std::make_shared<vistrel::NoticeQueue>();
        vistrel::ComparisonCollector collector(repository, notices);
        std::int32_t workers = 0;
        repository.StartComparison(notices, vistrel::kComparisonNoticeMessage, {.threshold = 4.0f},
                                   &workers, -1, &pairs);
        while (!collector.Collect(workers)) {
            notices->WaitForNotice(std::chrono::milliseconds(100));
        }
        repository.StopComparison();
        collector.Close();
    }
    state.counters["pairs_per_second"] =
        benchmark::Counter(static_cast<double>(pairs) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(WholeRun)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
