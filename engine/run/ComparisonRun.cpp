#include "ComparisonRun.h"

#include "ComparisonWorker.h"
#include "repository/PictureRepository.h"

#include <QHash>

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

// How long Run waits for a notice before it reports the progress anyway.
constexpr std::chrono::milliseconds kRunWait{100};

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

// Whether `options` leaves pairs out by their paths.
bool ScopedByPaths(const ComparisonOptions& options) {
    return !options.reference.IsEmpty() || options.skipSameFolder;
}

// The pairs of the entries, by their `paths`, that `options` leaves out: pairs of two entries
// under reference folders, and pairs in one folder when asked.
PairScope ScopeOf(const std::vector<QString>& paths, const ComparisonOptions& options) {
    if (!ScopedByPaths(options)) {
        return {};
    }
    const std::size_t count = paths.size();
    std::vector<std::uint8_t> protectedEntries(count, 0);
    std::vector<std::int32_t> folders;
    QHash<QString, std::int32_t> folderNumbers;
    if (options.skipSameFolder) {
        folders.reserve(count);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const QString& path = paths[i];
        if (!options.reference.IsEmpty()) {
            protectedEntries[i] = options.reference.Protects(path) ? 1 : 0;
        }
        if (options.skipSameFolder) {
            // The folder the entry lies in, as its path names it.
            const QString folder = path.left(std::max<qsizetype>(path.lastIndexOf(u'/'), 0));
            auto known = folderNumbers.constFind(folder);
            if (known == folderNumbers.cend()) {
                known =
                    folderNumbers.insert(folder, static_cast<std::int32_t>(folderNumbers.size()));
            }
            folders.push_back(known.value());
        }
    }
    return PairScope(std::move(protectedEntries), std::move(folders));
}

QString StoreFault() {
    return QStringLiteral(
        "The file that holds the signatures was changed by another program during the run, so "
        "the run stopped: its results could be wrong. Run it again.");
}

}  // namespace

// What the preparing thread makes for the run: written before its notice is posted, read by
// the run after the notice has been taken (the queue orders the two).
struct ComparisonRun::Preparation {
    std::shared_ptr<const ThreadParams> block;
    int threads = 0;
};

ComparisonRun::ComparisonRun(CPictureRepository& repositoryToTest,
                             const ComparisonOptions& runOptions, ComparisonObserver* runObserver)
    : repository(repositoryToTest), options(runOptions), observer(runObserver) {}

ComparisonRun::~ComparisonRun() {
    StopWorkers();
    notices->Close();
}

bool ComparisonRun::StartComparison() {
    if (started) {
        return true;
    }
    started = true;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        repository.GetPicture(i).similar.clear();
    }
    if (repository.GetCount() < 2) {
        End();
        return true;
    }
    // Only references are taken here; the index over them is made by the preparing thread.
    // An entry marked unreadable takes part in no comparison, even if it kept a signature.
    std::vector<SignatureBytes> signatures;
    std::vector<QString> paths;
    signatures.reserve(static_cast<std::size_t>(repository.GetCount()));
    if (ScopedByPaths(options)) {
        paths.reserve(static_cast<std::size_t>(repository.GetCount()));
    }
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const CPictureInfo& picture = repository.GetPicture(i);
        signatures.push_back(picture.loadError ? SignatureBytes() : picture.signature);
        if (ScopedByPaths(options)) {
            paths.push_back(picture.path);
        }
    }
    const int threads = options.workers > 0
                            ? options.workers
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    workerCount = static_cast<std::size_t>(threads);
    preparation = std::make_shared<Preparation>();
    preparation->threads = threads;
    // The thread holds nothing of the run's but what it shares: abandoned, it ends on its own.
    auto prepare = [made = preparation, stop = stopEvent, queue = notices, options = options,
                    side = repository.Side(), signatures = std::move(signatures),
                    paths = std::move(paths)]() mutable {
        if (stop->IsSet()) {
            return;
        }
        const float halfThreshold = options.threshold / 2;
        const auto checks = std::make_shared<SignatureChecks>(signatures.size());
        const auto pairs = std::make_shared<const ComparisonPairs>(
            std::move(signatures), options.target, side, halfThreshold, options.shapeOnly,
            ScopeOf(paths, options), options.findTurnedCopies);
        const std::uint64_t pairsPerSpan = std::clamp<std::uint64_t>(
            pairs->Count() / (kSpansPerWorker * static_cast<std::uint64_t>(made->threads)), 1,
            kLongestSpan);
        const auto spans = options.target >= 0
                               ? std::make_shared<SpanDispenser>(pairs->Count(), pairsPerSpan)
                               : std::make_shared<SpanDispenser>(
                                     WholeRowSpans(*pairs, pairsPerSpan), pairs->Count());
        // One block for all workers: they only read it, and each holds it for as long as it
        // runs.
        made->block = std::make_shared<const ThreadParams>(
            ThreadParams{pairs, spans, stop, queue, kComparisonNoticeMessage, halfThreshold, side,
                         options.shapeOnly, options.findTurnedCopies, checks});
        queue->Post(
            ComparisonNotice{kComparisonNoticeMessage, kNoticePairsPrepared, 0, 0, true, {}, 0, 0});
    };
    try {
        workerThreads.emplace_back(std::move(prepare));
    } catch (const std::system_error&) {
        workerCount = 0;
        threadsMissing = true;
        End();
        return false;
    }
    return true;
}

