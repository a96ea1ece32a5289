#pragma once

#include "comparison/kernels/PairInfo.h"
#include "settings/ComparisonOptions.h"

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
};

/// Runs a comparison to its end under `options`, as the Progress dialog does:
/// every pair (`target` below 0) or the pairs of entry `target`. The repository's links are
/// replaced by the run's.
/// `workers`: threads to compare on, 0 for one per core.
RunOutcome RunSimilarity(CPictureRepository& repository, const ComparisonOptions& options,
                         std::int32_t target, Console& console, int workers = 0);

}  // namespace vistrel::cli
