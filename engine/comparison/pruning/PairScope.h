#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace vistrel {

/// Which pairs of a run are left out before any comparison: pairs of two protected entries and,
/// when asked, pairs of two entries in the same folder. Made once per run from facts per entry
/// (the run works them out from the paths); an empty scope leaves out nothing. Immutable; any
/// thread.
class PairScope {
public:
    /// Leaves out nothing.
    PairScope() = default;
    /// `protectedEntries[i]` for entry i; `folders[i]` a number per folder of entry i, or
    /// `folders` empty when pairs in the same folder are compared. Both by entry index.
    PairScope(std::vector<std::uint8_t> protectedEntries, std::vector<std::int32_t> folders);

    /// True when the scope leaves out no pair at all.
    bool IsEmpty() const { return empty; }
    /// Whether some pair of two protected entries is left out.
    bool ProtectsAny() const { return !protectedRuns.empty() && protectedBefore.back() >= 2; }
    /// Whether entry i is protected (false for an empty scope).
    bool IsProtected(std::int32_t i) const {
        return !protectedEntry.empty() && protectedEntry[static_cast<std::size_t>(i)] != 0;
    }
    /// Whether the pair of entries i and j is left out.
    bool Skips(std::int32_t i, std::int32_t j) const {
        const auto a = static_cast<std::size_t>(i);
        const auto b = static_cast<std::size_t>(j);
        return (protectedEntry[a] & protectedEntry[b]) != 0 ||
               (!folderOf.empty() && folderOf[a] == folderOf[b]);
    }
    /// The number of entries j other than i with first <= j < last whose pair with entry i is
    /// left out. Logarithmic time.
    std::uint64_t SkippedIn(std::int32_t i, std::int32_t first, std::int32_t last) const;
    /// The ranges [first, last) of entries j within [first, last) whose pair with entry i is
    /// compared, ascending, into `out`; the range must not hold entry i. Logarithmic time plus
    /// the runs of entries left out that the range meets.
    void ComparedRuns(std::int32_t i, std::int32_t first, std::int32_t last,
                      std::vector<std::pair<std::int32_t, std::int32_t>>& out) const;

private:
    /// Entries [first, last) that follow one another.
    using Run = std::pair<std::int32_t, std::int32_t>;

    bool empty = true;
    std::vector<std::uint8_t> protectedEntry;
    std::vector<std::int32_t> folderOf;
    /// Protected entries before entry i, for i from 0 to the entry count.
    std::vector<std::int32_t> protectedBefore;
    /// Per folder number: its entries, and its protected entries, in index order.
    std::vector<std::vector<std::int32_t>> folderEntries;
    std::vector<std::vector<std::int32_t>> folderProtected;
    /// The runs of protected entries, and per folder number the runs of its entries, ascending.
    std::vector<Run> protectedRuns;
    std::vector<std::vector<Run>> folderRuns;
};

}  // namespace vistrel
