#include "ComparisonWorker.h"

#include "DifferenceFactor.h"

namespace vistrel {

int ComparisonWorker(const ThreadParams& block) {
    for (const PairInfo& pair : block.pairs) {
        if (pair.signatureA == nullptr || pair.signatureB == nullptr) {
            continue;
        }
        const float factor = ComputeDifference(pair.signatureA, pair.signatureB, block.side);
        ComparisonNotice notice{block.message, kNoticePairCompared, nullptr};
        if (IsSimilarFactor(factor, block.threshold)) {
            notice.record = std::make_unique<PairInfo>(
                PairInfo{nullptr, nullptr, pair.indexA, pair.indexB, factor});
        }
        block.notices->Post(std::move(notice));
        if (block.stopEvent && block.stopEvent->IsSet()) {
            break;
        }
    }
    block.notices->Post(ComparisonNotice{block.message, kNoticeWorkerFinished, nullptr});
    return 0;
}

}  // namespace vistrel
