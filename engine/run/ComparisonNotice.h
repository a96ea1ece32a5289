#pragma once

#include "comparison/kernels/PairInfo.h"

#include <cstdint>
#include <vector>

namespace vistrel {

/// Message number of the notices of a comparison run.
inline constexpr std::uint32_t kComparisonNoticeMessage = 1025;

/// Notice codes of a comparison worker.
inline constexpr int kNoticePairsCompared = 1;   ///< a span of pairs has been walked
inline constexpr int kNoticeWorkerFinished = 2;  ///< the worker has ended (done or stopped)
/// The run's pairs are made (by the thread that prepares them): its workers may start.
inline constexpr int kNoticePairsPrepared = 3;

/// One notice from a comparison worker to the receiver of its run. Workers walk the run's pairs
/// in spans; one notice reports one span, so that the receiver can put the results of several
/// workers back into the run's order.
struct ComparisonNotice {
    std::uint32_t message = kComparisonNoticeMessage;
    int code = 0;
    std::uint64_t span = 0;       ///< sequence number of the span within the run
    std::uint64_t pairsDone = 0;  ///< pairs of the span walked, compared or passed over
    bool complete = true;         ///< false when the worker stopped inside the span
    /// The similar pairs of the span, in pair order, with their factors (no signatures).
    std::vector<PairInfo> records;
    /// Of the pairs walked, those the run's scope left out without comparing them.
    std::uint64_t pairsSkipped = 0;
    /// Pairs handed to the pair decision while walking the span, stopped or not.
    std::uint64_t comparisons = 0;
    /// A signature of a similar pair of the span is no longer as its store wrote it: the span
    /// and everything after it are not to be trusted.
    bool damaged = false;
};

}  // namespace vistrel
