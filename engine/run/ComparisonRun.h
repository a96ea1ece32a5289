#pragma once

#include "ComparisonNotice.h"
#include "ComparisonObserver.h"
#include "NoticeQueue.h"
#include "StopEvent.h"
#include "WorkerThread.h"
#include "marks/MarkedPairs.h"
#include "marks/SignatureDigest.h"
#include "settings/ComparisonOptions.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// One similarity run of a repository: prepares its pairs on a thread of their own, then starts
/// one ComparisonWorker per thread, collects what they find and records it as links, and stops
/// them.
///
/// Threads: the preparing thread and the workers only read the signatures the run took at its
/// start (the sketch index of hundreds of thousands of entries takes a while to make, so it is
/// not made on the calling thread), and post their notices to a queue. Everything else, the
/// repository and the observer included, happens on the one thread that calls the methods (the GUI
/// thread in the window): Collect and WaitAndCollect take the pairs that arrived, in the run's
/// pair order whatever order the spans of several workers came in, so the repository is changed
/// only there. A search records them as they come; the test of the whole repository walks its
/// rows in the order of the candidate index and records its pairs when it ends, in the order of
/// their entries (the order a walk row after row gives). No entry may be added or removed while
/// the run is active. After a stop only the unbroken prefix of spans counts: the links are
/// exactly those of one worker walking the pairs in the run's order up to the stop.
class ComparisonRun {
public:
    /// How long a stop waits for the workers in all before it abandons them.
    static constexpr std::chrono::milliseconds kStopTimeLimit{10'000};

    /// A run of `repository` with `options`, reporting to `observer` when one is given; both
    /// must outlive every call but the destructor.
    ComparisonRun(CPictureRepository& repository, const ComparisonOptions& options,
                  ComparisonObserver* observer = nullptr);
    ComparisonRun(const ComparisonRun&) = delete;
    ComparisonRun& operator=(const ComparisonRun&) = delete;
    /// Stops the workers (as StopComparison) but neither records nor reports anything: it
    /// touches neither the repository nor the observer, so it may come after either is gone.
    ~ComparisonRun();

    /// Empties every similar list, then starts comparing every pair of entries or the target
    /// with every other one: a thread prepares the run's pairs, and the first Collect after it
    /// is done starts the workers. Entries marked unreadable take part in no comparison. With
    /// fewer than two entries nothing starts and the run has ended at once. Returns false when
    /// the preparing thread could not be made (the run has then ended too). Once per run.
    bool StartComparison();

    /// The pairs the user marked not similar: a found pair whose two signatures' digests are
    /// marked is left out, neither linked nor reported, only counted. Before StartComparison;
    /// none by default.
    void SetMarkedPairs(MarkedPairs marked) { markedPairs = std::move(marked); }

    /// Records what the workers have reported so far, reports the progress, and stops the run
    /// when the observer asks for it. True once the run has ended (all workers done, or
    /// stopped); the observer has then been told. Starts the workers once the pairs are
    /// prepared; until then it neither reports nor asks the observer anything (the run's size
    /// is not known yet). Waits for no notice, only for the threads to end when it ends the run.
    bool Collect();
    /// As Collect, after waiting at most `timeout` for a worker to report.
    bool WaitAndCollect(std::chrono::milliseconds timeout);
    /// StartComparison, then WaitAndCollect until the run ends. False when a thread could not
    /// be made (the preparing thread or a worker).
    bool Run();

    /// Ends the run, if it is active: signals the stop, waits for the workers, or for the
    /// preparation under way (kStopTimeLimit in all, then abandons the rest, whose later notices
    /// are dropped), records what they reported before, and tells the observer. Any number of
    /// times.
    void StopComparison();

    /// True from a start that started workers until the run ends.
    bool IsComparing() const { return started && !ended; }
    /// Workers started (0 when nothing was started); while the pairs are prepared, the workers
    /// the run will start.
    std::int32_t Workers() const { return static_cast<std::int32_t>(workerCount); }
    /// Workers that have not yet reported that they finished.
    std::int32_t WorkersLeft() const { return Workers() - workersFinished; }
    /// Pairs the run compares (0 when nothing was started, and until the pairs are prepared):
    /// every pair of entries (or the
    /// target with every other entry) but those the options leave out, pairs of two pictures
    /// under reference folders and, when asked, of two pictures in the same folder.
    std::uint64_t Pairs() const { return comparedPairs; }
    /// Of those pairs, the ones walked so far by all workers, in any order: the run's progress.
    std::uint64_t PairsDone() const { return pairsDone; }
    /// Pairs, from the first in the run's order, whose links have been recorded; this counts
    /// the pairs left out too, as the place reached in the order.
    std::uint64_t PairsRecorded() const { return pairsRecorded; }
    /// Found pairs left out so far because they are marked not similar (SetMarkedPairs).
    std::uint64_t MarkedPairsLeftOut() const { return markedLeftOut; }
    /// Why the run stopped by itself, or empty: the file holding the signatures (SignatureStore)
    /// was changed under it, so that no result from it can be trusted any more.
    const QString& Fault() const { return fault; }
    /// Pairs handed to the pair decision so far, by all workers (the candidates the sketch keys
    /// leave, or every pair of a span compared in full). None is a pair the options leave out.
    std::uint64_t Comparisons() const { return comparisons; }

private:
    struct Preparation;
    /// Starts the workers on the prepared pairs; false when a thread could not be made.
    bool StartWorkers();
    /// Takes the waiting notices, starts the workers once the pairs are prepared (unless the
    /// run is stopping), and records every span whose turn has come.
    void TakeNotices();
    void Record(const ComparisonNotice& notice);
    /// Links a similar pair and reports it, unless it is marked.
    void Link(const PairInfo& record);
    /// Links the pairs a whole-repository run held back, in the order of their entries.
    void LinkHeldPairs();
    /// Whether the pair of entries `a` and `b` is marked not similar.
    bool IsMarked(std::int32_t a, std::int32_t b);
    /// Stops the workers, records their last spans and tells the observer.
    void End();
    /// Signals the stop and waits for the workers within kStopTimeLimit.
    void StopWorkers();

    CPictureRepository& repository;
    const ComparisonOptions options;
    ComparisonObserver* observer;

    std::shared_ptr<NoticeQueue> notices = std::make_shared<NoticeQueue>();
    std::shared_ptr<StopEvent> stopEvent = std::make_shared<StopEvent>();
    /// The preparing thread, then the worker threads in start order.
    std::vector<WorkerThread> workerThreads;
    /// What the preparing thread makes, the run's to take once its notice has come.
    std::shared_ptr<Preparation> preparation;
    bool prepared = false;
    /// A thread could not be made: the run ends at the next Collect.
    bool threadsMissing = false;
    std::size_t workerCount = 0;
    /// Every pair of the run's order, the ones left out included.
    std::uint64_t pairCount = 0;
    std::uint64_t comparedPairs = 0;
    bool started = false;
    bool ended = false;

    /// Spans that arrived before all spans ahead of them, by span number.
    std::map<std::uint64_t, ComparisonNotice> waiting;
    std::uint64_t nextSpan = 0;
    /// Set once a span that ended with a stop has been recorded: nothing after it counts.
    bool brokenOff = false;
    std::uint64_t pairsDone = 0;
    std::uint64_t pairsRecorded = 0;
    std::uint64_t comparisons = 0;
    std::int32_t workersFinished = 0;

    MarkedPairs markedPairs;
    /// The digests of the entries met in found pairs, by entry, each made once per run.
    std::vector<std::optional<SignatureDigest>> digests;
    std::uint64_t markedLeftOut = 0;
    /// The similar pairs of a whole-repository run, until it ends.
    std::vector<PairInfo> held;
    QString fault;
};

}  // namespace vistrel
