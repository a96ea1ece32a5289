// Every difference kernel this processor can run against the plain scalar reference, bit for
// bit, on random and extreme signatures of awkward lengths.

#include "EveryKernel.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/DifferenceKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vistrel {
namespace {

std::vector<std::uint8_t> Random(std::size_t pixels, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(3 * pixels);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

void ExpectSameSums(const DifferenceKernel& kernel, const std::vector<std::uint8_t>& a,
                    const std::vector<std::uint8_t>& b) {
    const std::size_t pixels = a.size() / 3;
    std::int64_t expected[3] = {0, 0, 0};
    std::int64_t actual[3] = {0, 0, 0};
    ScalarKernel().channelSquares(a.data(), b.data(), pixels, expected);
    kernel.channelSquares(a.data(), b.data(), pixels, actual);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(actual[k], expected[k])
            << kernel.name << ", " << pixels << " pixels, channel " << k;
    }
    EXPECT_EQ(kernel.shapeSquares(a.data(), b.data(), pixels),
              ScalarKernel().shapeSquares(a.data(), b.data(), pixels))
        << kernel.name << ", " << pixels << " pixels";
}

TEST(DifferenceKernels, TheScalarKernelIsTheReference) {
    // The kernel and the finishing arithmetic together give the reference factor.
    const auto a = Random(10000, 1);
    const auto b = Random(10000, 2);
    std::int64_t sums[3] = {0, 0, 0};
    ScalarKernel().channelSquares(a.data(), b.data(), 10000, sums);
    EXPECT_EQ(FactorFromChannelSums(sums, 10000),
              ComputeDifferenceReference(a.data(), b.data(), 100, false));
    EXPECT_EQ(FactorFromShapeSum(ScalarKernel().shapeSquares(a.data(), b.data(), 10000), 10000),
              ComputeDifferenceReference(a.data(), b.data(), 100, true));
}

// Each test runs once per SIMD difference kernel of the build.
using VectorKernels = test::EveryKernel<DifferenceKernel>;

TEST_P(VectorKernels, MatchOnRandomSignaturesOfAwkwardLengths) {
    for (const std::size_t pixels : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 100u, 10000u, 10001u}) {
        const auto a = Random(pixels, static_cast<std::uint32_t>(pixels));
        const auto b = Random(pixels, static_cast<std::uint32_t>(pixels) + 7);
        ExpectSameSums(kernel(), a, b);
    }
}

TEST_P(VectorKernels, MatchOnExtremeSignatures) {
    // Largest differences everywhere, over enough pixels that 32-bit lanes would overflow
    // without their periodic flush, and alternating extremes that punish a wrong channel map.
    const std::size_t pixels = 600000;
    const std::vector<std::uint8_t> zeros(3 * pixels, 0);
    const std::vector<std::uint8_t> full(3 * pixels, 255);
    std::vector<std::uint8_t> alternating(3 * pixels);
    for (std::size_t i = 0; i < alternating.size(); ++i) {
        alternating[i] = (i % 7 == 0 || i % 3 == 1) ? 255 : 0;
    }
    ExpectSameSums(kernel(), zeros, full);
    ExpectSameSums(kernel(), full, zeros);
    ExpectSameSums(kernel(), alternating, zeros);
    ExpectSameSums(kernel(), full, alternating);
}

INSTANTIATE_TEST_SUITE_P(Built, VectorKernels,
                         testing::ValuesIn(test::BuiltVectorDifferenceKernels()),
                         test::KernelNames());

TEST(DifferenceKernels, ComputeDifferenceGivesTheReferenceFactor) {
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
        const auto a = Random(10000, seed);
        auto b = a;
        // Near-copies as well as strangers: small and large differences.
        std::mt19937 random(seed + 99);
        for (auto& byte : b) {
            byte = static_cast<std::uint8_t>(std::clamp<int>(
                byte + static_cast<int>(random() % (seed + 1)) - static_cast<int>(seed / 2), 0,
                255));
        }
        EXPECT_EQ(ComputeDifference(a.data(), b.data(), 100, false),
                  ComputeDifferenceReference(a.data(), b.data(), 100, false));
    }
}

}  // namespace
}  // namespace vistrel
