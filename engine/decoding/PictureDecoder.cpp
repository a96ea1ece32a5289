#include "PictureDecoder.h"

#include "ExifOrientation.h"
#include "HeifCodedSize.h"
#include "HeifDecoder.h"
#include "PictureCompleteness.h"
#include "PictureFile.h"
#include "PixelDensity.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace vistrel {

namespace {

// A JPEG is read whole into memory for TurboJPEG; a file above this is not taken for a photo.
constexpr qint64 kMaxJpegFileBytes = 512LL * 1024 * 1024;

// Qt's readers refuse on their own any image above this allocation (in MB): room for the
// pixel budget at 64 bits per pixel, the widest format they produce.
constexpr int kQtAllocationLimitMb = static_cast<int>(kDecodeBudgetPixels * 8 / (1024 * 1024));

struct TurboJpegDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboJpegHandle = std::unique_ptr<void, TurboJpegDeleter>;

bool WithinBudget(qint64 width, qint64 height) {
    return width > 0 && height > 0 && width * height <= kDecodeBudgetPixels;
}

// The DCT scaling TurboJPEG should apply: the largest reduction that keeps both sides at
// `minSide` or more, or 1/1.
tjscalingfactor ChooseJpegScaling(int width, int height, int minSide) {
    if (minSide > 0) {
        for (const int denominator : {8, 4, 2}) {
            const tjscalingfactor factor{1, denominator};
            if (TJSCALED(width, factor) >= minSide && TJSCALED(height, factor) >= minSide) {
                return factor;
            }
        }
    }
    return tjscalingfactor{1, 1};
}

// libjpeg goes on after a warning (a file that ends early, corrupt data), filling what it could
// not read with grey, and TurboJPEG reports some failures of progressive files only as warnings,
// with rows never written. Stopping at the first warning makes every one of them a failure.
// Limiting progressive scans keeps a hostile file from taking minutes to decode.
constexpr int kJpegFlags = TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING;

// Warnings about a file's headers rather than its pixel data: stray bytes between segments,
// odd scan parameters in a baseline file, an unknown JFIF version, Adobe transform or broken
// ICC profile, as some cameras and editors write them. libjpeg decodes every pixel of such a
// photo, so it is whole and must not be called damaged.
bool IsHeaderWarning(tjhandle handle) {
    if (tjGetErrorCode(handle) != TJERR_WARNING) {
        return false;
    }
    const char* const message = tjGetErrorStr2(handle);
    constexpr std::array kHarmless = {
        "extraneous bytes before marker", "Invalid SOS parameters for sequential JPEG",
        "unknown JFIF revision number", "Unknown Adobe color transform code", "bad ICC marker"};
    return std::any_of(kHarmless.begin(), kHarmless.end(), [message](const char* harmless) {
        return std::strstr(message, harmless) != nullptr;
    });
}

// Decodes into `pixels` and tells whether every pixel was decoded. After a first warning about
// the headers the file is decoded again without stopping at warnings; only the last warning can
// be read then, so it must be about the headers too, and the pixels are zeroed first: whatever
// that decoding leaves unwritten is never taken for pixels. The first decoding needs no zeroing
// (a twentieth of a small JPEG's time): it stops at any warning, so when it succeeds it has
// written every row.
bool DecodeJpegPixels(tjhandle handle, const unsigned char* data, unsigned long length,
                      unsigned char* pixels, int width, int pitch, int height, int pixelFormat) {
    if (tjDecompress2(handle, data, length, pixels, width, pitch, height, pixelFormat,
                      kJpegFlags) == 0) {
        return true;
    }
    if (!IsHeaderWarning(handle)) {
        return false;
    }
    std::memset(pixels, 0, static_cast<std::size_t>(pitch) * height);
    return tjDecompress2(handle, data, length, pixels, width, pitch, height, pixelFormat,
                         kJpegFlags & ~TJFLAG_STOPONWARNING) == 0 ||
           IsHeaderWarning(handle);
}

// True when TurboJPEG reads all of a JPEG's data. Decoding at 1/8 costs the reading of the data
// and little more; the buffer is no larger than the decoded picture.
bool JpegDataIsWhole(tjhandle handle, const unsigned char* data, unsigned long length, int width,
                     int height, int pixelFormat) {
    const tjscalingfactor eighth{1, 8};
    const int scaledWidth = TJSCALED(width, eighth);
    const int scaledHeight = TJSCALED(height, eighth);
    const int pitch = scaledWidth * tjPixelSize[pixelFormat];
    std::vector<unsigned char> pixels(static_cast<std::size_t>(pitch) * scaledHeight);
    return DecodeJpegPixels(handle, data, length, pixels.data(), scaledWidth, pitch, scaledHeight,
                            pixelFormat);
}

// Qt drops a straight alpha channel in this conversion rather than blending it, so the colour
// channels come out as stored. Opaque 32-bit RGB, what Qt's readers give for most pictures, holds
// the same colours as its copy: a caller that reads it is spared the copy.
QImage ToRgb888(const QImage& image, bool allowRgb32) {
    if (image.isNull() || (allowRgb32 && image.format() == QImage::Format_RGB32)) {
        return image;
    }
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage DecodeWithQt(QIODevice& device, const QSize& scaledSize, bool allowRgb32, QSize* fullSize) {
    const QByteArray head = device.peek(kPixelDensityHeadBytes);
    QImageReader reader(&device);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kQtAllocationLimitMb);
    const QSize size = DeclaredSize(head, reader.size());
    if (!size.isValid() || !WithinBudget(size.width(), size.height()) ||
        !FileCanHoldPixels(head, device.size(), size)) {
        return {};
    }
    if (fullSize != nullptr && !scaledSize.isValid()) {
        *fullSize = size;
    }
    if (scaledSize.isValid()) {
        reader.setScaledSize(scaledSize);
    }
    return ToRgb888(reader.read(), allowRgb32);
}

// `whole`, when given, holds all of the bytes of `file`, which are then not read again.
QImage DecodeJpeg(QIODevice& file, const QByteArray* whole, const DecodeOptions& options,
                  QSize* fullSize) {
    if (file.size() > kMaxJpegFileBytes) {
        return {};
    }
    const QByteArray bytes = whole != nullptr ? *whole : file.readAll();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto length = static_cast<unsigned long>(bytes.size());

    const TurboJpegHandle handle(tjInitDecompress());
    if (!handle) {
        return {};
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle.get(), data, length, &width, &height, &subsampling,
                            &colourspace) != 0) {
        return {};
    }
    if (fullSize != nullptr) {
        *fullSize = QSize(width, height);
    }
    if (!FileCanHoldPixels(bytes.left(kPixelDensityHeadBytes), bytes.size(),
                           QSize(width, height))) {
        return {};
    }
    const tjscalingfactor scaling = ChooseJpegScaling(width, height, options.minScaledSide);
    const int scaledWidth = TJSCALED(width, scaling);
    const int scaledHeight = TJSCALED(height, scaling);
    if (!WithinBudget(scaledWidth, scaledHeight)) {
        return {};
    }
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        // TurboJPEG does not turn CMYK into RGB; Qt's reader does, with the same DCT scaling, but
        // it fills what a damaged file lacks with grey, so TurboJPEG reads the data first.
        if (!JpegDataIsWhole(handle.get(), data, length, width, height, TJPF_CMYK)) {
            return {};
        }
        file.seek(0);
        return DecodeWithQt(file, QSize(scaledWidth, scaledHeight), options.allowRgb32, nullptr);
    }
    QImage image(scaledWidth, scaledHeight, QImage::Format_RGB888);
    if (image.isNull()) {
        return {};
    }
    if (!DecodeJpegPixels(handle.get(), data, length, image.bits(), scaledWidth,
                          static_cast<int>(image.bytesPerLine()), scaledHeight, TJPF_RGB)) {
        return {};
    }
    return image;
}

