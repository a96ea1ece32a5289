#include "MarkedPairs.h"

#include <algorithm>

namespace vistrel {

MarkedPairs::MarkedPairs(std::vector<DigestPair> pairs) {
    if (pairs.empty()) {
        return;
    }
    for (DigestPair& pair : pairs) {
        pair = DigestPair::Of(pair.first, pair.second);
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    sorted = std::make_shared<const std::vector<DigestPair>>(std::move(pairs));
}

bool MarkedPairs::Contains(const SignatureDigest& a, const SignatureDigest& b) const {
    return sorted != nullptr &&
           std::binary_search(sorted->begin(), sorted->end(), DigestPair::Of(a, b));
}

}  // namespace vistrel
