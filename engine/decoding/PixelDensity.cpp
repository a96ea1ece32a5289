#include "PixelDensity.h"

#include <QtEndian>

#include <algorithm>

namespace vistrel {

namespace {

// Each bound is the most a format's best compression can code in one byte of file, with a
// margin; the headers only make an honest file longer.

// Huffman-coded JPEG (baseline and progressive) spends at least one bit (the shortest code) on
// every 8 x 8 block of its full-resolution component, even for one plain colour: at most 512
// pixels per byte. Twice that leaves room for odd encoders; only arithmetic coding, which
// cameras and editors do not write, could go below a bit per block.
constexpr qint64 kJpegPixelsPerByte = 1024;

// A GIF's LZW code takes up to 12 bits and stands for at most 4,096 pixels: at most about 2,730
// pixels per byte.
constexpr qint64 kGifPixelsPerByte = 4096;

// A run-length BMP codes at most 255 pixels in a run of two bytes; an uncompressed one is held
// to its exact length elsewhere. A file that skips most of its pixels is not a photograph.
constexpr qint64 kBmpPixelsPerByte = 128;

// Deflate expands one byte into at most 1,032 (a match of 258 bytes in two bits). The bound is
// on the bytes of the rows, without the filter byte each row adds to what is compressed.
constexpr qint64 kPngRowBytesPerByte = 1100;

// TIFF's fax compressions code a blank row in a bit or two whatever its width, and other
// formats Qt may recognise have bounds of their own: only an absurd ratio is refused.
constexpr qint64 kOtherPixelsPerByte = 65536;

// Past the format's own bound, a picture that takes this much memory to decode must also hold a
// byte of file for every so many pixels. Photographs of any size take a byte for every few
// pixels; only plain areas compress further, and a file that has the decoder spend hundreds of
// megabytes on them (a 1 MB PNG of 128 million 16-bit pixels takes 1.4 GB) is made to exhaust
// memory more often than it is a picture anyone keeps.
constexpr qint64 kLargeDecodeBytes = qint64{128} << 20;
constexpr qint64 kLargePixelsPerByte = 64;

// File lengths above this (a terabyte) are taken as this, so that no product overflows.
constexpr qint64 kLongestFile = qint64{1} << 40;

// Bits per pixel of the rows of a PNG, from its IHDR chunk; 1 (the most lenient) when the
// header is not one Qt would read anyway.
qint64 PngBitsPerPixel(const QByteArray& head) {
    if (head.size() < 26 || head.mid(12, 4) != "IHDR") {
        return 1;
    }
    const qint64 depth = static_cast<quint8>(head[24]);
    switch (static_cast<quint8>(head[25])) {
        case 0:  // grey
        case 3:  // palette
            return depth;
        case 2:  // RGB
            return 3 * depth;
        case 4:  // grey and alpha
            return 2 * depth;
        case 6:  // RGBA
            return 4 * depth;
        default:
            return 1;
    }
}

}  // namespace

QSize DeclaredSize(const QByteArray& head, const QSize& readerSize) {
    if (!head.startsWith("GIF8") || head.size() < 10 || !readerSize.isValid()) {
        return readerSize;
    }
    const auto* screen = reinterpret_cast<const uchar*>(head.constData() + 6);
    return readerSize.expandedTo(
        QSize(qFromLittleEndian<quint16>(screen), qFromLittleEndian<quint16>(screen + 2)));
}

bool FileCanHoldPixels(const QByteArray& head, qint64 fileBytes, const QSize& declared) {
    if (declared.width() <= 0 || declared.height() <= 0 || fileBytes <= 0) {
        return false;
    }
    const qint64 bytes = std::min(fileBytes, kLongestFile);
    const qint64 width = declared.width();
    const qint64 height = declared.height();
    const qint64 pixels = width * height;  // below 2^62
    // Qt decodes into 32 bits a pixel, or 64 for the deep PNGs. JPEGs are reduced in the DCT
    // and need no such bound.
    const bool deep = head.startsWith("\x89PNG") && PngBitsPerPixel(head) > 32;
    if (!head.startsWith("\xFF\xD8\xFF") && pixels * (deep ? 8 : 4) > kLargeDecodeBytes &&
        pixels > kLargePixelsPerByte * bytes) {
        return false;
    }
    if (head.startsWith("\x89PNG")) {
        const qint64 rowBytes = (width * std::max<qint64>(1, PngBitsPerPixel(head)) + 7) / 8;
        return height <= kPngRowBytesPerByte * bytes / rowBytes;
    }
    qint64 perByte = kOtherPixelsPerByte;
    if (head.startsWith("\xFF\xD8\xFF")) {
        perByte = kJpegPixelsPerByte;
    } else if (head.startsWith("GIF8")) {
        perByte = kGifPixelsPerByte;
    } else if (head.startsWith("BM")) {
        perByte = kBmpPixelsPerByte;
    }
    return pixels <= perByte * bytes;
}

}  // namespace vistrel
