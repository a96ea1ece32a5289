#pragma once

#include "SimdLevel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

/// Picks, among a run of entries laid out side by side, those whose quarter totals lie near one
/// entry's: per channel (or for the shape alone) the Euclidean norm of the difference of the
/// four quarter totals, summed over the channels, at most a limit. This is what a candidate
/// index keeps of the entries its cells hold; sweeping them this way costs a fraction of a
/// nanosecond an entry, far less than bounding each pair on its own. Float arithmetic: the
/// caller leaves room in the limit for its rounding. SIMD variants live in files of their own
/// and are chosen at run time. Any thread.
struct TotalsFilter {
    /// How many values each plane holds past the last position that may be asked for, and how
    /// much room past `to - from` the output needs.
    static constexpr std::size_t kPadding = 16;
    /// The most channels.
    static constexpr int kChannels = 3;

    const char* name;
    /// Writes to `out`, ascending, every p in [from, to) with
    ///   sum over k < channels of sqrt(sum over q < 4 of d(4k + q)^2) <= limit,
    ///   d(f) = planes[f * stride + p] - values[f],
    /// and returns how many. Each difference must fit an int32.
    std::size_t (*within)(const std::int32_t* planes, std::size_t stride, int channels,
                          const std::int32_t* values, float limit, std::size_t from, std::size_t to,
                          std::uint32_t* out);
    /// The instructions it needs.
    SimdLevel level;
};

/// The plain scalar version, the reference for the others.
const TotalsFilter& ScalarTotalsFilter();

/// Every version this processor can run, the scalar one first.
std::vector<const TotalsFilter*> AvailableTotalsFilters();

/// The fastest version this processor can run within ActiveSimdLevel(). Any thread.
const TotalsFilter& ActiveTotalsFilter();

}  // namespace vistrel
