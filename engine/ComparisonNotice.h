#pragma once

#include "PairInfo.h"

#include <cstdint>
#include <memory>

namespace vistrel {

/// Message number of the notices of a comparison run.
inline constexpr std::uint32_t kComparisonNoticeMessage = 1025;

/// Notice codes of a comparison worker.
inline constexpr int kNoticePairCompared = 1;    ///< one pair compared; record set when similar
inline constexpr int kNoticeWorkerFinished = 2;  ///< the worker has ended (done or stopped)

/// One notice from a comparison worker to the receiver of its run. The receiver owns the record.
struct ComparisonNotice {
    std::uint32_t message = kComparisonNoticeMessage;
    int code = 0;
    std::unique_ptr<PairInfo> record;  ///< result of a similar pair, else null
};

}  // namespace vistrel
