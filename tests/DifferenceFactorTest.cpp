// The difference factor in both modes, and the strict similarity threshold.

#include "SignatureBuilders.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/pruning/SketchTable.h"
#include "signature/AreaResampler.h"
#include "signature/SignatureSketch.h"
#include "support/TestPictures.h"

#include <QTransform>
#include <vector>

#include <gtest/gtest.h>

#include <cmath>

namespace vistrel {
namespace {

using test::kSide;
using test::UniformSignature;

float Difference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                 bool shapeOnly) {
    return ComputeDifferenceReference(a.data(), b.data(), kSide, shapeOnly);
}

class DifferenceFactorModes : public testing::TestWithParam<bool> {};

TEST_P(DifferenceFactorModes, KnownFactors) {
    const bool shapeOnly = GetParam();
    const auto black = UniformSignature(0, 0, 0);
    const auto white = UniformSignature(255, 255, 255);
    EXPECT_EQ(Difference(black, black, shapeOnly), 0.0f);
    EXPECT_EQ(Difference(UniformSignature(10, 10, 10), UniformSignature(20, 20, 20), shapeOnly),
              10.0f);
    EXPECT_EQ(Difference(black, white, shapeOnly), 255.0f);
    // A shift of d in every byte is a factor of d, whatever the colours.
    EXPECT_EQ(Difference(UniformSignature(3, 100, 200), UniformSignature(10, 107, 207), shapeOnly),
              7.0f);
}

TEST_P(DifferenceFactorModes, SymmetricInItsArguments) {
    const bool shapeOnly = GetParam();
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
        const auto a = test::RandomSignature(seed);
        const auto b = test::RandomSignature(seed + 100);
        EXPECT_EQ(Difference(a, b, shapeOnly), Difference(b, a, shapeOnly));
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, DifferenceFactorModes, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ShapeOnly" : "Normal"; });

TEST(DifferenceFactor, RedAgainstGreenDependsOnTheMode) {
    const auto red = UniformSignature(255, 0, 0);
    const auto green = UniformSignature(0, 255, 0);
    EXPECT_EQ(Difference(red, green, false), 170.0f);
    EXPECT_EQ(Difference(red, green, true), 0.0f);
}

TEST(DifferenceFactor, NormalModeRoundsEachChannelToFloatBeforeAveraging) {
    // One pixel differs: by 1 in red, 2 in green, 3 in blue. Each channel's RMS is
    // sqrt(d^2 / 10000) = d / 100, rounded to float, then averaged in double.
    auto a = UniformSignature(50, 50, 50);
    auto b = a;
    b[0] = 51;
    b[1] = 52;
    b[2] = 53;
    const double expected =
        (static_cast<double>(static_cast<float>(std::sqrt(1.0 / 10000))) +
         static_cast<float>(std::sqrt(4.0 / 10000)) + static_cast<float>(std::sqrt(9.0 / 10000))) /
        3.0;
    EXPECT_EQ(Difference(a, b, false), static_cast<float>(expected));
    // Shape-only: the sums differ by 6 in one pixel.
    EXPECT_EQ(Difference(a, b, true), static_cast<float>(std::sqrt((36.0 / 9.0) / 10000)));
}

TEST(DifferenceFactor, LargestSumsDoNotOverflow) {
    // Every pixel at the largest difference, in a large signature: 64-bit sums are needed.
    const int side = 1000;
    const std::vector<std::uint8_t> zeros(3u * side * side, 0);
    const std::vector<std::uint8_t> full(3u * side * side, 255);
    EXPECT_EQ(ComputeDifferenceReference(zeros.data(), full.data(), side, false), 255.0f);
    EXPECT_EQ(ComputeDifferenceReference(zeros.data(), full.data(), side, true), 255.0f);
}

TEST(DifferenceFactor, FollowsTheShapeOnlySetting) {
    const auto red = UniformSignature(255, 0, 0);
    const auto green = UniformSignature(0, 255, 0);
    EXPECT_EQ(ComputeDifference(red.data(), green.data(), kSide, false), 170.0f);
    EXPECT_EQ(ComputeDifference(red.data(), green.data(), kSide, true), 0.0f);
}

TEST(TurnedDifference, FindsAPictureTurnedRightAndNamesTheTurnThatUndoesIt) {
    // A photograph turned 90 degrees right looks like its original once turned left again;
    // each orientation's block totals are those of the turned pixels.
    const QImage photo = test::MakePhotoLike(120, 90, 3);
    const std::vector<std::uint8_t> original = ResampleToSignature(photo, test::kSide);
    const std::vector<std::uint8_t> turnedRight = ResampleToSignature(
        photo.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_RGB888),
        test::kSide);
    EXPECT_GT(ComputeDifferenceReference(original.data(), turnedRight.data(), test::kSide, false),
              20.0f);
    Orientation orientation = Orientation::None;
    EXPECT_LT(ComputeTurnedDifferenceReference(original.data(), turnedRight.data(), test::kSide,
                                               false, orientation),
              3.0f);
    EXPECT_EQ(orientation, Orientation::Rot270);
    EXPECT_STREQ(OrientationName(orientation), "rot270");
    std::vector<std::uint8_t> turned(test::kSignatureBytes);
    for (int o = 0; o < kOrientationCount; ++o) {
        const auto way = static_cast<Orientation>(o);
        OrientSignature(turnedRight.data(), turned.data(), test::kSide, way);
        SignatureSketch fromBlocks;
        ASSERT_TRUE(OrientSketch(ComputeSketch(turnedRight.data(), test::kSide), test::kSide, way,
                                 fromBlocks));
        const SignatureSketch fromPixels = ComputeSketch(turned.data(), test::kSide);
        EXPECT_EQ(fromBlocks.blockTotals, fromPixels.blockTotals) << OrientationName(way);
        const SketchTable::Totals storedTotals =
            SketchTable::TotalsOf(ComputeSketch(turnedRight.data(), test::kSide));
        const SketchTable::Totals turnedTotals = SketchTable::TotalsOf(fromPixels);
        std::int32_t quarters[4][3];
        OrientQuarters(storedTotals.quarter, quarters, way);
        for (int q = 0; q < 4; ++q) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(quarters[q][k], turnedTotals.quarter[q][k]) << OrientationName(way);
            }
        }
        // Turning back restores the signature.
        std::vector<std::uint8_t> back(test::kSignatureBytes);
        OrientSignature(turned.data(), back.data(), test::kSide, Inverse(way));
        EXPECT_EQ(back, turnedRight) << OrientationName(way);
    }
}

TEST(SimilarityThreshold, IsStrict) {
    // Threshold 25 percent (a user threshold of 50): 64 is exactly 25 %, 63.5 is 24.8 %.
    EXPECT_FALSE(IsSimilarFactor(64.0f, 25.0f));
    EXPECT_TRUE(IsSimilarFactor(63.5f, 25.0f));
    // Identical pictures are similar at any threshold above 0, never at 0.
    EXPECT_TRUE(IsSimilarFactor(0.0f, 0.001f));
    EXPECT_FALSE(IsSimilarFactor(0.0f, 0.0f));
    // The default threshold 4 is stored as 2: factors below 5.12 are similar.
    EXPECT_TRUE(IsSimilarFactor(5.11f, 2.0f));
    EXPECT_FALSE(IsSimilarFactor(5.13f, 2.0f));
    // The percent scale divides by 256, not 255.
    EXPECT_TRUE(IsSimilarFactor(255.0f, 99.61f));
    EXPECT_FALSE(IsSimilarFactor(255.0f, 99.609375f));
}

}  // namespace
}  // namespace vistrel
