#pragma once

// Signatures built directly in memory, for the difference factor and the workers.

#include <cstdint>
#include <random>
#include <vector>

namespace vistrel::test {

inline constexpr int kSide = 100;
inline constexpr std::size_t kSignatureBytes = 3 * kSide * kSide;

/// A signature whose every pixel is (red, green, blue).
inline std::vector<std::uint8_t> UniformSignature(std::uint8_t red, std::uint8_t green,
                                                  std::uint8_t blue) {
    std::vector<std::uint8_t> signature(kSignatureBytes);
    for (std::size_t i = 0; i < kSignatureBytes; i += 3) {
        signature[i] = red;
        signature[i + 1] = green;
        signature[i + 2] = blue;
    }
    return signature;
}

inline std::vector<std::uint8_t> RandomSignature(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> signature(kSignatureBytes);
    for (auto& byte : signature) {
        byte = static_cast<std::uint8_t>(random());
    }
    return signature;
}

}  // namespace vistrel::test
