#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace vistrel {

/// Hands out the spans of a run's pairs to its workers, each span once, in order: a span is a
/// range of consecutive pair numbers. Shared by the workers of a run; any thread.
class SpanDispenser {
public:
    /// Spans of `pairsPerSpan` pairs each (the last one shorter).
    SpanDispenser(std::uint64_t pairCount, std::uint64_t pairsPerSpan) {
        const std::uint64_t length = std::max<std::uint64_t>(pairsPerSpan, 1);
        for (std::uint64_t start = 0; start < pairCount; start += length) {
            starts.push_back(start);
        }
        starts.push_back(pairCount);
    }
    /// Spans that start at the given pair numbers (ascending, the first 0) and end at
    /// `pairCount`.
    SpanDispenser(std::vector<std::uint64_t> spanStarts, std::uint64_t pairCount)
        : starts(std::move(spanStarts)) {
        starts.push_back(pairCount);
    }

    /// Takes the next span: its number and its pairs [firstPair, lastPair); false when none
    /// is left.
    bool Take(std::uint64_t& span, std::uint64_t& firstPair, std::uint64_t& lastPair) {
        span = next.fetch_add(1, std::memory_order_relaxed);
        if (span + 1 >= starts.size()) {
            return false;
        }
        firstPair = starts[span];
        lastPair = starts[span + 1];
        return true;
    }

private:
    std::vector<std::uint64_t> starts;  // and, last, the pair count
    std::atomic<std::uint64_t> next{0};
};

}  // namespace vistrel
