#pragma once

// Repository entries with random signatures, made directly without any picture file.

#include "repository/PictureRepository.h"

#include <random>
#include <vector>

namespace vistrel::test {

/// Appends `count` entries for paths that do not exist, each given a random signature; with a
/// `period`, every period-th entry (after the first) copies entry 0's signature instead.
inline void AddRandomEntries(CPictureRepository& repository, int count, std::uint32_t seed,
                             int period = 0) {
    std::mt19937 random(seed);
    const std::int32_t first = repository.GetCount();
    for (int i = 0; i < count; ++i) {
        const std::int32_t index = first + i;
        repository.AddPicture(QStringLiteral("/nowhere/%1.jpg").arg(index));
        std::vector<std::uint8_t> bytes(3 * CPictureRepository::kSide * CPictureRepository::kSide);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        CPictureInfo& entry = repository.GetPicture(index);
        entry.signature = period > 0 && i > 0 && i % period == 0
                              ? repository.GetPicture(first).signature
                              : SignatureBytes(std::move(bytes));
        entry.loadError = false;
    }
}

}  // namespace vistrel::test
