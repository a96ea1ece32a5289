#pragma once

#include "CandidateIndex.h"
#include "PairScope.h"
#include "SketchTable.h"
#include "comparison/kernels/PairInfo.h"
#include "signature/SignatureBytes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// The pairs of one comparison run, generated on demand in the run's order instead of being
/// held as a list: the test of the whole repository gives each entry i's row (i,i+1), ...,
/// (i,n-1), the rows in the order of the candidate index's cells, so that rows walked one after
/// another meet the same candidates (and read their signatures while they are still in memory);
/// the search for entry t gives (0,t), (1,t), ... skipping (t,t). It holds its own references to
/// the signatures. Immutable after construction; any thread.
class ComparisonPairs {
public:
    /// `signatures` by entry index (empty for an entry that takes part in no comparison);
    /// `target` below 0 for the whole repository, else the entry to search for.
    /// `thresholdPercent` and `shapeOnly` are the run's (the threshold as the workers compare
    /// against it); they decide which pairs CandidatesNear can skip. The pairs `scope` leaves out
    /// keep their numbers in the run's order but are never compared. `anyOrientation` keeps
    /// the candidates of turned and mirrored copies too: false only for a run that compares
    /// the pictures as they lie.
    ComparisonPairs(std::vector<SignatureBytes> signatures, std::int32_t target,
                    std::int32_t side = 100, float thresholdPercent = 0.0f, bool shapeOnly = false,
                    PairScope scope = {}, bool anyOrientation = true);

    /// Number of pairs of the run, the ones the scope leaves out included: the pair numbers.
    std::uint64_t Count() const { return count; }
    /// Number of the pairs the scope leaves out.
    std::uint64_t Skipped() const { return skipped; }
    /// The pairs left out before any comparison.
    const PairScope& Scope() const { return scope; }
    /// The entry searched for, or a negative number for the whole repository.
    std::int32_t Target() const { return target; }
    /// The signature of entry i, or null when it takes part in no comparison.
    const std::uint8_t* Signature(std::int32_t i) const {
        return signatureData[static_cast<std::size_t>(i)];
    }
    /// The signature of entry i itself (empty when it takes part in no comparison).
    const SignatureBytes& Bytes(std::int32_t i) const {
        return signatures[static_cast<std::size_t>(i)];
    }
    /// The run's sketches, for lower bounds of the factor.
    const SketchTable& Sketches() const { return *sketches; }

    /// The place in the whole-repository order of the row that pair number k falls in.
    std::int32_t RowOf(std::uint64_t k) const;
    /// Number of pairs before the row at place t of the whole-repository order (t up to the
    /// number of entries).
    std::uint64_t RowStart(std::int64_t t) const { return rowStarts[static_cast<std::size_t>(t)]; }
    /// The entry whose row is at place t of the whole-repository order: its pairs are those with
    /// the entries after it.
    std::int32_t RowEntry(std::int32_t t) const { return rowOrder[static_cast<std::size_t>(t)]; }

    /// The entries j with first <= j < last and a signature that may be similar to entry i
    /// by their sketches' totals (in any orientation), into `out`, in no particular order. For a
    /// protected entry i of a whole-repository run, only those that are not protected.
    void CandidatesNear(std::int32_t i, std::int32_t first, std::int32_t last,
                        std::vector<std::int32_t>& out) const;

private:
    std::vector<SignatureBytes> signatures;
    /// The signatures' first bytes, side by side: the hot loops read them without chasing
    /// each signature's shared block.
    std::vector<const std::uint8_t*> signatureData;
    std::int32_t target;
    std::uint64_t count;
    PairScope scope;
    std::uint64_t skipped = 0;
    std::unique_ptr<const SketchTable> sketches;
    /// The entries with a signature, and those of them the scope does not protect: the only
    /// ones a protected row is compared with (made for whole-repository runs that protect
    /// entries, so that a protected row does not look through all the others).
    std::unique_ptr<const CandidateIndex> index;
    std::unique_ptr<const CandidateIndex> openIndex;
    /// The whole-repository order: the entries whose rows come one after the other, and the
    /// number of pairs before each (one more closes the last).
    std::vector<std::int32_t> rowOrder;
    std::vector<std::uint64_t> rowStarts;
};

}  // namespace vistrel
