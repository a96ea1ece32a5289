#pragma once

#include "SignatureDigest.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vistrel {

/// The pairs marked not similar at one moment, as digest pairs: an immutable value that a
/// comparison run tests each found pair against. Copying shares the one sorted list; an empty
/// set (the default) holds nothing and costs nothing. Any thread.
class MarkedPairs {
public:
    MarkedPairs() = default;
    /// The set of `pairs` (in any order, duplicates allowed).
    explicit MarkedPairs(std::vector<DigestPair> pairs);

    bool IsEmpty() const { return sorted == nullptr; }
    std::size_t Size() const { return sorted ? sorted->size() : 0; }
    /// Whether the pair of `a` and `b` (either order) is marked; a binary search.
    bool Contains(const SignatureDigest& a, const SignatureDigest& b) const;

private:
    std::shared_ptr<const std::vector<DigestPair>> sorted;  // null when empty
};

}  // namespace vistrel
