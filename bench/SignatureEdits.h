#pragma once

// Picture edits made directly on signatures (3 x side x side bytes, column by column, each
// pixel red, green, blue), for growing a benchmark's set of entries from a real corpus. Pure
// functions; any thread.

#include <cstdint>
#include <vector>

namespace vistrel::bench {

using Signature = std::vector<std::uint8_t>;

/// A small deterministic generator (SplitMix64): one seed gives the same edits with any
/// compiler and library, which the standard distributions do not promise.
class EditRandom {
public:
    explicit EditRandom(std::uint64_t seed) : state(seed) {}
    std::uint64_t Next();
    /// Uniform in [low, high).
    double Uniform(double low, double high);
    /// Uniform in [0, count); count > 0.
    std::int32_t Below(std::int32_t count);
    bool Chance(double probability) { return Uniform(0, 1) < probability; }

private:
    std::uint64_t state;
};

/// A sub-rectangle of a side x side signature: columns [x, x + width), rows [y, y + height).
struct SignatureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// The signature of `rect` of `source` (mirrored left to right when `mirror`), made by the
/// program's own area resampler onto target x target pixels, as a picture of that crop would be.
Signature ResampleRect(const std::uint8_t* source, int side, SignatureRect rect, bool mirror,
                       int target);

/// A rectangle of `fraction` of the side each way (fractions in (0, 1]) at a random place.
SignatureRect RandomRect(int side, double widthFraction, double heightFraction, EditRandom& random);

/// (1 - weight) x a + weight x b per byte, rounded: two pictures exposed onto one.
void Blend(Signature& a, const Signature& b, double weight);

/// Per channel: ((value - 128) x contrast + 128) x gain + offset, rounded and clamped.
struct ColourChange {
    double gain[3] = {1, 1, 1};
    double contrast = 1;
    double offset = 0;
};
void Recolour(Signature& signature, const ColourChange& change);

/// Adds to every byte noise of about `sigma` standard deviation (a sum of four uniforms, near
/// enough to normal and far cheaper), rounded and clamped.
void AddNoise(Signature& signature, double sigma, EditRandom& random);

}  // namespace vistrel::bench
