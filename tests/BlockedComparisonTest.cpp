// Comparing spans in full, block by block, finds exactly the pairs, factors and order that the
// reference comparison of each pair gives: across tiles and panels, with entries that have no
// signature, rows that start in the middle, and a stop.

#include "EveryKernel.h"
#include "SignatureBuilders.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/pruning/BlockedComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace vistrel {
namespace {

using RowRange = BlockedComparison::RowRange;
using Found = BlockedComparison::Found;

constexpr float kThreshold = 5.0f;  // as the workers compare: half the user's 10

// Groups of near-copies with noise of growing strength, so that some copies are similar to
// their base and others are not; every 37th entry has no signature.
std::vector<SignatureBytes> NearCopyGroups(int count) {
    std::vector<SignatureBytes> signatures;
    std::mt19937 random(5);
    for (int entry = 0; entry < count; ++entry) {
        if (entry % 37 == 36) {
            signatures.emplace_back();
            continue;
        }
        auto bytes = test::RandomSignature(static_cast<std::uint32_t>(entry / 5) + 1);
        const int noise = 6 * (entry % 5);
        for (auto& byte : bytes) {
            const int shift = static_cast<int>(random() % (2 * noise + 1)) - noise;
            byte = static_cast<std::uint8_t>(std::clamp(byte + shift, 0, 255));
        }
        signatures.emplace_back(std::move(bytes));
    }
    return signatures;
}

std::vector<Found> ReferenceFound(const ComparisonPairs& pairs, const std::vector<RowRange>& rows,
                                  bool shapeOnly) {
    std::vector<Found> found(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::uint8_t* b = pairs.Signature(rows[r].row);
        for (std::int32_t j = rows[r].first; j < rows[r].last && b != nullptr; ++j) {
            const std::uint8_t* a = pairs.Signature(j);
            if (a == nullptr) {
                continue;
            }
            const float factor = ComputeDifferenceReference(a, b, test::kSide, shapeOnly);
            if (IsSimilarFactor(factor, kThreshold)) {
                found[r].emplace_back(j, factor);
            }
        }
    }
    return found;
}

// Every row against all later entries, but the first row, which starts in the middle.
std::vector<RowRange> Rows(std::int32_t count) {
    std::vector<RowRange> rows{{0, 100, std::min(140, count)}};
    for (std::int32_t i = 1; i + 1 < count; ++i) {
        rows.push_back({i, i + 1, count});
    }
    return rows;
}

void ExpectSameAsReference(const std::vector<const BlockedKernel*>& kernels, int count,
                           bool shapeOnly) {
    const ComparisonPairs pairs(NearCopyGroups(count), -1, test::kSide);
    const auto rows = Rows(count);
    const auto expected = ReferenceFound(pairs, rows, shapeOnly);
    // Not trivial: some near-copies are similar and most pairs are not.
    std::size_t similar = 0;
    for (const Found& list : expected) {
        similar += list.size();
    }
    EXPECT_GT(similar, static_cast<std::size_t>(count) / 10);
    EXPECT_LT(similar, static_cast<std::size_t>(count) * 2);
    std::size_t withSignatures = 0;
    for (const RowRange& range : rows) {
        for (std::int32_t j = range.first; j < range.last; ++j) {
            withSignatures +=
                pairs.Signature(range.row) != nullptr && pairs.Signature(j) != nullptr;
        }
    }
    for (const BlockedKernel* kernel : kernels) {
        BlockedComparison blocked(*kernel, pairs, test::kSide, kThreshold, shapeOnly);
        std::vector<Found> found(rows.size());
        std::size_t decided = 0;
        ASSERT_FALSE(blocked.Compare(rows, found, [&decided](std::size_t n) {
            decided += n;
            return false;
        }));
        EXPECT_EQ(found, expected) << kernel->name << ", shape only " << shapeOnly;
        // Every pair of two signatures was decided once.
        EXPECT_EQ(decided, withSignatures) << kernel->name;
    }
}

TEST(BlockedComparison, ScalarKernelFindsTheReferencePairs) {
    ExpectSameAsReference({&ScalarBlockedKernel()}, 150, false);
    ExpectSameAsReference({&ScalarBlockedKernel()}, 150, true);
}

// Runs once per SIMD blocked kernel of the build.
using VectorBlockedComparison = test::EveryKernel<BlockedKernel>;

TEST_P(VectorBlockedComparison, FindsTheReferencePairsOverSeveralTiles) {
    // More rows than one tile holds.
    ExpectSameAsReference({&kernel()}, 300, false);
    ExpectSameAsReference({&kernel()}, 300, true);
}

INSTANTIATE_TEST_SUITE_P(Built, VectorBlockedComparison,
                         testing::ValuesIn(test::BuiltVectorBlockedKernels()), test::KernelNames());

TEST(BlockedComparison, AStopEndsTheComparisonAtOnce) {
    const ComparisonPairs pairs(NearCopyGroups(60), -1, test::kSide);
    const auto rows = Rows(60);
    BlockedComparison blocked(ScalarBlockedKernel(), pairs, test::kSide, kThreshold, false);
    std::vector<Found> found(rows.size());
    int asked = 0;
    EXPECT_TRUE(blocked.Compare(rows, found, [&asked](std::size_t) { return ++asked == 3; }));
    EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace vistrel
