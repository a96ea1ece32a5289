#include "Orientation.h"

#include <cstddef>

namespace vistrel {

namespace {

// Where the pixel (x, y) of the oriented square of side last + 1 comes from in the stored one.
struct Source {
    int x;
    int y;
};

Source SourceOf(Orientation orientation, int x, int y, int last) {
    switch (orientation) {
        case Orientation::None:
            return {x, y};
        case Orientation::Rot90:
            return {y, last - x};
        case Orientation::Rot180:
            return {last - x, last - y};
        case Orientation::Rot270:
            return {last - y, x};
        case Orientation::Flip:
            return {last - x, y};
        case Orientation::FlipRot90:
            return {last - y, last - x};
        case Orientation::FlipRot180:
            return {x, last - y};
        case Orientation::FlipRot270:
            return {y, x};
    }
    return {x, y};
}

}  // namespace

const char* OrientationName(Orientation orientation) {
    static constexpr const char* kNames[kOrientationCount] = {
        "none", "rot90", "rot180", "rot270", "flip", "flip-rot90", "flip-rot180", "flip-rot270"};
    const auto index = static_cast<std::size_t>(orientation);
    return index < static_cast<std::size_t>(kOrientationCount) ? kNames[index] : "none";
}

Orientation Inverse(Orientation orientation) {
    // Every mirrored orientation and the half turn undo themselves.
    switch (orientation) {
        case Orientation::Rot90:
            return Orientation::Rot270;
        case Orientation::Rot270:
            return Orientation::Rot90;
        default:
            return orientation;
    }
}

void OrientSignature(const std::uint8_t* in, std::uint8_t* out, int side, Orientation orientation) {
    const int last = side - 1;
    for (int x = 0; x < side; ++x) {
        std::uint8_t* column = out + 3 * static_cast<std::size_t>(x) * side;
        for (int y = 0; y < side; ++y) {
            const Source s = SourceOf(orientation, x, y, last);
            const std::uint8_t* pixel = in + 3 * (static_cast<std::size_t>(s.x) * side + s.y);
            column[3 * y] = pixel[0];
            column[3 * y + 1] = pixel[1];
            column[3 * y + 2] = pixel[2];
        }
    }
}

bool OrientSketch(const SignatureSketch& in, int side, Orientation orientation,
                  SignatureSketch& out) {
    constexpr int kGrid = SignatureSketch::kGrid;
    if (side % kGrid != 0) {
        return false;  // blocks of unequal sizes would not turn onto one another
    }
    out.channelTotals = in.channelTotals;
    out.key = in.key;
    for (int gx = 0; gx < kGrid; ++gx) {
        for (int gy = 0; gy < kGrid; ++gy) {
            const Source s = SourceOf(orientation, gx, gy, kGrid - 1);
            const auto to = static_cast<std::size_t>(3 * (gx * kGrid + gy));
            const auto from = static_cast<std::size_t>(3 * (s.x * kGrid + s.y));
            out.blockTotals[to] = in.blockTotals[from];
            out.blockTotals[to + 1] = in.blockTotals[from + 1];
            out.blockTotals[to + 2] = in.blockTotals[from + 2];
        }
    }
    SumQuarterTotals(out);
    return true;
}

void OrientQuarters(const std::int32_t in[4][3], std::int32_t out[4][3], Orientation orientation) {
    for (int hx = 0; hx < 2; ++hx) {
        for (int hy = 0; hy < 2; ++hy) {
            const Source s = SourceOf(orientation, hx, hy, 1);
            for (int k = 0; k < 3; ++k) {
                out[hx * 2 + hy][k] = in[s.x * 2 + s.y][k];
            }
        }
    }
}

}  // namespace vistrel
