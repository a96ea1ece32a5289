#pragma once

#include "comparison/kernels/PairInfo.h"
#include "run/ComparisonRun.h"

#include <cstdint>
#include <vector>

namespace vistrel {
class CPictureRepository;
}

namespace vistrel::cli {

class Console;

/// What a similarity run found: its similar pairs in the run's order, with their exact factors.
struct RunOutcome {
    bool started = true;  ///< false when the worker threads could not be made
    std::vector<PairInfo> records;
    std::uint64_t pairs = 0;
    double seconds = 0.0;
    /// Similar pairs left out because they are marked not similar.
    std::uint64_t markedLeftOut = 0;
    /// Why the run stopped by itself (ComparisonRun::Fault), or empty.
    QString fault;
};

/// Whether the run started and walked every pair; if not, says why on the console.
bool RanWhole(const RunOutcome& outcome, Console& console);

/// Runs a comparison to its end, as the Progress dialog does, with its progress on the
/// console. The repository's links are replaced by the run's; the pairs of `marked` are left
/// out.
RunOutcome RunSimilarity(CPictureRepository& repository, const ComparisonOptions& options,
                         Console& console, const MarkedPairs& marked = {});

}  // namespace vistrel::cli
