#pragma once

#include "SignatureSketch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// A picture's signature bytes with their sketch, immutable once made and shared: a comparison
/// run holds its own references, so a worker that outlives its run never reads freed memory.
class SignatureBytes {
public:
    SignatureBytes() = default;
    /// Takes the bytes of a square signature (3 x side x side) and makes its sketch.
    explicit SignatureBytes(std::vector<std::uint8_t> bytes) {
        if (!bytes.empty()) {
            const int side = static_cast<int>(std::lround(std::sqrt(bytes.size() / 3.0)));
            const SignatureSketch sketch = ComputeSketch(bytes.data(), side);
            shared = std::make_shared<const Data>(Data{std::move(bytes), sketch});
        }
    }

    bool empty() const { return shared == nullptr; }
    std::size_t size() const { return shared ? shared->bytes.size() : 0; }
    /// The first byte, or null when there is no signature.
    const std::uint8_t* data() const { return shared ? shared->bytes.data() : nullptr; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    std::uint8_t operator[](std::size_t i) const { return shared->bytes[i]; }
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
        std::vector<std::uint8_t> bytes;
        SignatureSketch sketch;
    };
    std::shared_ptr<const Data> shared;
};

}  // namespace vistrel
