#pragma once

#include "SimdLevel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

/// The integer heart of the difference factor: sums of squared differences between two
/// signatures (interleaved red, green, blue bytes). The sums are exact integers, so every variant
/// gives bit-identical factors; SIMD variants live in files of their own and are chosen at run
/// time. Any thread.
struct DifferenceKernel {
    const char* name;
    /// Adds to sums[k] the squared differences of channel k over `pixels` pixels.
    void (*channelSquares)(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                           std::int64_t sums[3]);
    /// The sum over `pixels` pixels of the squared difference of the channel totals.
    std::int64_t (*shapeSquares)(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels);
    /// The instructions it needs.
    SimdLevel level;
};

/// The plain scalar kernel: the reference every other kernel must match.
const DifferenceKernel& ScalarKernel();

/// Every kernel this processor can run, the scalar one first.
std::vector<const DifferenceKernel*> AvailableKernels();

/// The fastest kernel this processor can run within ActiveSimdLevel(). Any thread.
const DifferenceKernel& ActiveKernel();

/// The factor from the three channel sums over `pixels` pixels: each channel's RMS rounded to
/// float, averaged in double, rounded to float.
float FactorFromChannelSums(const std::int64_t sums[3], std::int64_t pixels);

/// The shape-only factor from the sum of squared total differences over `pixels` pixels.
float FactorFromShapeSum(std::int64_t sum, std::int64_t pixels);

}  // namespace vistrel
