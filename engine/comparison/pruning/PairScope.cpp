#include "PairScope.h"

#include <algorithm>

namespace vistrel {

namespace {

// Adds entry i to `runs`, ascending: to its last run when i follows it.
void Extend(std::vector<std::pair<std::int32_t, std::int32_t>>& runs, std::int32_t i) {
    if (!runs.empty() && runs.back().second == i) {
        runs.back().second = i + 1;
    } else {
        runs.emplace_back(i, i + 1);
    }
}

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
        if (protectedEntry[i] != 0) {
            Extend(protectedRuns, static_cast<std::int32_t>(i));
        }
    }
    for (std::size_t i = 0; i < folderOf.size(); ++i) {
        const auto folder = static_cast<std::size_t>(folderOf[i]);
        if (folder >= folderEntries.size()) {
            folderEntries.resize(folder + 1);
            folderProtected.resize(folder + 1);
            folderRuns.resize(folder + 1);
        }
        folderEntries[folder].push_back(static_cast<std::int32_t>(i));
        Extend(folderRuns[folder], static_cast<std::int32_t>(i));
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
    // The runs left out are those of the protected entries when entry i is one, and those of
    // its folder: walked together, each from the first that ends after `first`.
    const std::vector<Run>* lists[2];
    std::size_t at[2];
    std::size_t count = 0;
    const auto entry = static_cast<std::size_t>(i);
    if (!empty && protectedEntry[entry] != 0) {
        lists[count++] = &protectedRuns;
    }
    if (!folderOf.empty()) {
        lists[count++] = &folderRuns[static_cast<std::size_t>(folderOf[entry])];
    }
    for (std::size_t k = 0; k < count; ++k) {
        at[k] = static_cast<std::size_t>(
            std::partition_point(lists[k]->begin(), lists[k]->end(),
                                 [first](const Run& run) { return run.second <= first; }) -
            lists[k]->begin());
    }
    // Each list's current run ends after j.
    std::int32_t j = first;
    while (j < last) {
        std::int32_t nextLeftOut = last;
        for (std::size_t k = 0; k < count; ++k) {
            if (at[k] < lists[k]->size()) {
                nextLeftOut = std::min(nextLeftOut, (*lists[k])[at[k]].first);
            }
        }
        if (nextLeftOut > j) {
            out.emplace_back(j, std::min(nextLeftOut, last));
            j = nextLeftOut;
            continue;
        }
        // j lies in a run left out: past it, and past the runs it ends within.
        for (std::size_t k = 0; k < count; ++k) {
            if (at[k] < lists[k]->size() && (*lists[k])[at[k]].first <= j) {
                j = std::max(j, (*lists[k])[at[k]].second);
            }
        }
        for (std::size_t k = 0; k < count; ++k) {
            while (at[k] < lists[k]->size() && (*lists[k])[at[k]].second <= j) {
                ++at[k];
            }
        }
    }
}

}  // namespace vistrel
