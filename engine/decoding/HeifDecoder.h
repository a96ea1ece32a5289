#pragma once

// HEIF pictures (HEIC: HEVC inside; AVIF: AV1 inside) decoded through libheif, for
// PictureDecoder. Kept apart so that libheif's types stay in one file.

#include <QIODevice>
#include <QImage>
#include <QSize>

#include <cstdint>

namespace vistrel {

/// True when `file` begins like a HEIF file (an 'ftyp' box with a HEIC, HEIF or AVIF brand).
/// Leaves the read position where it was. Any thread.
bool StartsLikeHeif(QIODevice& file);

/// Decodes the primary picture of the HEIF file `file` (positioned at its start) at full size,
/// with the rotation, mirroring and cropping its file asks for, into 8-bit RGB, alpha dropped.
/// A null image for a damaged file, a file libheif cannot decode, a picture above `budgetPixels`
/// (told by the boxes and the codec's sequence headers, before any decoding) or one that decodes
/// to another size than its boxes declare. `fullSize`, when given, receives the
/// picture's width and height once the header has been read. With `thumbnailMinSide` above 0,
/// the smallest thumbnail of the primary picture whose shorter side is at least that many pixels
/// is decoded instead, with the primary picture's rotation and mirroring (not its cropping),
/// when the file has one of the primary's shape. Any thread.
QImage DecodeHeif(QIODevice& file, std::int64_t budgetPixels, QSize* fullSize,
                  int thumbnailMinSide = 0);

/// The width and height of the primary picture of the HEIF file `file` as decoded, read from its
/// boxes without its coded data; an invalid size when they cannot be read. Any thread.
QSize HeifPictureSize(QIODevice& file);

}  // namespace vistrel
