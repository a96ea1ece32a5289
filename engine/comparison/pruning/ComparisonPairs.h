#pragma once

#include "PairScope.h"
#include "SketchTable.h"
#include "comparison/kernels/PairInfo.h"
#include "comparison/kernels/TotalsFilter.h"
#include "signature/SignatureBytes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vistrel {

/// The pairs of one comparison run, generated on demand in the run's order instead of being
/// held as a list: the test of the whole repository gives (0,1), (0,2), ..., (0,n-1), (1,2), ...,
/// (n-2,n-1); the search for entry t gives (0,t), (1,t), ... skipping (t,t). It holds its own
/// references to the signatures. Immutable after construction; any thread.
class ComparisonPairs {
public:
    /// `signatures` by entry index (empty for an entry that takes part in no comparison);
    /// `target` below 0 for the whole repository, else the entry to search for.
    /// `thresholdPercent` and `shapeOnly` are the run's (the threshold as the workers compare
    /// against it); they decide which pairs CandidatesNear can skip. The pairs `scope` leaves out
    /// keep their numbers in the run's order but are never compared.
    ComparisonPairs(std::vector<SignatureBytes> signatures, std::int32_t target,
                    std::int32_t side = 100, float thresholdPercent = 0.0f, bool shapeOnly = false,
                    PairScope scope = {});

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
    /// The run's sketches, for lower bounds of the factor.
    const SketchTable& Sketches() const { return *sketches; }

    /// The row i of the whole-repository order that pair number k falls in.
    std::int32_t RowOf(std::uint64_t k) const;
    /// Number of pairs before row i in the whole-repository order.
    std::uint64_t RowStart(std::int64_t i) const;

    /// The entries j with first <= j < last and a signature that may be similar to entry i
    /// by their sketches' totals, into `out`, in no particular order. For a protected entry i
    /// of a whole-repository run, only those that are not protected.
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
    /// Every entry with a signature, ordered by sketch key: the keys and the entries apart, so
    /// that a window of keys is found and swept with few cache lines.
    std::vector<std::int64_t> sortedKeys;
    std::vector<std::int32_t> sortedEntries;
    /// The same, and the cubes below, of the entries the scope does not protect: the only ones
    /// a protected row is compared with. Made for whole-repository runs that protect entries.
    bool openIndexed = false;
    std::vector<std::int64_t> openSortedKeys;
    std::vector<std::int32_t> openSortedEntries;
    std::unordered_map<std::uint64_t, std::vector<std::int32_t>> openCubes;
    /// How far apart keys (or, in the normal mode, channel totals) of a similar pair can be.
    std::int64_t window = 0;
    bool shapeOnly = false;
    /// In the normal mode: entries by the cube of channel totals they fall in, cubes `window`
    /// wide, so that a similar pair lies in the same or a neighbouring cube. In index order.
    std::unordered_map<std::uint64_t, std::vector<std::int32_t>> cubes;
    /// For sweeping a range of entries with the totals filter where the cubes or the window
    /// would hold too many entries (a lax threshold): per entry its channel totals (in the
    /// shape-only mode its key and two zeros), TotalsFilter::kAbsent for one without a
    /// signature; empty when the totals could exceed the filter's range.
    std::array<std::vector<std::int32_t>, 3> planes;
    const TotalsFilter* filter = nullptr;
    std::int32_t filterLimit = 0;
    std::size_t signedEntries = 0;  // entries with a signature

    std::uint64_t CubeOf(std::size_t i, int dx, int dy, int dz) const;
    void CandidatesInCubes(const std::unordered_map<std::uint64_t, std::vector<std::int32_t>>& in,
                           std::int32_t i, std::int32_t first, std::int32_t last,
                           std::vector<std::int32_t>& out) const;
    /// Every entry of [first, last) near entry i by the totals filter, ascending; for a
    /// protected row only the entries the scope does not protect.
    void Sweep(std::int32_t i, std::int32_t first, std::int32_t last, bool open,
               std::vector<std::int32_t>& out) const;
};

}  // namespace vistrel
