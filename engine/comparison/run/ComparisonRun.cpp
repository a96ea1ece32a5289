// Starting and stopping a similarity run of the repository.

#include "ComparisonWorker.h"
#include "repository/PictureRepository.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace vistrel {

namespace {

// Spans are long enough that notices stay few and that a worker compares many rows against each
// picture it reads (so that the rows stay in the cache), short enough that every worker gets
// many and that progress moves often.
constexpr std::uint64_t kLongestSpan = 1 << 22;
constexpr std::uint64_t kSpansPerWorker = 16;

// Spans of whole rows of the whole-repository order, each at least `pairsPerSpan` pairs long
// (but the last): the start of each span.
std::vector<std::uint64_t> WholeRowSpans(const ComparisonPairs& pairs, std::uint64_t pairsPerSpan) {
    std::vector<std::uint64_t> starts{0};
    std::int32_t row = 0;
    while (true) {
        const std::uint64_t spanStart = starts.back();
        std::uint64_t end = spanStart;
        while (end < pairs.Count() && end - spanStart < pairsPerSpan) {
            end = pairs.RowStart(++row);
        }
        if (end >= pairs.Count()) {
            return starts;
        }
        starts.push_back(end);
    }
}

}  // namespace

CPictureRepository::~CPictureRepository() {
    StopComparison();
}

bool CPictureRepository::StartComparison(std::shared_ptr<NoticeQueue> notices,
                                         std::uint32_t message, const ComparisonOptions& options,
                                         std::int32_t* workersOut, std::int32_t target,
                                         std::uint64_t* pairsOut, int workerCount) {
    const float halfThreshold = options.threshold / 2;
    for (CPictureInfo& picture : pictures) {
        picture.similar.clear();
    }
    if (GetCount() < 2 || IsComparing()) {
        return true;
    }
    // An entry marked unreadable takes part in no comparison, even if it kept a signature.
    std::vector<SignatureBytes> signatures;
    signatures.reserve(pictures.size());
    for (const CPictureInfo& picture : pictures) {
        signatures.push_back(picture.loadError ? SignatureBytes() : picture.signature);
    }
    const bool shapeOnly = options.shapeOnly;
    const bool turned = options.findTurnedCopies;
    const auto pairs = std::make_shared<const ComparisonPairs>(std::move(signatures), target, side,
                                                               halfThreshold, shapeOnly);
    if (workerCount <= 0) {
        workerCount = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    const std::uint64_t pairsPerSpan = std::clamp<std::uint64_t>(
        pairs->Count() / (kSpansPerWorker * static_cast<std::uint64_t>(workerCount)), 1,
        kLongestSpan);
    const auto spans = target >= 0 ? std::make_shared<SpanDispenser>(pairs->Count(), pairsPerSpan)
                                   : std::make_shared<SpanDispenser>(
                                         WholeRowSpans(*pairs, pairsPerSpan), pairs->Count());

    stopEvent = std::make_shared<StopEvent>();
    for (int i = 0; i < workerCount; ++i) {
        workerParams.push_back(std::make_shared<ThreadParams>(ThreadParams{
            pairs, spans, stopEvent, notices, message, halfThreshold, side, shapeOnly, turned}));
    }
    try {
        for (const std::shared_ptr<ThreadParams>& block : workerParams) {
            workerThreads.emplace_back([block] { ComparisonWorker(*block); });
        }
    } catch (const std::system_error&) {
        StopComparison();
        return false;
    }
    *workersOut = static_cast<std::int32_t>(workerThreads.size());
    *pairsOut = pairs->Count();
    return true;
}

void CPictureRepository::StopComparison() {
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeLimit;
    if (stopEvent) {
        stopEvent->Set();
        for (WorkerThread& worker : workerThreads) {
            worker.WaitUntil(deadline);
        }
    }
    workerThreads.clear();
    stopEvent.reset();
    workerParams.clear();
}

}  // namespace vistrel
