#include "SignatureEdits.h"

#include "signature/AreaResampler.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace vistrel::bench {

namespace {

// Rounded to nearest; clamped first, so that truncation rounds (and no libm call is needed).
std::uint8_t ClampByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0) + 0.5);
}

}  // namespace

std::uint64_t EditRandom::Next() {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double EditRandom::Uniform(double low, double high) {
    return low + (high - low) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::int32_t EditRandom::Below(std::int32_t count) {
    return static_cast<std::int32_t>((Next() >> 32) * static_cast<std::uint64_t>(count) >> 32);
}

Signature ResampleRect(const std::uint8_t* source, int side, SignatureRect rect, bool mirror,
                       int target) {
    QImage crop(rect.width, rect.height, QImage::Format_RGB888);
    for (int row = 0; row < rect.height; ++row) {
        std::uint8_t* line = crop.scanLine(row);
        for (int column = 0; column < rect.width; ++column) {
            const int x = rect.x + (mirror ? rect.width - 1 - column : column);
            const std::uint8_t* pixel = source + (x * side + rect.y + row) * 3;
            std::copy(pixel, pixel + 3, line + column * 3);
        }
    }
    return ResampleToSignature(crop, target);
}

SignatureRect RandomRect(int side, double widthFraction, double heightFraction,
                         EditRandom& random) {
    SignatureRect rect;
    rect.width = std::clamp(static_cast<int>(std::lround(side * widthFraction)), 1, side);
    rect.height = std::clamp(static_cast<int>(std::lround(side * heightFraction)), 1, side);
    rect.x = random.Below(side - rect.width + 1);
    rect.y = random.Below(side - rect.height + 1);
    return rect;
}

void Blend(Signature& a, const Signature& b, double weight) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        a[i] = ClampByte((1 - weight) * a[i] + weight * b[i]);
    }
}

void Recolour(Signature& signature, const ColourChange& change) {
    std::uint8_t table[3][256];
    for (int channel = 0; channel < 3; ++channel) {
        for (int value = 0; value < 256; ++value) {
            table[channel][value] = ClampByte(
                ((value - 128) * change.contrast + 128) * change.gain[channel] + change.offset);
        }
    }
    for (std::size_t i = 0; i < signature.size(); ++i) {
        signature[i] = table[i % 3][signature[i]];
    }
}

void AddNoise(Signature& signature, double sigma, EditRandom& random) {
    // Four bytes of one random word sum to 0..1020: mean 510, standard deviation about 147.8.
    std::vector<double> noise(1021);
    for (std::size_t sum = 0; sum < noise.size(); ++sum) {
        noise[sum] = (static_cast<double>(sum) - 510) * sigma / 147.8;
    }
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        if (i % 2 == 0) {
            bits = random.Next();
        }
        const std::uint64_t sum =
            (bits & 0xFF) + (bits >> 8 & 0xFF) + (bits >> 16 & 0xFF) + (bits >> 24 & 0xFF);
        bits >>= 32;
        signature[i] = ClampByte(signature[i] + noise[sum]);
    }
}

}  // namespace vistrel::bench
