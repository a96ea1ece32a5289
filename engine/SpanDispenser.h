#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace vistrel {

/// Hands out the spans of a run's pairs to its workers, each span once, in order. Shared by the
/// workers of a run; any thread.
class SpanDispenser {
public:
    SpanDispenser(std::uint64_t pairCount, std::uint64_t pairsPerSpan)
        : pairs(pairCount), spanLength(std::max<std::uint64_t>(pairsPerSpan, 1)) {}

    /// Takes the next span: its number, and its first pair; false when none is left.
    bool Take(std::uint64_t& span, std::uint64_t& firstPair) {
        span = next.fetch_add(1, std::memory_order_relaxed);
        firstPair = span * spanLength;
        return firstPair < pairs;
    }
    std::uint64_t SpanLength() const { return spanLength; }

private:
    const std::uint64_t pairs;
    const std::uint64_t spanLength;
    std::atomic<std::uint64_t> next{0};
};

}  // namespace vistrel