// How much of a JPEG EstimateDecodeBytes reads for its frame header: most often a first small
// part, which holds every segment up to the start of the scan, and otherwise this much.
constexpr qint64 kJpegHeaderBytes = 256 * 1024;
constexpr qint64 kJpegFirstHeaderBytes = 16 * 1024;

bool StartsLikeJpeg(QIODevice& file) {
    std::array<char, 3> head{};
    const bool jpeg = file.peek(head.data(), 3) == 3 && head[0] == '\xFF' && head[1] == '\xD8' &&
                      head[2] == '\xFF';
    return jpeg;
}

// True when `head` holds a JPEG's segments up to and including its first start-of-scan header,
// one after the other by their lengths. libjpeg reads a header that far and no further, so
// TurboJPEG tells the same from `head` as from any longer part of the file. False when the
// segments leave `head`, or take a turn this walk does not follow (stray bytes, markers without
// a length): only a longer part tells then.
bool HoldsJpegHeader(const QByteArray& head) {
    const auto byte = [&head](qint64 at) { return static_cast<std::uint8_t>(head[at]); };
    qint64 at = 2;
    while (at + 4 <= head.size()) {
        if (byte(at) != 0xFF) {
            return false;
        }
        const std::uint8_t marker = byte(at + 1);
        if (marker == 0xFF) {
            at += 1;  // a fill byte
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {
            return false;
        }
        const qint64 length = qint64{byte(at + 2)} << 8 | byte(at + 3);
        if (length < 2) {
            return false;  // libjpeg reads on after such a length, not past it
        }
        const qint64 end = at + 2 + length;
        if (marker == 0xDA) {
            return end <= head.size();
        }
        at = end;
    }
    return false;
}

// The header of the picture in `file`, open at its start, its size as stored.
PictureHeader ReadStoredHeader(QFile& file) {
    if (StartsLikeJpeg(file)) {
        // The frame header comes after the metadata segments, which rarely take this much.
        QByteArray head = file.read(kJpegFirstHeaderBytes);
        if (!HoldsJpegHeader(head)) {
            head += file.read(kJpegHeaderBytes - head.size());
        }
        const TurboJpegHandle handle(tjInitDecompress());
        int width = 0;
        int height = 0;
        int subsampling = 0;
        int colourspace = 0;
        if (!handle || tjDecompressHeader3(handle.get(),
                                           reinterpret_cast<const unsigned char*>(head.constData()),
                                           static_cast<unsigned long>(head.size()), &width, &height,
                                           &subsampling, &colourspace) != 0) {
            return {};
        }
        return {QSize(width, height), QByteArrayLiteral("jpeg")};
    }
    if (StartsLikeHeif(file)) {
        return {HeifPictureSize(file), QByteArrayLiteral("heif")};
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    return {size, size.isValid() ? reader.format() : QByteArray()};
}

// The header of the picture in `file`, open at its start, its size as shown.
PictureHeader ReadHeader(QFile& file) {
    if (StartsLikeHeif(file)) {
        return ReadStoredHeader(file);  // the size libheif gives, its own transforms applied
    }
    const ExifOrientation orientation = ReadExifOrientation(file);
    PictureHeader header = ReadStoredHeader(file);
    if (header.size.isEmpty()) {
        return {};  // TurboJPEG reads a frame header cut short as 0 x 0
    }
    header.size = OrientedSize(header.size, orientation);
    header.orientation = orientation;
    return header;
}

// Decodes the picture in `file`, open at its start, as stored; `whole` as for DecodeJpeg.
QImage DecodeStored(QIODevice& file, const QByteArray* whole, const DecodeOptions& options,
                    QSize* fullSize) {
    if (StartsLikeJpeg(file)) {
        return DecodeJpeg(file, whole, options, fullSize);
    }
    if (!HoldsAllPictureData(file)) {
        return {};
    }
    return DecodeWithQt(file, QSize(), options.allowRgb32, fullSize);
}

// Decodes the picture in `file`, open at its start, as shown; `whole` as for DecodeJpeg.
QImage DecodeOpened(QIODevice& file, const QByteArray* whole, const DecodeOptions& options,
                    QSize* fullSize) {
    if (StartsLikeHeif(file)) {
        return DecodeHeif(file, kDecodeBudgetPixels, fullSize, options.heifThumbnailMinSide);
    }
    // Turned after decoding, on the picture the DCT has already made smaller.
    const ExifOrientation orientation = ReadExifOrientation(file);
    QSize storedSize;
    const QImage stored = DecodeStored(file, whole, options, &storedSize);
    if (fullSize != nullptr && storedSize.isValid()) {
        *fullSize = OrientedSize(storedSize, orientation);
    }
    return ApplyExifOrientation(stored, orientation);
}

}  // namespace

QImage DecodePicture(const QString& path, const DecodeOptions& options, QSize* fullSize) {
    // Only regular files: a device or a pipe named like a picture could block or never end.
    QFile file;
    if (!OpenPictureFile(path, file).Opened()) {
        return {};
    }
    return DecodeOpened(file, nullptr, options, fullSize);
}

QImage DecodePictureData(const QByteArray& bytes, const DecodeOptions& options, QSize* fullSize) {
    QBuffer buffer;
    buffer.setData(bytes);  // shares the bytes, copies none
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    return DecodeOpened(buffer, &bytes, options, fullSize);
}

PictureHeader ReadPictureHeader(const QString& path) {
    QFile file;
    return OpenPictureFile(path, file).Opened() ? ReadHeader(file) : PictureHeader{};
}

std::int64_t EstimateDecodeBytes(const QString& path, const DecodeOptions& options) {
    QFile file;
    if (!OpenPictureFile(path, file).Opened()) {
        return 0;
    }
    const std::int64_t fileBytes = file.size();
    const PictureHeader header = ReadHeader(file);
    const QSize& size = header.size;
    if (!size.isValid()) {
        return 0;
    }
    // A picture shown turned is copied once more, in 8-bit RGB, after decoding.
    const int turnedCopy = header.orientation == ExifOrientation::Normal ? 0 : 3;
    if (header.format == "jpeg") {
        // TurboJPEG writes 8-bit RGB straight away, next to the file it holds whole.
        const tjscalingfactor scaling =
            ChooseJpegScaling(size.width(), size.height(), options.minScaledSide);
        const std::int64_t scaled =
            std::int64_t{TJSCALED(size.width(), scaling)} * TJSCALED(size.height(), scaling);
        return scaled * (3 + turnedCopy) + fileBytes;
    }
    if (header.format == "heif") {
        // libheif writes 8-bit RGB, which the image takes over, after its YCbCr planes (up to
        // 16 bits a sample), next to the file it holds whole. It decodes the size the coded data
        // says, which the boxes may understate; when the codec's sequence headers do not tell it,
        // the picture may be as large as the decoder lets through.
        file.seek(0);
        const std::int64_t coded = HeifLargestCodedPixels(file);
        const std::int64_t pixels =
            coded < 0 ? kDecodeBudgetPixels
                      : std::max(std::int64_t{size.width()} * size.height(), coded);
        return pixels * (3 + 6) + fileBytes;
    }
    // Qt's readers decode into up to 64 bits a pixel (deep PNG and TIFF), then the RGB copy,
    // next to the file when it is decoded from memory (DecodePictureData).
    return std::int64_t{size.width()} * size.height() * (8 + 3 + turnedCopy) + fileBytes;
}

}  // namespace vistrel
