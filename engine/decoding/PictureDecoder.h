#pragma once

#include "ExifOrientation.h"

#include <QImage>
#include <QString>

#include <cstdint>

namespace vistrel {

/// The most pixels a picture may have once decoded (after any JPEG DCT scaling). A larger
/// picture counts as unreadable instead of exhausting memory.
inline constexpr std::int64_t kDecodeBudgetPixels = 128LL * 1024 * 1024;

/// How a picture file is decoded for its signature.
struct DecodeOptions {
    /// A JPEG is decoded at the largest DCT reduction (1/2, 1/4, 1/8) that keeps both of its
    /// sides at this many pixels or more. 0 decodes at full size.
    int minScaledSide = 400;
    /// A HEIF file's own thumbnail is decoded in place of its primary picture when its shorter
    /// side is at least this many pixels, turned and mirrored as the primary picture is: for
    /// showing, never for signatures. 0 always decodes the primary picture.
    int heifThumbnailMinSide = 0;
    /// A picture Qt's readers decode into 32-bit RGB (QImage::Format_RGB32) is handed out so
    /// rather than copied into 8-bit RGB, for a caller that reads both (the signature).
    bool allowRgb32 = false;
};

/// Decodes a picture file into 8-bit RGB (QImage::Format_RGB888; or Format_RGB32, see
/// DecodeOptions::allowRgb32): JPEG through TurboJPEG,
/// HEIC and AVIF through libheif (the primary picture, with the rotation and cropping its file
/// asks for), BMP, GIF (first frame), PNG, TIFF and WebP (first frame) through Qt's image
/// readers; the format is told by the content, not the name. Colour channels come as stored, alpha
/// ignored. A JPEG, PNG, WebP or TIFF is turned as its EXIF orientation tag asks
/// (ReadExifOrientation; after any DCT reduction), so the picture comes as its camera recorded it.
/// Returns a null image for a missing, truncated, corrupt or over-budget file, anything but a
/// regular file (never opened), a JPEG that decodes with any warning, a file that declares more
/// pixels than its format can code in its length, or one that is not a picture. `fullSize`, when
/// given, receives the picture's own width and height as shown (turned, before any DCT reduction)
/// once its header has been read. Any thread.
QImage DecodePicture(const QString& path, const DecodeOptions& options = {},
                     QSize* fullSize = nullptr);

/// Decodes a picture from `bytes`, the whole content of its file, as DecodePicture decodes the
/// file. Any thread.
QImage DecodePictureData(const QByteArray& bytes, const DecodeOptions& options = {},
                         QSize* fullSize = nullptr);

/// What a picture file's header tells, without decoding it.
struct PictureHeader {
    /// The picture's own width and height as shown (turned as its EXIF orientation asks; a HEIF
    /// file's after its own transforms); invalid when the header cannot be read.
    QSize size;
    /// The format as read from the content: "jpeg", "png", "heif", "webp", ...
    QByteArray format;
    /// How the picture is turned to be shown (EXIF; Normal for HEIF, which turns on its own).
    ExifOrientation orientation = ExifOrientation::Normal;
};

/// Reads the header of `path` only, with its EXIF orientation; an invalid size for anything but a
/// regular file, which is never opened (a FIFO would block). Any thread.
PictureHeader ReadPictureHeader(const QString& path);

/// About how many bytes decoding `path` with `options` holds at its peak, from the file's header
/// alone: the decoded picture, its 8-bit RGB copy and the turned copy of a picture with an EXIF
/// orientation (a JPEG is reduced in the DCT first), and the file's bytes. 0 when
/// the header cannot be read, in which case decoding fails at once. Any thread.
std::int64_t EstimateDecodeBytes(const QString& path, const DecodeOptions& options = {});

}  // namespace vistrel
