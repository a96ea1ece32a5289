#pragma once

// The EXIF orientation tag (0x0112) of JPEG, PNG, WebP and TIFF files: how a picture must be
// turned to be shown as its camera recorded it. The EXIF block is found with a few small reads,
// whatever the file holds, and read by Exiv2; anything but a sound tag of 1 to 8 counts as
// "normal".

#include <QIODevice>
#include <QImage>

#include <cstddef>
#include <cstdint>

namespace vistrel {

/// The tag's values: how the stored picture is turned to be shown. Mirroring (left to right)
/// comes first, then the turn clockwise.
enum class ExifOrientation : std::uint8_t {
    Normal = 1,
    Mirrored = 2,           ///< mirrored left to right
    Turned180 = 3,          ///< turned 180 degrees
    MirroredTopBottom = 4,  ///< mirrored left to right, then turned 180 degrees
    MirroredTurned270 = 5,  ///< mirrored left to right, then turned 90 degrees left
    Turned90 = 6,           ///< turned 90 degrees right
    MirroredTurned90 = 7,   ///< mirrored left to right, then turned 90 degrees right
    Turned270 = 8,          ///< turned 90 degrees left
};

/// True when showing the picture swaps its width and height (values 5 to 8).
bool SwapsSides(ExifOrientation orientation);

/// `size` as shown in `orientation`.
QSize OrientedSize(const QSize& size, ExifOrientation orientation);

/// The orientation the EXIF data `tiff` (a TIFF header and its directories, as inside a JPEG's
/// APP1 after "Exif\0\0") asks for, as Exiv2 reads it: Normal unless its first directory holds
/// the tag as one SHORT of 1 to 8 within `size` bytes. Reads nothing outside them. Any thread.
ExifOrientation OrientationFromTiff(const std::uint8_t* tiff, std::size_t size);

/// The orientation the picture file `file` asks for: from a JPEG's APP1 "Exif" segment, a PNG's
/// eXIf chunk, a WebP's EXIF chunk or a TIFF file's first directory. Normal for any other format
/// (HEIF files carry their own transforms, which their decoder applies) and for damaged, absurd
/// or missing data. Reads at most a few dozen small headers and 64 KiB of EXIF data; leaves
/// the read position where it was. Any thread.
ExifOrientation ReadExifOrientation(QIODevice& file);

/// `image` turned as `orientation` asks; the image itself for Normal or a null image.
QImage ApplyExifOrientation(const QImage& image, ExifOrientation orientation);

}  // namespace vistrel
