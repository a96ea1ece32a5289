#pragma once

#include "comparison/pruning/ComparisonPairs.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace vistrel {

/// Which signatures of a run were found as their store wrote them (SignatureBytes::Intact):
/// each is checked once, by the worker that first finds it in a similar pair, while its bytes
/// are fresh in the cache. Any thread.
class SignatureChecks {
public:
    explicit SignatureChecks(std::size_t entries) : checked(entries) {}

    /// Whether entry i's signature is intact.
    bool Intact(const ComparisonPairs& pairs, std::int32_t i) {
        std::atomic<std::uint8_t>& known = checked[static_cast<std::size_t>(i)];
        if (known.load(std::memory_order_relaxed) != 0) {
            return true;
        }
        if (!pairs.Bytes(i).Intact()) {
            return false;
        }
        known.store(1, std::memory_order_relaxed);
        return true;
    }

private:
    std::vector<std::atomic<std::uint8_t>> checked;
};

}  // namespace vistrel
