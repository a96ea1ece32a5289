#pragma once

// Pictures the tests and benchmarks make themselves, in every format the program reads.

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace vistrel::test {

/// The five picture formats, by the extension the tests write them with.
enum class PictureFormat { Bmp, Gif, Jpeg, Png, Tiff };

inline const PictureFormat kAllFormats[] = {PictureFormat::Bmp, PictureFormat::Gif,
                                            PictureFormat::Jpeg, PictureFormat::Png,
                                            PictureFormat::Tiff};

QString ExtensionOf(PictureFormat format);

/// An RGB888 picture whose pixel (x, y) is colour(x, y).
QImage MakePicture(int width, int height, const std::function<QRgb(int x, int y)>& colour);

/// A smooth, detailed picture that behaves like a photograph under JPEG and resampling.
QImage MakePhotoLike(int width, int height, std::uint32_t seed);

/// The picture with each channel reduced to six levels: at most 216 colours, as a GIF needs.
QImage Posterize(const QImage& picture);

/// A JPEG of packed pixels in TurboJPEG's `pixelFormat`, at quality 95, with TurboJPEG's
/// `flags` (such as TJFLAG_PROGRESSIVE); empty on failure.
QByteArray CompressJpeg(const std::vector<unsigned char>& pixels, int width, int height,
                        int pixelFormat, int subsampling, int flags = 0);

/// `picture` as a JPEG at quality 95 with TurboJPEG's `subsampling` and `flags`.
QByteArray EncodeJpeg(const QImage& picture, int subsampling, int flags = 0);

/// Writes `picture` as a JPEG at quality 95 with TurboJPEG's `subsampling`; true on success.
bool WriteJpeg(const QImage& picture, const QString& path, int subsampling);

/// Writes `picture` as `format` at `path` (JPEG at quality 95 without colour subsampling);
/// true on success. GIF is written by our own small encoder, for at most 256 colours.
bool WritePicture(const QImage& picture, PictureFormat format, const QString& path);

/// Writes a GIF of a picture with at most 256 colours; true on success.
bool WriteGif(const QImage& picture, const QString& path);

/// The bytes WriteGif writes: the logical screen and the one picture both of the picture's size.
/// Empty for a picture of more than 256 colours.
QByteArray EncodeGif(const QImage& picture);

/// An 8-bit run-length BMP (a grey palette of 256 entries) that declares `width` x `height`
/// pixels and holds `runLengthData` as its pixel data.
QByteArray MakeRle8Bmp(int width, int height, const QByteArray& runLengthData);

/// Writes `bytes` to `path`; true on success.
bool WriteBytes(const QString& path, const QByteArray& bytes);

/// The colour of signature pixel (x, y), as 0xRRGGBB, for a signature of the given side.
QRgb SignaturePixel(const std::vector<std::uint8_t>& signature, int side, int x, int y);

}  // namespace vistrel::test
