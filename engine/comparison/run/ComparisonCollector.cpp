#include "ComparisonCollector.h"

#include "repository/PictureRepository.h"

namespace vistrel {

ComparisonCollector::ComparisonCollector(CPictureRepository& repositoryToFill,
                                         std::shared_ptr<NoticeQueue> queue)
    : repository(repositoryToFill), notices(std::move(queue)) {}

bool ComparisonCollector::Collect(std::int32_t workers) {
    for (ComparisonNotice& notice : notices->TakeAll()) {
        if (notice.code == kNoticeWorkerFinished) {
            ++workersFinished;
            continue;
        }
        pairsDone += notice.pairsDone;
        if (ended || notice.span < nextSpan) {
            continue;
        }
        const std::uint64_t span = notice.span;
        waiting.emplace(span, std::move(notice));
    }
    for (auto next = waiting.find(nextSpan); next != waiting.end() && !ended;
         next = waiting.find(nextSpan)) {
        Record(next->second);
        waiting.erase(next);
    }
    if (ended) {
        waiting.clear();
    }
    return workersFinished >= workers;
}

void ComparisonCollector::Record(const ComparisonNotice& notice) {
    for (const PairInfo& record : notice.records) {
        repository.AddSimilarPair(record);
        if (recordObserver) {
            recordObserver(record);
        }
    }
    ++nextSpan;
    pairsRecorded += notice.pairsDone;
    ended = !notice.complete;
}

void ComparisonCollector::Close() {
    Collect(0);
    notices->Close();
    waiting.clear();
}

}  // namespace vistrel
