#pragma once

#include "SignatureSketch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// The checksum a store keeps of the signature bytes it holds (64-bit XXH3).
std::uint64_t SignatureChecksum(const std::uint8_t* bytes, std::size_t size);

/// A picture's signature bytes with their sketch, immutable once made and shared: a comparison
/// run holds its own references, so a worker that outlives its run never reads freed memory.
/// The bytes lie in memory or in a SignatureStore's mapped file, whose mapping they keep.
class SignatureBytes {
public:
    SignatureBytes() = default;
    /// Takes the bytes of a square signature (3 x side x side) and makes its sketch.
    explicit SignatureBytes(std::vector<std::uint8_t> bytes) {
        if (!bytes.empty()) {
            const int side = static_cast<int>(std::lround(std::sqrt(bytes.size() / 3.0)));
            const SignatureSketch sketch = ComputeSketch(bytes.data(), side);
            auto made = std::make_shared<Data>();
            made->first = bytes.data();
            made->size = bytes.size();
            made->bytes = std::move(bytes);
            made->sketch = sketch;
            shared = std::move(made);
        }
    }
    /// The same signature as `copied`, whose `size` bytes were copied to `first`, which `place`
    /// keeps (a store's mapping); `checksum` is theirs (SignatureChecksum), for Intact.
    SignatureBytes(const SignatureBytes& copied, std::shared_ptr<const void> place,
                   const std::uint8_t* first, std::uint64_t checksum) {
        auto made = std::make_shared<Data>();
        made->place = std::move(place);
        made->first = first;
        made->size = copied.size();
        made->checksum = checksum;
        made->sketch = copied.Sketch();
        shared = std::move(made);
    }

    bool empty() const { return shared == nullptr; }
    std::size_t size() const { return shared ? shared->size : 0; }
    /// The first byte, or null when there is no signature.
    const std::uint8_t* data() const { return shared ? shared->first : nullptr; }
    /// Whether the bytes lie in a store's file rather than in this process's memory.
    bool InStore() const { return shared && shared->place; }
    /// Asks the system to read bytes in a store's file ahead of their use, so that the reads of
    /// many signatures overlap; nothing for bytes in memory.
    void WillRead() const;
    /// Whether bytes kept in a store still have the checksum they were written with (the file
    /// may have been changed by someone else); always true for bytes in memory.
    bool Intact() const;
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    std::uint8_t operator[](std::size_t i) const { return shared->first[i]; }
    /// The sketch; only for a signature that is not empty.
    const SignatureSketch& Sketch() const { return shared->sketch; }

    friend bool operator==(const SignatureBytes& a, const SignatureBytes& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const SignatureBytes& a, const std::vector<std::uint8_t>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    struct Data {
        std::vector<std::uint8_t> bytes;    // the bytes, when held in memory
        std::shared_ptr<const void> place;  // else the store's mapping that holds them
        const std::uint8_t* first = nullptr;
        std::size_t size = 0;
        std::uint64_t checksum = 0;  // of bytes in a store
        SignatureSketch sketch;
    };
    std::shared_ptr<const Data> shared;
};

}  // namespace vistrel
