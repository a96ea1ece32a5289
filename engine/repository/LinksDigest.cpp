#include "LinksDigest.h"

#include "PictureRepository.h"

namespace vistrel {

namespace {

// SplitMix64's finaliser: every bit of the input reaches every bit of the output.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

}  // namespace

LinksDigest DigestLinks(const CPictureRepository& repository) {
    LinksDigest digest;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        for (const CSimilarInfo& link : repository.GetPicture(i).similar) {
            const std::uint64_t record =
                (static_cast<std::uint64_t>(static_cast<std::uint32_t>(i)) << 32) |
                static_cast<std::uint32_t>(link.index);
            const auto factor = static_cast<std::uint32_t>(link.factor);
            // Chained, so that the order of the links counts as it does in the file.
            digest.hash = Mix(digest.hash ^ Mix(Mix(record) + factor));
            ++digest.count;
        }
    }
    return digest;
}

}  // namespace vistrel
