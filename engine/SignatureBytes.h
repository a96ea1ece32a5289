#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// A picture's signature bytes, immutable once made and shared: a comparison run holds its own
/// references, so a worker that outlives its run never reads freed memory.
class SignatureBytes {
public:
    SignatureBytes() = default;
    explicit SignatureBytes(std::vector<std::uint8_t> bytes)
        : shared(bytes.empty()
                     ? nullptr
                     : std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))) {}

    bool empty() const { return shared == nullptr; }
    std::size_t size() const { return shared ? shared->size() : 0; }
    /// The first byte, or null when there is no signature.
    const std::uint8_t* data() const { return shared ? shared->data() : nullptr; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    std::uint8_t operator[](std::size_t i) const { return (*shared)[i]; }

    friend bool operator==(const SignatureBytes& a, const SignatureBytes& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const SignatureBytes& a, const std::vector<std::uint8_t>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> shared;
};

}  // namespace vistrel
