// The area-averaging resampler against a plain two-dimensional coverage sum.

#include "signature/AreaResampler.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace vistrel {
namespace {

// Every source pixel weighted by the area it shares with the target pixel, computed directly in
// two dimensions with exact integers: an independent statement of the same rule.
std::vector<std::uint8_t> CoverageReference(const QImage& source, int side) {
    const std::int64_t w = source.width();
    const std::int64_t h = source.height();
    const auto overlap = [side](std::int64_t sourcePixel, std::int64_t target,
                                std::int64_t length) {
        const std::int64_t begin = std::max(sourcePixel * side, target * length);
        const std::int64_t end = std::min((sourcePixel + 1) * side, (target + 1) * length);
        return std::max<std::int64_t>(0, end - begin);
    };
    std::vector<std::uint8_t> result(3u * side * side);
    for (int x = 0; x < side; ++x) {
        for (int y = 0; y < side; ++y) {
            std::int64_t sum[3] = {0, 0, 0};
            for (std::int64_t sy = 0; sy < h; ++sy) {
                const std::int64_t wy = overlap(sy, y, h);
                if (wy == 0) {
                    continue;
                }
                const uchar* row = source.constScanLine(static_cast<int>(sy));
                for (std::int64_t sx = 0; sx < w; ++sx) {
                    const std::int64_t weight = wy * overlap(sx, x, w);
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += weight * row[3 * sx + c];
                    }
                }
            }
            for (int c = 0; c < 3; ++c) {
                result[3 * (x * side + y) + c] =
                    static_cast<std::uint8_t>((sum[c] + w * h / 2) / (w * h));
            }
        }
    }
    return result;
}

QImage RandomPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    return test::MakePicture(
        width, height, [&random](int, int) { return static_cast<QRgb>(random()) | 0xFF000000u; });
}

TEST(AreaResampler, MatchesTheCoverageSumOnAwkwardSizes) {
    // Reductions, enlargements, mixed, and sizes that share no factor with the target.
    const QSize sizes[] = {{1, 1}, {7, 13}, {250, 3}, {3, 250}, {101, 99}, {333, 17}, {100, 100}};
    std::uint32_t seed = 1;
    for (const QSize& size : sizes) {
        const QImage source = RandomPicture(size.width(), size.height(), seed++);
        EXPECT_EQ(ResampleToSignature(source, 23), CoverageReference(source, 23))
            << size.width() << " x " << size.height();
    }
}

TEST(AreaResampler, PaddedRowsAreReadCorrectly) {
    // RGB888 rows of an odd width are padded to four bytes; the padding must not leak in.
    const QImage source = RandomPicture(37, 41, 99);
    ASSERT_NE(source.bytesPerLine(), 37 * 3);
    EXPECT_EQ(ResampleToSignature(source, 100), CoverageReference(source, 100));
}

TEST(AreaResampler, ReadsThirtyTwoBitPixelsAsTheirCopy) {
    // Qt's readers hand most pictures over in 32-bit RGB, which is read without a copy.
    const QImage source = RandomPicture(333, 17, 7);
    const QImage wide = source.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(wide.format(), QImage::Format_RGB32);
    EXPECT_EQ(ResampleToSignature(wide, 23), CoverageReference(source, 23));
}

TEST(AreaResampler, RefusesWhatItCannotRead) {
    EXPECT_TRUE(ResampleToSignature(QImage(), 100).empty());
    EXPECT_TRUE(ResampleToSignature(QImage(4, 4, QImage::Format_ARGB32), 100).empty());
}

}  // namespace
}  // namespace vistrel
