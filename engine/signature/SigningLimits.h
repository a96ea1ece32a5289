#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vistrel {

class SignatureCache;

/// How a bulk making of signatures (SignaturePipeline) may use the machine: its threads, its
/// memory, and the signature cache it may use. Plain values, passed by whoever starts it.
struct SigningLimits {
    /// Threads that decode; 0: one per core.
    int workers = 0;
    /// What the pictures being decoded at once may hold in all (EstimateDecodeBytes). A
    /// picture larger than this is still decoded, alone, and the decoder's own pixel budget
    /// decides whether it is readable.
    std::int64_t decodeBytes = std::int64_t{512} << 20;
    /// How many results may be made ahead of the one the consumer waits for: finished
    /// results hold their signatures until they are taken.
    std::size_t ahead = 256;
    /// Where signatures are looked up before a picture is decoded, and kept after; null for
    /// none. A picture found there is neither read nor counted against the budget. The
    /// program opens its cache once and passes it to every bulk making of signatures.
    std::shared_ptr<SignatureCache> cache = nullptr;
};

}  // namespace vistrel
