#include "ComparisonWorker.h"

#include "comparison/pruning/BlockedComparison.h"
#include "comparison/pruning/PairDecision.h"
#include "comparison/pruning/TurnedDecision.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <optional>
#include <utility>

namespace vistrel {

namespace {

// How many candidates are decided between two looks at the stop flag: a few milliseconds of
// work at most.
constexpr std::size_t kCandidatesPerStopCheck = 256;

// Whether comparing every pair in full pays: it does once the cheapest bounds leave more than
// this share of a span's pairs for a closer look (measured on photographs: about where both
// take the same time), judged from a sample of so many candidates.
constexpr double kBlockedShare = 0.35;
constexpr double kBlockedShareShapeOnly = 0.22;
constexpr std::size_t kSampledCandidates = 1024;

// How many pairs left open by the sketches are read together: enough for the disk to serve
// many at once, few enough (a few megabytes) to stay in memory until they are compared.
constexpr std::size_t kUnsettledBatch = 64;

// Walks the pairs [first, last) of the run in order and records the similar ones. Pairs that
// cannot be similar by their sketch keys are passed over without a look, and pairs the run's
// scope leaves out are never looked at. Returns true when the stop flag ended the walk; `done`
// is the number of pairs walked (0 when stopped) and `skipped` how many of them the scope left
// out.
class SpanWalk {
public:
    SpanWalk(const ThreadParams& block, const PairDecision& decision,
             std::vector<PairInfo>& records)
        : block(block),
          pairs(*block.pairs),
          scope(pairs.Scope()),
          scoped(!scope.IsEmpty()),
          decision(decision),
          records(records) {
        if (block.turned) {
            turned.emplace(decision, pairs, block.side);
        }
    }

    bool Walk(std::uint64_t first, std::uint64_t last, std::uint64_t& done,
              std::uint64_t& skipped) {
        comparisons = 0;
        skipped = 0;
        const bool stopped = pairs.Target() >= 0 ? WalkSearch(first, last, done, skipped)
                                                 : WalkWholeRepository(first, last, done, skipped);
        if (stopped) {
            skipped = 0;
        }
        return stopped;
    }

    /// Pairs handed to the decision by the last Walk.
    std::uint64_t Comparisons() const { return comparisons; }

private:
    bool Stopped() const { return block.stopEvent->IsSet(); }

