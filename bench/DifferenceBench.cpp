// One comparison of two 100 x 100 signatures, in both modes.

#include "DifferenceFactor.h"
#include "DifferenceKernel.h"
#include "ProgramSettings.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kSide = 100;

std::vector<std::uint8_t> RandomSignature(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> signature(3 * kSide * kSide);
    for (auto& byte : signature) {
        byte = static_cast<std::uint8_t>(random());
    }
    return signature;
}

void ComputeDifference(benchmark::State& state) {
    const auto a = RandomSignature(1);
    const auto b = RandomSignature(2);
    vistrel::TheProgramSettings().shapeOnly = state.range(0) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vistrel::ComputeDifference(a.data(), b.data(), kSide));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * a.size());
    state.SetLabel(state.range(0) != 0 ? "shape only" : "normal");
}
BENCHMARK(ComputeDifference)->Arg(0)->Arg(1);

// Each kernel this processor can run, on the channel sums of one pair.
void DifferenceKernels(benchmark::State& state) {
    const auto kernels = vistrel::AvailableKernels();
    if (static_cast<std::size_t>(state.range(0)) >= kernels.size()) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const vistrel::DifferenceKernel& kernel = *kernels[static_cast<std::size_t>(state.range(0))];
    const auto a = RandomSignature(1);
    const auto b = RandomSignature(2);
    for (auto _ : state) {
        std::int64_t sums[3] = {0, 0, 0};
        kernel.channelSquares(a.data(), b.data(), kSide * kSide, sums);
        benchmark::DoNotOptimize(sums);
    }
    state.SetLabel(kernel.name);
}
BENCHMARK(DifferenceKernels)->DenseRange(0, 2);

}  // namespace
