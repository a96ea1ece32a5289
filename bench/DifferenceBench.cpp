// One comparison of two 100 x 100 signatures, in both modes.

#include "comparison/kernels/BlockedKernel.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/DifferenceKernel.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
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
    const bool shapeOnly = state.range(0) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vistrel::ComputeDifference(a.data(), b.data(), kSide, shapeOnly));
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

// Each blocked kernel this processor can run, on one block of 4 x 4 pairs already laid out;
// each iteration counts 16 pairs. The first argument picks the kernel, the second the mode.
void BlockedKernelPairs(benchmark::State& state) {
    const auto kernels = vistrel::AvailableBlockedKernels();
    if (static_cast<std::size_t>(state.range(0)) >= kernels.size()) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const vistrel::BlockedKernel& kernel = *kernels[static_cast<std::size_t>(state.range(0))];
    const bool shapeOnly = state.range(1) != 0;
    constexpr std::size_t kPixels = kSide * kSide;
    vistrel::SignaturePlanesBuffer buffer;
    buffer.Reset(8, kPixels, shapeOnly);
    std::vector<std::vector<std::uint8_t>> signatures;
    const vistrel::SignaturePlanes* planes[8];
    for (std::uint32_t i = 0; i < 8; ++i) {
        signatures.push_back(RandomSignature(i + 10));
        planes[i] = &buffer.Fill(i, kernel, signatures.back().data());
    }
    for (auto _ : state) {
        vistrel::BlockedKernel::BlockSums sums;
        kernel.blockSquares(planes, planes + 4, kPixels, shapeOnly, sums);
        benchmark::DoNotOptimize(sums);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
    state.SetLabel(std::string(kernel.name) + (shapeOnly ? ", shape only" : ""));
}
BENCHMARK(BlockedKernelPairs)->ArgsProduct({{0, 1, 2, 3}, {0, 1}});

// The layout of one signature by each blocked kernel.
void BlockedKernelLayout(benchmark::State& state) {
    const auto kernels = vistrel::AvailableBlockedKernels();
    if (static_cast<std::size_t>(state.range(0)) >= kernels.size()) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const vistrel::BlockedKernel& kernel = *kernels[static_cast<std::size_t>(state.range(0))];
    vistrel::SignaturePlanesBuffer buffer;
    buffer.Reset(1, kSide * kSide, false);
    const auto signature = RandomSignature(3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(buffer.Fill(0, kernel, signature.data()));
    }
    state.SetLabel(kernel.name);
}
BENCHMARK(BlockedKernelLayout)->DenseRange(0, 3);

}  // namespace
