#include "PictureDecoder.h"

#include "PictureCompleteness.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <turbojpeg.h>

#include <array>
#include <memory>

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

// libjpeg goes on after a warning, filling what is missing with grey. A file that ends early
// is a damaged picture; other warnings (such as stray bytes between markers) leave a whole one.
bool IsTruncationWarning(const char* message) {
    return QString::fromLatin1(message).contains(QLatin1String("premature end"),
                                                 Qt::CaseInsensitive);
}

// Qt drops a straight alpha channel in this conversion rather than blending it, so the colour
// channels come out as stored.
QImage ToRgb888(const QImage& image) {
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB888);
}

QImage DecodeWithQt(QIODevice& device, const QSize& scaledSize, QSize* fullSize) {
    QImageReader reader(&device);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kQtAllocationLimitMb);
    const QSize size = reader.size();
    if (!size.isValid() || !WithinBudget(size.width(), size.height())) {
        return {};
    }
    if (fullSize != nullptr && !scaledSize.isValid()) {
        *fullSize = size;
    }
    if (scaledSize.isValid()) {
        reader.setScaledSize(scaledSize);
    }
    return ToRgb888(reader.read());
}

QImage DecodeJpeg(QFile& file, const DecodeOptions& options, QSize* fullSize) {
    if (file.size() > kMaxJpegFileBytes) {
        return {};
    }
    const QByteArray bytes = file.readAll();
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
    const tjscalingfactor scaling = ChooseJpegScaling(width, height, options.minScaledSide);
    const int scaledWidth = TJSCALED(width, scaling);
    const int scaledHeight = TJSCALED(height, scaling);
    if (!WithinBudget(scaledWidth, scaledHeight)) {
        return {};
    }
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        // TurboJPEG does not turn CMYK into RGB; Qt's reader does, with the same DCT scaling.
        file.seek(0);
        return DecodeWithQt(file, QSize(scaledWidth, scaledHeight), nullptr);
    }
    QImage image(scaledWidth, scaledHeight, QImage::Format_RGB888);
    if (image.isNull()) {
        return {};
    }
    // Limiting progressive scans keeps a hostile file from taking minutes to decode.
    const int result = tjDecompress2(handle.get(), data, length, image.bits(), scaledWidth,
                                     static_cast<int>(image.bytesPerLine()), scaledHeight, TJPF_RGB,
                                     TJFLAG_LIMITSCANS);
    if (result != 0) {
        const bool fatal = tjGetErrorCode(handle.get()) == TJERR_FATAL;
        if (fatal || IsTruncationWarning(tjGetErrorStr2(handle.get()))) {
            return {};
        }
    }
    return image;
}

bool StartsLikeJpeg(QFile& file) {
    std::array<char, 3> head{};
    const bool jpeg = file.peek(head.data(), 3) == 3 && head[0] == '\xFF' && head[1] == '\xD8' &&
                      head[2] == '\xFF';
    return jpeg;
}

}  // namespace

QImage DecodePicture(const QString& path, const DecodeOptions& options, QSize* fullSize) {
    // Only regular files: a device or a pipe named like a picture could block or never end.
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    if (StartsLikeJpeg(file)) {
        return DecodeJpeg(file, options, fullSize);
    }
    if (!HoldsAllPictureData(file)) {
        return {};
    }
    return DecodeWithQt(file, QSize(), fullSize);
}

}  // namespace vistrel
