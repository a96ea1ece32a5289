// Every blocked kernel this processor can run gives, for every pair of a block, exactly the sums
// the scalar difference kernel gives: on random signatures of awkward lengths, on extremes long
// enough to need the lane flushes, on bytes at the edges where unsigned bytes made signed go
// wrong, and with the rows and columns of a block all different.

#include "EveryKernel.h"
#include "comparison/kernels/BlockedKernel.h"
#include "comparison/kernels/DifferenceKernel.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <vector>

namespace vistrel {
namespace {

using Signature = std::vector<std::uint8_t>;

Signature Random(std::size_t pixels, std::uint32_t seed) {
    std::mt19937 random(seed);
    Signature bytes(3 * pixels);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// Lays out four rows and four columns and checks every pair's sums against the scalar
// difference kernel, and each signature's totals and squares against plain sums.
void ExpectBlockMatches(const BlockedKernel& kernel, const std::vector<Signature>& rows,
                        const std::vector<Signature>& columns, bool shapeOnly) {
    const std::size_t pixels = rows[0].size() / 3;
    SignaturePlanesBuffer buffer;
    buffer.Reset(8, pixels, shapeOnly);
    const SignaturePlanes* rowPlanes[4];
    const SignaturePlanes* columnPlanes[4];
    for (std::size_t i = 0; i < 4; ++i) {
        rowPlanes[i] = &buffer.Fill(i, kernel, rows[i].data());
        columnPlanes[i] = &buffer.Fill(4 + i, kernel, columns[i].data());
    }
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t k = 0; k < (shapeOnly ? 1 : 3); ++k) {
            std::int64_t total = 0;
            std::int64_t squares = 0;
            for (std::size_t p = 0; p < pixels; ++p) {
                const std::int64_t value =
                    shapeOnly ? rows[i][3 * p] + rows[i][3 * p + 1] + rows[i][3 * p + 2]
                              : rows[i][3 * p + k];
                total += value;
                squares += value * value;
            }
            EXPECT_EQ(rowPlanes[i]->totals[k], total) << kernel.name << ", channel " << k;
            EXPECT_EQ(rowPlanes[i]->squares[k], squares) << kernel.name << ", channel " << k;
        }
    }
    BlockedKernel::BlockSums sums;
    kernel.blockSquares(rowPlanes, columnPlanes, pixels, shapeOnly, sums);
    for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t c = 0; c < 4; ++c) {
            std::int64_t expected[3] = {0, 0, 0};
            if (shapeOnly) {
                expected[0] =
                    ScalarKernel().shapeSquares(rows[r].data(), columns[c].data(), pixels);
            } else {
                ScalarKernel().channelSquares(rows[r].data(), columns[c].data(), pixels, expected);
            }
            for (std::size_t k = 0; k < (shapeOnly ? 1 : 3); ++k) {
                EXPECT_EQ(sums[r][c][k], expected[k])
                    << kernel.name << ", " << pixels << " pixels, row " << r << ", column " << c
                    << ", channel " << k;
            }
        }
    }
}

// Each test runs once per blocked kernel of the build, the scalar one too.
using BlockedKernels = test::EveryKernel<BlockedKernel>;

TEST_P(BlockedKernels, MatchesTheDifferenceKernelOnRandomSignaturesOfAwkwardLengths) {
    for (const std::size_t pixels : {1u, 21u, 63u, 64u, 65u, 100u, 127u, 10000u, 10001u}) {
        std::vector<Signature> rows;
        std::vector<Signature> columns;
        for (std::uint32_t i = 0; i < 4; ++i) {
            rows.push_back(Random(pixels, static_cast<std::uint32_t>(pixels) * 8 + i));
            columns.push_back(Random(pixels, static_cast<std::uint32_t>(pixels) * 8 + 4 + i));
        }
        ExpectBlockMatches(kernel(), rows, columns, false);
        ExpectBlockMatches(kernel(), rows, columns, true);
    }
}

TEST_P(BlockedKernels, MatchesTheDifferenceKernelOnExtremeSignatures) {
    // Largest products and differences over more pixels than a 32-bit lane could hold without
    // its flush, and a pattern that punishes a wrong channel order.
    const std::size_t pixels = 600000;
    const Signature zeros(3 * pixels, 0);
    const Signature full(3 * pixels, 255);
    Signature alternating(3 * pixels);
    for (std::size_t i = 0; i < alternating.size(); ++i) {
        alternating[i] = (i % 7 == 0 || i % 3 == 1) ? 255 : 0;
    }
    for (const bool shapeOnly : {false, true}) {
        ExpectBlockMatches(kernel(), {full, zeros, alternating, full},
                           {zeros, full, full, alternating}, shapeOnly);
    }
}

TEST_P(BlockedKernels, MatchesTheDifferenceKernelOnBytesAtTheEdgesOfTheirRange) {
    // Kernels that take bytes as signed, or subtract 128 from them, go wrong around 0, 128
    // and 255 first.
    const std::uint8_t edges[] = {0, 1, 127, 128, 129, 254, 255};
    std::mt19937 random(11);
    std::vector<Signature> signatures(8, Signature(3 * 10001));
    for (Signature& signature : signatures) {
        for (auto& byte : signature) {
            byte = edges[random() % std::size(edges)];
        }
    }
    const std::vector<Signature> rows(signatures.begin(), signatures.begin() + 4);
    const std::vector<Signature> columns(signatures.begin() + 4, signatures.end());
    ExpectBlockMatches(kernel(), rows, columns, false);
    ExpectBlockMatches(kernel(), rows, columns, true);
}

INSTANTIATE_TEST_SUITE_P(Built, BlockedKernels, testing::ValuesIn(test::BuiltBlockedKernels()),
                         test::KernelNames());

}  // namespace
}  // namespace vistrel
