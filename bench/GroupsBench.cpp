// The groups of similar pictures behind Keep One of Each Group, on a repository of 100,000
// entries and two million links: the union-find over the links must stay a fraction of a second.

#include "cleanup/PictureGroups.h"
#include "repository/PictureRepository.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

void ListGroups(benchmark::State& state) {
    constexpr int kEntries = 100'000;
    const auto links = static_cast<int>(state.range(0));
    vistrel::CPictureRepository repository;
    for (int i = 0; i < kEntries; ++i) {
        repository.AddSignedPicture(QStringLiteral("/nowhere/%1.jpg").arg(i), {});
    }
    // Links mostly between near neighbours, as similar pictures of one folder are, so that the
    // entries fall into many groups of all sizes.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> entry(0, kEntries - 1);
    std::geometric_distribution<int> distance(0.02);
    for (int i = 0; i < links; ++i) {
        const int a = entry(random);
        const int b = std::min(kEntries - 1, a + 1 + distance(random));
        if (a != b) {
            repository.AddSimilarPair(vistrel::PairInfo{nullptr, nullptr, a, b, 1.0f});
        }
    }
    std::size_t groups = 0;
    for (auto _ : state) {
        groups = vistrel::ListPictureGroups(repository).size();
        benchmark::DoNotOptimize(groups);
    }
    state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(ListGroups)->Arg(20'000)->Arg(2'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
