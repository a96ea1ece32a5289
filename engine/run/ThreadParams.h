#pragma once

#include "ComparisonNotice.h"
#include "NoticeQueue.h"
#include "SignatureChecks.h"
#include "SpanDispenser.h"
#include "StopEvent.h"
#include "comparison/pruning/ComparisonPairs.h"

#include <cstdint>
#include <memory>

namespace vistrel {

/// The parameter block of one comparison worker: the run's pairs, the spans it takes them in, and
/// where its notices go. Everything is shared with the run, so that a worker that outlives its
/// run still holds valid state. A worker only reads its block.
struct ThreadParams {
    std::shared_ptr<const ComparisonPairs> pairs;
    /// Shared by all workers of the run: each span of pairs is walked by one of them.
    std::shared_ptr<SpanDispenser> spans;
    /// The run's stop flag, shared by all workers of the run.
    std::shared_ptr<StopEvent> stopEvent;
    /// The receiver of the notices: a queue drained by the receiving thread.
    std::shared_ptr<NoticeQueue> notices;
    std::uint32_t message = kComparisonNoticeMessage;  ///< number carried by every notice
    float threshold = 0.0f;   ///< similarity limit in percent (the run stores half the user's)
    std::int32_t side = 100;  ///< N, the side length of the signatures
    /// The comparison mode, read from the settings when the run starts.
    bool shapeOnly = false;
    /// Whether pairs are compared in all eight orientations of the second picture, read from
    /// the settings when the run starts.
    bool turned = false;
    /// The signatures of similar pairs found intact so far, shared by the run's workers; null
    /// for none to check.
    std::shared_ptr<SignatureChecks> checks = nullptr;
};

}  // namespace vistrel
