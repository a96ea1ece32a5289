#pragma once

#include "SimdLevel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

/// Picks, among a run's entries, those whose three totals lie near one entry's: the candidates
/// that the cheapest bound (the channel totals, or in the shape-only mode the sketch key) leaves
/// for a closer look. Sweeping a whole range of entries this way costs a fraction of a
/// nanosecond an entry, far less than bounding each pair on its own. The totals are kept in
/// three planes (one int32 per entry each); SIMD variants live in files of their own and are
/// chosen at run time. Any thread.
struct TotalsFilter {
    /// Every total, and the limit, is at most this, so no sum of differences overflows.
    static constexpr std::int32_t kMaxTotal = 1 << 28;
    /// Plane 0's value of an entry that is never picked (one without a signature).
    static constexpr std::int32_t kAbsent = 1 << 30;
    /// How many values the planes hold past the last entry (any, within the range above), and
    /// how much room past `last - first` the output needs.
    static constexpr std::int32_t kPadding = 16;

    const char* name;
    /// Writes to `out`, ascending, every j in [first, last) with
    /// |planes[0][j] - values[0]| + |planes[1][j] - values[1]| + |planes[2][j] - values[2]|
    /// at most `limit`, and returns how many. `out` has room for last - first + kPadding.
    std::size_t (*within)(const std::int32_t* const planes[3], const std::int32_t values[3],
                          std::int32_t limit, std::int32_t first, std::int32_t last,
                          std::int32_t* out);
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
