#pragma once

#include "ComparisonNotice.h"
#include "NoticeQueue.h"
#include "PairInfo.h"
#include "StopEvent.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// The parameter block of one comparison worker: its pairs, in the order they are compared, and
/// where its notices go. A worker only reads its block.
struct ThreadParams {
    std::vector<PairInfo> pairs;
    /// The run's stop flag, shared by all workers of the run.
    std::shared_ptr<StopEvent> stopEvent;
    /// The receiver of the notices (on this platform a queue drained by the receiving thread).
    std::shared_ptr<NoticeQueue> notices;
    std::uint32_t message = kComparisonNoticeMessage;  ///< number carried by every notice
    float threshold = 0.0f;   ///< similarity limit in percent (the run stores half the user's)
    std::int32_t side = 100;  ///< N, the side length of the signatures
};

}  // namespace vistrel
