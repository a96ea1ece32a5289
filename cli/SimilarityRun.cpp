#include "SimilarityRun.h"

#include "Console.h"
#include "comparison/run/ComparisonCollector.h"
#include "repository/PictureRepository.h"

#include <QElapsedTimer>

#include <chrono>
#include <memory>

namespace vistrel::cli {

RunOutcome RunSimilarity(CPictureRepository& repository, const ComparisonOptions& options,
                         std::int32_t target, Console& console, int workerCount) {
    RunOutcome outcome;
    auto notices = std::make_shared<NoticeQueue>();
    ComparisonCollector collector(repository, notices);
    // The links keep only the truncated factor; the output wants it whole.
    collector.SetRecordObserver([&](const PairInfo& record) { outcome.records.push_back(record); });

    QElapsedTimer clock;
    clock.start();
    std::int32_t workers = 0;
    outcome.started = repository.StartComparison(notices, kComparisonNoticeMessage, options,
                                                 &workers, target, &outcome.pairs, workerCount);
    if (outcome.started) {
        // Fewer than two entries start no worker, and no notice will come.
        while (workers > 0 && !collector.Collect(workers)) {
            notices->WaitForNotice(std::chrono::milliseconds(100));
            console.Progress({QStringLiteral("comparing"), QStringLiteral("pairs"),
                              collector.PairsDone(), outcome.pairs, clock.elapsed() / 1000.0});
        }
    }
    repository.StopComparison();
    collector.Close();
    console.EndProgress();
    outcome.seconds = clock.elapsed() / 1000.0;
    return outcome;
}

}  // namespace vistrel::cli
