#pragma once

#include <QString>

#include <cstdint>

namespace vistrel::cli {

/// One state of a phase's progress, as the progress line shows it.
struct ProgressState {
    QString phase;  ///< "scanning", "loading", "comparing"
    QString unit;   ///< what is counted: "pictures", "pairs"; empty: nothing counted
    std::uint64_t done = 0;
    std::uint64_t total = 0;  ///< 0 when the total is not known
    double seconds = 0.0;     ///< time spent in the phase so far
};

/// The text of the progress line for `state`, at most `width` columns: a bar when the total is
/// known, the counts, the rate and the time left (or spent, without a total).
QString FormatProgressLine(const ProgressState& state, int width);

/// A duration as "12.3 s", "4:05" or "1:02:03".
QString FormatDuration(double seconds);

}  // namespace vistrel::cli
