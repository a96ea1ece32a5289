#pragma once

// Grows a repository of real pictures' signatures into a benchmark set of any size: new entries
// are edits of the real signatures, most of them new pictures far from every other entry, a
// known fraction near-copies of an earlier entry. Main thread (it runs its own workers).

#include "repository/PictureRepository.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vistrel::bench {

struct GrowthOptions {
    std::int32_t total = 0;         ///< entries wanted in all, the real ones included
    double nearCopyShare = 0.1;     ///< of the new entries, the share that are near-copies
    std::int64_t reserveMb = 3000;  ///< memory the machine keeps available (MB)
    int workers = 0;                ///< threads that make the signatures (0: one per core)
    std::uint64_t seed = 5;
};

/// The kinds of near-copy: noise with a slight brightness and contrast change, a slightly
/// trimmed border, slightly changed colours, a copy saved smaller.
enum class NearCopyKind { Perturbed, Trimmed, Recoloured, Resized, Count };

struct GrowthResult {
    std::int32_t firstAdded = 0;  ///< the index of the first entry added
    std::int32_t added = 0;
    std::int32_t newPictures = 0;  ///< of those, new pictures
    std::int32_t mixed = 0;        ///< of the new pictures, those that blend two real ones
    std::array<std::int32_t, static_cast<std::size_t>(NearCopyKind::Count)> nearCopies{};
    struct NearCopy {
        std::int32_t copy = 0;
        std::int32_t source = 0;  ///< the entry it copies
        NearCopyKind kind = NearCopyKind::Perturbed;
    };
    std::vector<NearCopy> nearCopyOf;
    bool stoppedForMemory = false;
    std::int64_t availableMb = 0;  ///< memory available when the growth ended (MB)
    double seconds = 0;
};

/// Appends entries until the repository holds options.total or, first, until one more batch
/// would leave less than options.reserveMb of memory available (with room for the comparison
/// run's own memory). The same options give the same entries on every machine that fits them.
/// Does nothing when the repository has no readable entry.
GrowthResult GrowCorpus(CPictureRepository& repository, const GrowthOptions& options);

/// What the machine can still give this process (MB): the kernel's available memory, and less
/// when a control group sets a lower limit.
std::int64_t AvailableMemoryMb();

}  // namespace vistrel::bench
