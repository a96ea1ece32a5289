#include "PairScope.h"

#include <algorithm>

namespace vistrel {

namespace {

// The number of entries of the sorted list `entries` within [first, last).
std::int64_t CountIn(const std::vector<std::int32_t>& entries, std::int32_t first,
                     std::int32_t last) {
    return std::lower_bound(entries.begin(), entries.end(), last) -
           std::lower_bound(entries.begin(), entries.end(), first);
}

}  // namespace

PairScope::PairScope(std::vector<std::uint8_t> protectedEntries, std::vector<std::int32_t> folders)
    : protectedEntry(std::move(protectedEntries)), folderOf(std::move(folders)) {
    protectedBefore.assign(protectedEntry.size() + 1, 0);
    for (std::size_t i = 0; i < protectedEntry.size(); ++i) {
        protectedEntry[i] = protectedEntry[i] != 0 ? 1 : 0;
        protectedBefore[i + 1] = protectedBefore[i] + protectedEntry[i];
    }
    for (std::size_t i = 0; i < folderOf.size(); ++i) {
        const auto folder = static_cast<std::size_t>(folderOf[i]);
        if (folder >= folderEntries.size()) {
            folderEntries.resize(folder + 1);
            folderProtected.resize(folder + 1);
        }
        folderEntries[folder].push_back(static_cast<std::int32_t>(i));
        if (protectedEntry[i] != 0) {
            folderProtected[folder].push_back(static_cast<std::int32_t>(i));
        }
    }
    // Fewer than two protected entries leave out no pair of their own.
    empty = folderOf.empty() && protectedBefore.back() < 2;
}

std::uint64_t PairScope::SkippedIn(std::int32_t i, std::int32_t first, std::int32_t last) const {
    if (empty || first >= last) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(i);
    std::int64_t skipped = 0;
    if (protectedEntry[at] != 0) {
        skipped += protectedBefore[static_cast<std::size_t>(last)] -
                   protectedBefore[static_cast<std::size_t>(first)];
    }
    if (!folderOf.empty()) {
        const auto folder = static_cast<std::size_t>(folderOf[at]);
        skipped += CountIn(folderEntries[folder], first, last);
        if (protectedEntry[at] != 0) {
            // Counted twice: protected and in the same folder.
            skipped -= CountIn(folderProtected[folder], first, last);
        }
    }
    // Entry i was counted once if at all; it is no pair of its own.
    if (first <= i && i < last && (protectedEntry[at] != 0 || !folderOf.empty())) {
        --skipped;
    }
    return static_cast<std::uint64_t>(skipped);
}

void PairScope::ComparedRuns(std::int32_t i, std::int32_t first, std::int32_t last,
                             std::vector<std::pair<std::int32_t, std::int32_t>>& out) const {
    out.clear();
    std::int32_t j = first;
    while (j < last) {
        while (j < last && Skips(i, j)) {
            ++j;
        }
        const std::int32_t runStart = j;
        while (j < last && !Skips(i, j)) {
            ++j;
        }
        if (runStart < j) {
            out.emplace_back(runStart, j);
        }
    }
}

}  // namespace vistrel