bool ComparisonRun::StartWorkers() {
    prepared = true;
    const std::shared_ptr<const ThreadParams> block = std::move(preparation->block);
    // The pairs are freed by the last worker to end, not here.
    preparation.reset();
    pairCount = block->pairs->Count();
    comparedPairs = block->pairs->Count() - block->pairs->Skipped();
    const std::size_t planned = workerCount;
    workerCount = 0;
    try {
        for (std::size_t i = 0; i < planned; ++i) {
            workerThreads.emplace_back([block] { ComparisonWorker(*block); });
            ++workerCount;
        }
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool ComparisonRun::Collect() {
    if (!IsComparing()) {
        return ended;
    }
    TakeNotices();
    if (threadsMissing) {
        End();
        return ended;
    }
    if (!prepared) {
        return ended;
    }
    if (const SignatureStore* store = repository.Store();
        fault.isEmpty() && store != nullptr && !store->Intact()) {
        fault = StoreFault();
    }
    if (observer != nullptr) {
        observer->Report(ProgressReport{pairsDone, comparedPairs, {}});
    }
    if (WorkersLeft() <= 0 || !fault.isEmpty() ||
        (observer != nullptr && observer->StopRequested())) {
        End();
    }
    return ended;
}

bool ComparisonRun::WaitAndCollect(std::chrono::milliseconds timeout) {
    if (IsComparing()) {
        notices->WaitForNotice(timeout);
    }
    return Collect();
}

bool ComparisonRun::Run() {
    StartComparison();
    while (!WaitAndCollect(kRunWait)) {
    }
    return !threadsMissing;
}

void ComparisonRun::StopComparison() {
    if (IsComparing()) {
        End();
    }
}

void ComparisonRun::End() {
    StopWorkers();
    // The workers have ended or been abandoned: what they reported before is recorded, later
    // notices are dropped.
    TakeNotices();
    notices->Close();
    LinkHeldPairs();
    waiting.clear();
    ended = true;
    if (observer != nullptr) {
        // A run stopped while its pairs were prepared walked none of them.
        observer->RunEnded(preparation == nullptr && pairsRecorded == pairCount);
    }
}

void ComparisonRun::StopWorkers() {
    stopEvent->Set();
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeLimit;
    for (WorkerThread& worker : workerThreads) {
        worker.WaitUntil(deadline);
    }
    workerThreads.clear();
}

void ComparisonRun::TakeNotices() {
    for (ComparisonNotice& notice : notices->TakeAll()) {
        if (notice.code == kNoticePairsPrepared) {
            // A run that is stopping starts no workers.
            if (!stopEvent->IsSet() && !StartWorkers()) {
                threadsMissing = true;
            }
            continue;
        }
        if (notice.code == kNoticeWorkerFinished) {
            ++workersFinished;
            continue;
        }
        pairsDone += notice.pairsDone - notice.pairsSkipped;
        comparisons += notice.comparisons;
        if (notice.damaged) {
            // Nothing is recorded from here on: the run ends at the next collect.
            fault = StoreFault();
            brokenOff = true;
        }
        if (brokenOff || notice.span < nextSpan) {
            continue;
        }
        const std::uint64_t span = notice.span;
        waiting.emplace(span, std::move(notice));
    }
    for (auto next = waiting.find(nextSpan); next != waiting.end() && !brokenOff;
         next = waiting.find(nextSpan)) {
        Record(next->second);
        waiting.erase(next);
    }
    if (brokenOff) {
        waiting.clear();
    }
}

void ComparisonRun::Record(const ComparisonNotice& notice) {
    if (options.target < 0) {
        held.insert(held.end(), notice.records.begin(), notice.records.end());
    } else {
        for (const PairInfo& record : notice.records) {
            Link(record);
        }
    }
    ++nextSpan;
    pairsRecorded += notice.pairsDone;
    brokenOff = !notice.complete;
}

void ComparisonRun::Link(const PairInfo& record) {
    if (!markedPairs.IsEmpty() && IsMarked(record.indexA, record.indexB)) {
        ++markedLeftOut;
        return;
    }
    repository.AddSimilarPair(record);
    if (observer != nullptr) {
        observer->PairFound(record);
    }
}

void ComparisonRun::LinkHeldPairs() {
    const auto entries = [](const PairInfo& pair) { return std::minmax(pair.indexA, pair.indexB); };
    std::sort(held.begin(), held.end(),
              [&entries](const PairInfo& x, const PairInfo& y) { return entries(x) < entries(y); });
    for (const PairInfo& record : held) {
        Link(record);
    }
    held = {};
}

bool ComparisonRun::IsMarked(std::int32_t a, std::int32_t b) {
    // Digests only of the entries met in found pairs, each once: a run finds few pairs among
    // many entries, and a run without marks makes none.
    digests.resize(static_cast<std::size_t>(repository.GetCount()));
    const auto digestOf = [this](std::int32_t index) -> const SignatureDigest& {
        std::optional<SignatureDigest>& digest = digests[static_cast<std::size_t>(index)];
        if (!digest) {
            digest = SignatureDigest::Of(repository.GetPicture(index).signature);
        }
        return *digest;
    };
    return markedPairs.Contains(digestOf(a), digestOf(b));
}

}  // namespace vistrel
