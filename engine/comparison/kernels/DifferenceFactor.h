#pragma once

#include "Orientation.h"

#include <cstdint>

namespace vistrel {

/// The difference factor of two signatures of 3 x side x side bytes: a root-mean-square
/// difference on the scale of one colour byte, 0 (identical) to 255, in the mode `shapeOnly`
/// gives (see ComputeDifferenceReference). Symmetric in its two signatures; any thread.
float ComputeDifference(const std::uint8_t* signatureA, const std::uint8_t* signatureB,
                        std::int32_t side, bool shapeOnly);

/// The plain reference arithmetic of the difference factor, in the mode given. In the normal
/// mode the mean of the three per-channel RMS differences; in the shape-only mode the RMS
/// difference of the per-pixel channel sums, divided by 3. Any thread.
float ComputeDifferenceReference(const std::uint8_t* signatureA, const std::uint8_t* signatureB,
                                 std::int32_t side, bool shapeOnly);

/// The plain reference of the factor when turned and mirrored pictures count: the smallest
/// ComputeDifferenceReference between signature A and signature B in each of the eight
/// orientations, and in `orientation` the first orientation of B, in their fixed order, that
/// gives it. Any thread.
float ComputeTurnedDifferenceReference(const std::uint8_t* signatureA,
                                       const std::uint8_t* signatureB, std::int32_t side,
                                       bool shapeOnly, Orientation& orientation);

/// A difference factor (0..255) in percent of 256, the scale the comparison holds against half of
/// the user's threshold. Any thread.
double FactorPercent(float factor);

/// A difference factor (0..255) on the scale of the user's threshold, as the user sees it: a pair
/// is similar exactly when this lies below the threshold (twice FactorPercent, so 0 to 199.2).
/// Any thread.
double ShownFactor(float factor);

/// True when a pair with difference factor `factor` (0..255) counts as similar under
/// `thresholdPercent`: FactorPercent(factor) lies strictly below it, in double precision.
bool IsSimilarFactor(float factor, float thresholdPercent);

}  // namespace vistrel