    // Compares entry `row` with its candidates among entries [rowFirst, rowLast) and appends
    // the similar pairs in ascending order of the other entry. The candidates come in any
    // order, so a stop inside the row drops the row: true when stopped, nothing appended.
    bool CompareRow(std::int32_t row, std::int32_t rowFirst, std::int32_t rowLast, bool rowIsA) {
        pairs.CandidatesNear(row, rowFirst, rowLast, candidates);
        if (scoped) {
            std::erase_if(candidates, [this, row](std::int32_t j) { return scope.Skips(row, j); });
        }
        if (turned) {
            return DecideTurned(row, candidates.data(), candidates.size(), rowIsA);
        }
        const std::uint8_t* rowSignature = pairs.Signature(row);
        found.clear();
        std::size_t sinceStopCheck = 0;
        for (const std::int32_t other : candidates) {
            if (other == row) {
                continue;
            }
            ++comparisons;
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

    // Decides entry `row` with `count` candidates in every orientation and appends the similar
    // pairs in ascending order of the other entry. True when stopped, nothing appended.
    bool DecideTurned(std::int32_t row, const std::int32_t* rowCandidatesFrom, std::size_t count,
                      bool rowIsA) {
        turned->StartRow(row, rowIsA);
        turnedFound.clear();
        for (std::size_t c = 0; c < count; ++c) {
            const std::int32_t other = rowCandidatesFrom[c];
            float factor = 0.0f;
            Orientation orientation = Orientation::None;
            if (other == row) {
                continue;
            }
            ++comparisons;
            if (turned->IsSimilar(other, factor, orientation)) {
                turnedFound.push_back(TurnedFound{other, factor, orientation});
            }
            if (StopDue()) {
                return true;
            }
        }
        std::sort(turnedFound.begin(), turnedFound.end(),
                  [](const TurnedFound& x, const TurnedFound& y) { return x.other < y.other; });
        for (const TurnedFound& f : turnedFound) {
            records.push_back(
                rowIsA ? PairInfo{nullptr, nullptr, row, f.other, f.factor, f.orientation}
                       : PairInfo{nullptr, nullptr, f.other, row, f.factor, f.orientation});
        }
        return false;
    }

    // A piece of row i of the whole-repository order: its columns [j0, j1).
    struct RowPiece {
        std::int32_t i, j0, j1;
        std::size_t candidatesFrom, candidatesTo;  // into rowCandidates
    };

    // Walks a span of the whole-repository order. Where the sketches leave few candidates the
    // rows are decided one after the other; where they leave most pairs (a lax threshold) the
    // span is compared column by column instead, so that each picture of a column is read
    // once for all the span's rows, which stay in the cache meanwhile; and where the bounds
    // would rule out too few of them to pay, every pair is compared in full, in blocks.
    bool WalkWholeRepository(std::uint64_t first, std::uint64_t last, std::uint64_t& done,
                             std::uint64_t& skipped) {
        done = 0;
        pieces.clear();
        rowCandidates.clear();
        std::uint64_t spanSkipped = 0;
        for (std::uint64_t k = first; k < last;) {
            const std::int32_t place = pairs.RowOf(k);
            const std::int32_t i = pairs.RowEntry(place);
            const std::uint64_t rowEnd = std::min(last, pairs.RowStart(place + 1));
            const auto j0 = static_cast<std::int32_t>(i + 1 + (k - pairs.RowStart(place)));
            const auto j1 = static_cast<std::int32_t>(j0 + (rowEnd - k));
            const std::size_t from = rowCandidates.size();
            const std::uint64_t rowSkipped = scoped ? scope.SkippedIn(i, j0, j1) : 0;
            spanSkipped += rowSkipped;
            // A row the scope leaves out whole needs no candidates.
            if (pairs.Signature(i) != nullptr && rowSkipped < rowEnd - k) {
                pairs.CandidatesNear(i, j0, j1, candidates);
                if (rowSkipped > 0) {
                    std::erase_if(candidates,
                                  [this, i](std::int32_t j) { return scope.Skips(i, j); });
                }
                rowCandidates.insert(rowCandidates.end(), candidates.begin(), candidates.end());
            }
            pieces.push_back(RowPiece{i, j0, j1, from, rowCandidates.size()});
            k = rowEnd;
        }
        const std::uint64_t spanPairs = last - first - spanSkipped;
        // Turned pictures are decided row by row: each row is turned once for all its
        // candidates, which the column and block orders would have to do for every pair.
        const bool dense = !turned && rowCandidates.size() > spanPairs / 4;
        const bool wholeBlocks =
            dense && ActiveBlockedKernel() != nullptr &&
            SurvivingShare(spanPairs) > (block.shapeOnly ? kBlockedShareShapeOnly : kBlockedShare);
        const bool stopped = !dense        ? DecideByRows()
                             : wholeBlocks ? DecideByBlocks()
                             : scoped      ? DecideCandidatesByColumns()
                                           : DecideByColumns();
        if (!stopped) {
            done = last - first;
            skipped = spanSkipped;
        }
        return stopped;
    }

    // The share of the span's pairs that the cheapest bounds leave for a closer look, estimated
    // from a sample of the candidates.
    double SurvivingShare(std::uint64_t spanPairs) const {
        const std::size_t stride =
            std::max<std::size_t>(1, rowCandidates.size() / kSampledCandidates);
        std::size_t sampled = 0;
        std::size_t surviving = 0;
        for (const RowPiece& piece : pieces) {
            for (std::size_t c = (piece.candidatesFrom + stride - 1) / stride * stride;
                 c < piece.candidatesTo; c += stride) {
                ++sampled;
                if (decision.PassesSketchBounds(static_cast<std::size_t>(rowCandidates[c]),
                                                static_cast<std::size_t>(piece.i))) {
                    ++surviving;
                }
            }
        }
        if (sampled == 0 || spanPairs == 0) {
            return 0.0;
        }
        return static_cast<double>(surviving) / static_cast<double>(sampled) *
               static_cast<double>(rowCandidates.size()) / static_cast<double>(spanPairs);
    }

    // True when the stop flag is set, looked at every so many decisions.
    bool StopDue(std::size_t decisions = 1) {
        sinceStopCheck += decisions;
        if (sinceStopCheck < kCandidatesPerStopCheck) {
            return false;
        }
        sinceStopCheck = 0;
        return Stopped();
    }

    void Decide(std::int32_t i, std::int32_t j) {
        ++comparisons;
        float factor = 0.0f;
        if (decision.IsSimilar(pairs.Signature(j), pairs.Signature(i), static_cast<std::size_t>(j),
                               static_cast<std::size_t>(i), factor)) {
            found.emplace_back(j, factor);
        }
    }

    bool DecideByRows() {
        if (turned) {
            for (const RowPiece& piece : pieces) {
                if (DecideTurned(piece.i, rowCandidates.data() + piece.candidatesFrom,
                                 piece.candidatesTo - piece.candidatesFrom, true)) {
                    return true;  // the span is dropped whole
                }
            }
            return false;
        }
        // The sketches settle most pairs; those they leave need the signatures themselves,
        // which may have to be read from the store's file: they are asked for a batch at a time,
        // so that the reads of many overlap, before their sums are taken.
        ClearRowsFound(pieces.size());
        unsettled.clear();
        for (std::size_t r = 0; r < pieces.size(); ++r) {
            const RowPiece& piece = pieces[r];
            const auto row = static_cast<std::size_t>(piece.i);
            for (std::size_t c = piece.candidatesFrom; c < piece.candidatesTo; ++c) {
                const auto other = static_cast<std::size_t>(rowCandidates[c]);
                ++comparisons;
                if (decision.PassesSketchBounds(other, row)) {
                    Unsettled& pair = unsettled.emplace_back();
                    pair.piece = r;
                    pair.other = rowCandidates[c];
                    if (!decision.BlockSharesWithin(pairs.Sketches().SketchAt(other), row,
                                                    pair.shares, decision.RejectBound())) {
                        unsettled.pop_back();
                    } else if (unsettled.size() == kUnsettledBatch && SettleUnsettled()) {
                        return true;  // the span is dropped whole
                    }
                }
                if (StopDue()) {
                    return true;
                }
            }
        }
        if (SettleUnsettled()) {
            return true;
        }
        for (std::size_t r = 0; r < pieces.size(); ++r) {
            std::sort(rowsFound[r].begin(), rowsFound[r].end());
        }
        EmitRowsFound();
        return false;
    }

    // Takes the exact sums of the pairs the sketches left, into their row pieces' pairs found.
    // True when the stop flag is due to end the span.
    bool SettleUnsettled() {
        std::int32_t lastRow = -1;
        for (const Unsettled& pair : unsettled) {
            pairs.Bytes(pair.other).WillRead();
            if (const std::int32_t row = pieces[pair.piece].i; row != lastRow) {
                pairs.Bytes(row).WillRead();
                lastRow = row;
            }
        }
        for (const Unsettled& pair : unsettled) {
            const std::int32_t row = pieces[pair.piece].i;
            float factor = 0.0f;
            if (decision.IsSimilarBySums(pairs.Signature(pair.other), pairs.Signature(row),
                                         pair.shares, decision.RejectBound(), factor)) {
                rowsFound[pair.piece].emplace_back(pair.other, factor);
            }
            if (StopDue()) {
                return true;
            }
        }
        unsettled.clear();
        return false;
    }

    // Clears the similar pairs found per row piece (or per range of a row).
    void ClearRowsFound(std::size_t rows) {
        if (rowsFound.size() < rows) {
            rowsFound.resize(rows);
        }
        for (std::size_t r = 0; r < rows; ++r) {
            rowsFound[r].clear();
        }
    }

    // Records the similar pairs found per row piece, which are in ascending order of the other
    // entry, rows first to last.
    void EmitRowsFound() {
        for (std::size_t r = 0; r < pieces.size(); ++r) {
            for (const auto& [j, factor] : rowsFound[r]) {
                records.push_back(PairInfo{nullptr, nullptr, pieces[r].i, j, factor});
            }
        }
    }

    // The columns [first, last) the span's row pieces reach.
    std::pair<std::int32_t, std::int32_t> SpanColumns() const {
        std::int32_t first = INT32_MAX;
        std::int32_t last = 0;
        for (const RowPiece& piece : pieces) {
            first = std::min(first, piece.j0);
            last = std::max(last, piece.j1);
        }
        return {first, last};
    }

    // Decides the pair of row piece r and column j, and keeps it with the piece's pairs when
    // similar. True when the stop flag is due to end the span.
    bool DecideInto(std::size_t r, std::int32_t j) {
        found.clear();
        Decide(pieces[r].i, j);
        rowsFound[r].insert(rowsFound[r].end(), found.begin(), found.end());
        return StopDue();
    }

    bool DecideByColumns() {
        ClearRowsFound(pieces.size());
        const auto [firstColumn, lastColumn] = SpanColumns();
        for (std::int32_t j = firstColumn; j < lastColumn; ++j) {
            if (pairs.Signature(j) == nullptr) {
                continue;
            }
            for (std::size_t r = 0; r < pieces.size(); ++r) {
                const RowPiece& piece = pieces[r];
                if (j < piece.j0 || j >= piece.j1 || pairs.Signature(piece.i) == nullptr) {
                    continue;
                }
                if (DecideInto(r, j)) {
                    return true;  // the span is dropped whole
                }
            }
        }
        EmitRowsFound();
        return false;
    }

    // As DecideByColumns, but only the candidates: where the scope leaves out many of the span's
    // pairs, walking all of them would cost more than the pairs compared.
    bool DecideCandidatesByColumns() {
        ClearRowsFound(pieces.size());
        // The candidates by column, each column's by row piece: counted, then placed.
        const auto [firstColumn, lastColumn] = SpanColumns();
        if (firstColumn >= lastColumn) {
            return false;
        }
        columnStarts.assign(static_cast<std::size_t>(lastColumn - firstColumn) + 1, 0);
        for (const std::int32_t j : rowCandidates) {
            ++columnStarts[static_cast<std::size_t>(j - firstColumn) + 1];
        }
        for (std::size_t c = 1; c < columnStarts.size(); ++c) {
            columnStarts[c] += columnStarts[c - 1];
        }
        byColumn.resize(rowCandidates.size());
        for (std::size_t r = 0; r < pieces.size(); ++r) {
            for (std::size_t c = pieces[r].candidatesFrom; c < pieces[r].candidatesTo; ++c) {
                const std::int32_t j = rowCandidates[c];
                byColumn[columnStarts[static_cast<std::size_t>(j - firstColumn)]++] = {j, r};
            }
        }
        for (const auto& [j, r] : byColumn) {
            if (DecideInto(r, j)) {
                return true;  // the span is dropped whole
            }
        }
        EmitRowsFound();
        return false;
    }

    // Compares every pair of the span in full: where the bounds rule out few pairs that is
    // faster than deciding pair by pair.
    bool DecideByBlocks() {
        // Made at the first span that needs it: its buffers are no use to a strict run.
        if (!blocked) {
            blocked.emplace(*ActiveBlockedKernel(), pairs, block.side, block.threshold,
                            block.shapeOnly);
        }
        rowRanges.clear();
        for (const RowPiece& piece : pieces) {
            if (!scoped) {
                rowRanges.push_back(BlockedComparison::RowRange{piece.i, piece.j0, piece.j1});
                continue;
            }
            // Only the runs of columns the scope keeps are laid out and compared.
            scope.ComparedRuns(piece.i, piece.j0, piece.j1, runs);
            for (const auto& [runFirst, runLast] : runs) {
                rowRanges.push_back(BlockedComparison::RowRange{piece.i, runFirst, runLast});
            }
        }
        if (scoped) {
            // The runs of many rows are alike (the pictures outside the reference folders, a
            // folder's neighbours): side by side they fill the blocks the kernel computes, which
            // a row's own runs, far apart, would leave mostly unwanted.
            rangeOrder.resize(rowRanges.size());
            std::iota(rangeOrder.begin(), rangeOrder.end(), std::size_t{0});
            std::stable_sort(rangeOrder.begin(), rangeOrder.end(),
                             [this](std::size_t x, std::size_t y) {
                                 return rowRanges[x].first < rowRanges[y].first;
                             });
            sortedRanges.clear();
            for (const std::size_t r : rangeOrder) {
                sortedRanges.push_back(rowRanges[r]);
            }
            rangeAt.resize(rowRanges.size());
            for (std::size_t k = 0; k < rangeOrder.size(); ++k) {
                rangeAt[rangeOrder[k]] = k;
            }
        }
        ClearRowsFound(rowRanges.size());
        if (blocked->Compare(scoped ? sortedRanges : rowRanges, rowsFound,
                             [this](std::size_t decided) {
                                 comparisons += decided;
                                 return StopDue(decided);
                             })) {
            return true;  // the span is dropped whole
        }
        // The ranges of a row follow one another, ascending.
        for (std::size_t r = 0; r < rowRanges.size(); ++r) {
            for (const auto& [j, factor] : rowsFound[scoped ? rangeAt[r] : r]) {
                records.push_back(PairInfo{nullptr, nullptr, rowRanges[r].row, j, factor});
            }
        }
        return false;
    }

    bool WalkSearch(std::uint64_t first, std::uint64_t last, std::uint64_t& done,
                    std::uint64_t& skipped) {
        const std::int32_t target = pairs.Target();
        // Pair k is entry k, or k + 1 from the target on.
        const auto entryOf = [target](std::uint64_t k) {
            return static_cast<std::int32_t>(k < static_cast<std::uint64_t>(target) ? k : k + 1);
        };
        const std::int32_t firstEntry = entryOf(first);
        const std::int32_t lastEntry = entryOf(last - 1) + 1;
        done = last - first;
        skipped = scoped ? scope.SkippedIn(target, firstEntry, lastEntry) : 0;
        if (pairs.Signature(target) == nullptr) {
            return false;  // nothing to compare with
        }
        if (CompareRow(target, firstEntry, lastEntry, false)) {
            done = 0;
            return true;
        }
        return false;
    }

    const ThreadParams& block;
    const ComparisonPairs& pairs;
    const PairScope& scope;
    const bool scoped;  // whether the scope leaves out any pair
    const PairDecision& decision;
    std::vector<PairInfo>& records;
    std::vector<std::int32_t> candidates;
    std::vector<std::pair<std::int32_t, float>> found;
    std::vector<RowPiece> pieces;
    std::vector<std::int32_t> rowCandidates;
    std::vector<std::vector<std::pair<std::int32_t, float>>> rowsFound;
    // A pair whose sketches leave it open, waiting for its exact sums: its row piece, its other
    // entry, and the block shares of the two.
    struct Unsettled {
        std::size_t piece;
        std::int32_t other;
        SketchTable::ColumnShares shares;
    };
    std::vector<Unsettled> unsettled;
    std::vector<BlockedComparison::RowRange> rowRanges;
    std::vector<std::pair<std::int32_t, std::int32_t>> runs;
    // The ranges in the order they are compared in, and where each of rowRanges went.
    std::vector<std::size_t> rangeOrder;
    std::vector<BlockedComparison::RowRange> sortedRanges;
    std::vector<std::size_t> rangeAt;
    std::vector<std::pair<std::int32_t, std::size_t>> byColumn;  // (column, row piece)
    std::vector<std::size_t> columnStarts;
    std::optional<BlockedComparison> blocked;  // once a span has needed it
    std::optional<TurnedDecision> turned;      // when the run finds turned pictures too
    struct TurnedFound {
        std::int32_t other;
        float factor;
        Orientation orientation;
    };
    std::vector<TurnedFound> turnedFound;
    std::size_t sinceStopCheck = 0;
    std::uint64_t comparisons = 0;
};

}  // namespace

int ComparisonWorker(const ThreadParams& block) {
    const PairDecision decision(block.pairs->Sketches(), block.side, block.threshold,
                                block.shapeOnly);
    // One walk for the whole life of the worker: its buffers are reused from span to span.
    std::vector<PairInfo> records;
    SpanWalk walk(block, decision, records);
    std::uint64_t span = 0;
    std::uint64_t firstPair = 0;
    std::uint64_t lastPair = 0;
    bool stopped = false;
    while (!stopped && block.spans->Take(span, firstPair, lastPair)) {
        ComparisonNotice notice{block.message, kNoticePairsCompared, span, 0, true, {}, 0, 0};
        records.clear();
        stopped = walk.Walk(firstPair, lastPair, notice.pairsDone, notice.pairsSkipped);
        notice.comparisons = walk.Comparisons();
        notice.complete = !stopped;
        // Each signature of a similar pair is checked once against its store's checksum,
        // here, where its bytes were just read.
        notice.damaged = block.checks != nullptr &&
                         std::any_of(records.begin(), records.end(), [&block](const PairInfo& r) {
                             return !block.checks->Intact(*block.pairs, r.indexA) ||
                                    !block.checks->Intact(*block.pairs, r.indexB);
                         });
        if (!stopped) {
            notice.records = std::move(records);
        }
        block.notices->Post(std::move(notice));
        // A stop that comes while a span is finished ends the worker after it.
        stopped = stopped || block.stopEvent->IsSet();
    }
    block.notices->Post(
        ComparisonNotice{block.message, kNoticeWorkerFinished, 0, 0, true, {}, 0, 0});
    return 0;
}

}  // namespace vistrel
