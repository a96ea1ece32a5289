#include "ComparisonWorker.h"

#include "PairDecision.h"

#include <algorithm>
#include <utility>

namespace vistrel {

namespace {

// How many candidates are decided between two looks at the stop flag: a few milliseconds of
// work at most.
constexpr std::size_t kCandidatesPerStopCheck = 256;

// Walks the pairs [first, last) of the run in order and records the similar ones. Pairs that
// cannot be similar by their sketch keys are passed over without a look. Returns true when the
// stop flag ended the walk; `done` is then the number of pairs decided, from `first`.
class SpanWalk {
public:
    SpanWalk(const ThreadParams& block, const PairDecision& decision,
             std::vector<PairInfo>& records)
        : block(block), pairs(*block.pairs), decision(decision), records(records) {}

    bool Walk(std::uint64_t first, std::uint64_t last, std::uint64_t& done) {
        return pairs.Target() >= 0 ? WalkSearch(first, last, done)
                                   : WalkWholeRepository(first, last, done);
    }

private:
    bool Stopped() const { return block.stopEvent->IsSet(); }

    // Compares entry `row` with its candidates among entries [rowFirst, rowLast) and appends
    // the similar pairs in ascending order of the other entry. The candidates come in any
    // order, so a stop inside the row drops the row: true when stopped, nothing appended.
    bool CompareRow(std::int32_t row, std::int32_t rowFirst, std::int32_t rowLast, bool rowIsA) {
        pairs.CandidatesNear(row, rowFirst, rowLast, candidates);
        const std::uint8_t* rowSignature = pairs.Signature(row);
        found.clear();
        std::size_t sinceStopCheck = 0;
        for (const std::int32_t other : candidates) {
            if (other == row) {
                continue;
            }
            float factor = 0.0f;
            if (decision.IsSimilar(pairs.Signature(other), rowSignature,
                                   static_cast<std::size_t>(other), static_cast<std::size_t>(row),
                                   factor)) {
                found.emplace_back(other, factor);
            }
            if (++sinceStopCheck == kCandidatesPerStopCheck) {
                sinceStopCheck = 0;
                if (Stopped()) {
                    return true;
                }
            }
        }
        std::sort(found.begin(), found.end());
        for (const auto& [other, factor] : found) {
            records.push_back(rowIsA ? PairInfo{nullptr, nullptr, row, other, factor}
                                     : PairInfo{nullptr, nullptr, other, row, factor});
        }
        return false;
    }

    bool WalkWholeRepository(std::uint64_t first, std::uint64_t last, std::uint64_t& done) {
        for (std::uint64_t k = first; k < last;) {
            const std::int32_t i = pairs.RowOf(k);
            const std::uint64_t rowEnd = std::min(last, pairs.RowStart(i + 1));
            const auto j0 = static_cast<std::int32_t>(i + 1 + (k - pairs.RowStart(i)));
            const auto j1 = static_cast<std::int32_t>(j0 + (rowEnd - k));
            if (pairs.Signature(i) != nullptr && CompareRow(i, j0, j1, true)) {
                done = k - first;
                return true;
            }
            k = rowEnd;
            if (Stopped()) {
                done = k - first;
                return true;
            }
        }
        done = last - first;
        return false;
    }

    bool WalkSearch(std::uint64_t first, std::uint64_t last, std::uint64_t& done) {
        const std::int32_t target = pairs.Target();
        done = last - first;
        if (pairs.Signature(target) == nullptr) {
            return false;  // nothing to compare with
        }
        // Pair k is entry k, or k + 1 from the target on.
        const auto entryOf = [target](std::uint64_t k) {
            return static_cast<std::int32_t>(k < static_cast<std::uint64_t>(target) ? k : k + 1);
        };
        if (CompareRow(target, entryOf(first), entryOf(last - 1) + 1, false)) {
            done = 0;
            return true;
        }
        return false;
    }

    const ThreadParams& block;
    const ComparisonPairs& pairs;
    const PairDecision& decision;
    std::vector<PairInfo>& records;
    std::vector<std::int32_t> candidates;
    std::vector<std::pair<std::int32_t, float>> found;
};

}  // namespace

int ComparisonWorker(const ThreadParams& block) {
    const PairDecision decision(block.pairs->Sketches(), block.side, block.threshold,
                                block.shapeOnly);
    std::uint64_t span = 0;
    std::uint64_t firstPair = 0;
    bool stopped = false;
    while (!stopped && block.spans->Take(span, firstPair)) {
        ComparisonNotice notice{block.message, kNoticePairsCompared, span, 0, true, {}};
        const std::uint64_t last =
            std::min(block.pairs->Count(), firstPair + block.spans->SpanLength());
        SpanWalk walk(block, decision, notice.records);
        stopped = walk.Walk(firstPair, last, notice.pairsDone);
        notice.complete = !stopped;
        block.notices->Post(std::move(notice));
    }
    block.notices->Post(ComparisonNotice{block.message, kNoticeWorkerFinished, 0, 0, true, {}});
    return 0;
}

}  // namespace vistrel
