#include "SimilarityRun.h"

#include "Console.h"
#include "repository/PictureRepository.h"

#include <QElapsedTimer>

namespace vistrel::cli {

namespace {

// Draws the run's progress line and keeps the similar pairs: the links keep only the truncated
// factor; the output wants it whole.
class ConsoleObserver final : public ComparisonObserver {
public:
    ConsoleObserver(Console& console, RunOutcome& outcome, const QElapsedTimer& clock)
        : console(console), outcome(outcome), clock(clock) {}

    void Report(const ProgressReport& report) override {
        console.Progress({QStringLiteral("comparing"), QStringLiteral("pairs"), report.done,
                          report.total, clock.elapsed() / 1000.0});
    }
    void PairFound(const PairInfo& pair) override { outcome.records.push_back(pair); }
    void RunEnded(bool) override { console.EndProgress(); }

private:
    Console& console;
    RunOutcome& outcome;
    const QElapsedTimer& clock;
};

}  // namespace

RunOutcome RunSimilarity(CPictureRepository& repository, const ComparisonOptions& options,
                         Console& console, const MarkedPairs& marked) {
    RunOutcome outcome;
    QElapsedTimer clock;
    clock.start();
    ConsoleObserver observer(console, outcome, clock);
    ComparisonRun run(repository, options, &observer);
    run.SetMarkedPairs(marked);
    outcome.started = run.Run();
    outcome.markedLeftOut = run.MarkedPairsLeftOut();
    outcome.pairs = run.Pairs();
    outcome.seconds = clock.elapsed() / 1000.0;
    outcome.fault = run.Fault();
    return outcome;
}

bool RanWhole(const RunOutcome& outcome, Console& console) {
    if (!outcome.started) {
        console.Error(QStringLiteral("cannot start the comparison: no thread could be made"));
        return false;
    }
    if (!outcome.fault.isEmpty()) {
        console.Error(outcome.fault);
        return false;
    }
    return true;
}

}  // namespace vistrel::cli
