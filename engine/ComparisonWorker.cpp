#include "ComparisonWorker.h"

#include "DifferenceFactor.h"

namespace vistrel {

int ComparisonWorker(const ThreadParams& block) {
    std::uint64_t span = 0;
    std::uint64_t firstPair = 0;
    bool stopped = false;
    while (!stopped && block.spans->Take(span, firstPair)) {
        ComparisonNotice notice{block.message, kNoticePairsCompared, span, 0, true, {}};
        notice.pairsDone = block.pairs->VisitPairs(
            firstPair, block.spans->SpanLength(), [&](const PairInfo& pair) {
                if (pair.signatureA == nullptr || pair.signatureB == nullptr) {
                    return true;  // an entry without a signature takes part in no comparison
                }
                const float factor =
                    ComputeDifference(pair.signatureA, pair.signatureB, block.side);
                if (IsSimilarFactor(factor, block.threshold)) {
                    notice.records.push_back(
                        PairInfo{nullptr, nullptr, pair.indexA, pair.indexB, factor});
                }
                stopped = block.stopEvent->IsSet();
                return !stopped;
            });
        notice.complete = !stopped;
        block.notices->Post(std::move(notice));
    }
    block.notices->Post(ComparisonNotice{block.message, kNoticeWorkerFinished, 0, 0, true, {}});
    return 0;
}

}  // namespace vistrel
