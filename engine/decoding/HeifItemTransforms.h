#pragma once

// The turns and mirrorings a HEIF file asks for one of its pictures (its 'irot' and 'imir'
// properties), read from the boxes: libheif applies them when it decodes an item, but tells
// them to no one, and a thumbnail often lacks those of its primary picture.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace vistrel {

/// One step of an item's geometric transformations, in the order the file lists them.
struct HeifTransform {
    enum class Kind { Rotate, Mirror };
    Kind kind = Kind::Rotate;
    /// Rotate: quarter turns anticlockwise (0 to 3). Mirror: the axis, 0 for the top and bottom
    /// exchanged, 1 for the left and right exchanged.
    int value = 0;
};

/// The rotations and mirrorings associated with item `item` of the HEIF file whose bytes are
/// `file`, in the order of its property associations (cropping is not among them); nullopt
/// when the boxes that tell them cannot be read. Any thread.
std::optional<std::vector<HeifTransform>> HeifItemTransforms(const QByteArray& file,
                                                             std::uint32_t item);

}  // namespace vistrel
