// Similarity runs: how long Stop takes to end a run in full swing, and a whole run of
// synthetic signatures on every core.

#include "RandomEntries.h"
#include "repository/PictureRepository.h"
#include "run/ComparisonRun.h"

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
        vistrel::ComparisonRun run(repository,
                                   {4.0f, false, false, -1, static_cast<int>(state.range(0))});
        run.StartComparison();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto start = Clock::now();
        run.StopComparison();
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
        vistrel::ComparisonRun run(repository, {4.0f});
        run.Run();
        pairs = run.Pairs();
    }
    state.counters["pairs_per_second"] =
        benchmark::Counter(static_cast<double>(pairs) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(WholeRun)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
