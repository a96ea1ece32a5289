#pragma once

#include "comparison/kernels/PairInfo.h"
#include "progress/ProgressObserver.h"

namespace vistrel {

/// Whoever waits for a similarity run: its progress (done: pairs walked, total: pairs of the
/// run) and whether it should stop, as for any long work, plus the similar pairs and the end.
/// The run calls every method on the thread that collects it (see ComparisonRun), never on a
/// worker's; none of them may destroy the run.
class ComparisonObserver : public ProgressObserver {
public:
    /// A similar pair, just recorded as two links, in the run's pair order, with its exact
    /// factor in percent (the links keep it truncated).
    virtual void PairFound(const PairInfo& pair) { static_cast<void>(pair); }

    /// The run has ended, once per start: `finished` when every pair was walked, false when it
    /// was stopped or could not start.
    virtual void RunEnded(bool finished) { static_cast<void>(finished); }
};

}  // namespace vistrel
