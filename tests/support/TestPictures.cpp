#include "TestPictures.h"

#include <QFile>
#include <QHash>
#include <QImageWriter>

#include <turbojpeg.h>

#include <cmath>
#include <memory>
#include <random>

namespace vistrel::test {

QString ExtensionOf(PictureFormat format) {
    switch (format) {
        case PictureFormat::Bmp:
            return QStringLiteral("bmp");
        case PictureFormat::Gif:
            return QStringLiteral("gif");
        case PictureFormat::Jpeg:
            return QStringLiteral("jpg");
        case PictureFormat::Png:
            return QStringLiteral("png");
        case PictureFormat::Tiff:
            return QStringLiteral("tif");
    }
    return {};
}

QImage MakePicture(int width, int height, const std::function<QRgb(int x, int y)>& colour) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QRgb c = colour(x, y);
            row[3 * x] = static_cast<uchar>(qRed(c));
            row[3 * x + 1] = static_cast<uchar>(qGreen(c));
            row[3 * x + 2] = static_cast<uchar>(qBlue(c));
        }
    }
    return picture;
}

QImage MakePhotoLike(int width, int height, std::uint32_t seed) {
    // Overlapping soft blobs over a gradient, plus a little grain: broad shapes like a scene,
    // fine detail like sensor noise.
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    struct Blob {
        double x, y, radius, r, g, b;
    };
    std::vector<Blob> blobs(24);
    for (Blob& blob : blobs) {
        blob = {unit(random),       unit(random),       0.05 + 0.25 * unit(random),
                255 * unit(random), 255 * unit(random), 255 * unit(random)};
    }
    std::normal_distribution<double> grain(0.0, 6.0);
    return MakePicture(width, height, [&](int x, int y) {
        const double u = static_cast<double>(x) / width;
        const double v = static_cast<double>(y) / height;
        double r = 60 + 120 * v, g = 90 + 80 * u, b = 150 - 60 * v;
        for (const Blob& blob : blobs) {
            const double d2 = ((u - blob.x) * (u - blob.x) + (v - blob.y) * (v - blob.y)) /
                              (blob.radius * blob.radius);
            const double w = std::exp(-d2) * 0.6;
            r += w * (blob.r - r);
            g += w * (blob.g - g);
            b += w * (blob.b - b);
        }
        const auto clamp = [](double value) { return std::clamp(static_cast<int>(value), 0, 255); };
        return qRgb(clamp(r + grain(random)), clamp(g + grain(random)), clamp(b + grain(random)));
    });
}

QImage Posterize(const QImage& picture) {
    QImage result = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < result.height(); ++y) {
        uchar* row = result.scanLine(y);
        for (int i = 0; i < 3 * result.width(); ++i) {
            row[i] = static_cast<uchar>((row[i] * 6 / 256) * 51);
        }
    }
    return result;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

namespace {

// LSB-first bit packing into GIF sub-blocks.
class GifCodeWriter {
public:
    void Write(int code, int bits) {
        accumulator |= static_cast<std::uint32_t>(code) << pending;
        pending += bits;
        while (pending >= 8) {
            bytes.append(static_cast<char>(accumulator & 0xFF));
            accumulator >>= 8;
            pending -= 8;
        }
    }
    QByteArray Finish() {
        if (pending > 0) {
            bytes.append(static_cast<char>(accumulator & 0xFF));
        }
        QByteArray blocks;
        for (qsizetype at = 0; at < bytes.size(); at += 255) {
            const QByteArray block = bytes.mid(at, 255);
            blocks.append(static_cast<char>(block.size()));
            blocks.append(block);
        }
        blocks.append('\0');
        return blocks;
    }

private:
    QByteArray bytes;
    std::uint32_t accumulator = 0;
    int pending = 0;
};

void AppendWord(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

bool WriteGif(const QImage& picture, const QString& path) {
    const QByteArray gif = EncodeGif(picture);
    return !gif.isEmpty() && WriteBytes(path, gif);
}

QByteArray EncodeGif(const QImage& source) {
    const QImage picture = source.convertToFormat(QImage::Format_RGB888);
    QHash<QRgb, int> paletteIndex;
    QByteArray palette;
    std::vector<std::uint8_t> indices;
    indices.reserve(static_cast<std::size_t>(picture.width()) * picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb colour = qRgb(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
            auto found = paletteIndex.find(colour);
            if (found == paletteIndex.end()) {
                if (paletteIndex.size() == 256) {
                    return {};
                }
                found = paletteIndex.insert(colour, static_cast<int>(paletteIndex.size()));
                palette.append(static_cast<char>(row[3 * x]));
                palette.append(static_cast<char>(row[3 * x + 1]));
                palette.append(static_cast<char>(row[3 * x + 2]));
            }
            indices.push_back(static_cast<std::uint8_t>(found.value()));
        }
    }
    palette.resize(256 * 3, '\0');

    QByteArray out("GIF89a");
    AppendWord(out, picture.width());
    AppendWord(out, picture.height());
    out.append('\xF7');  // global colour table of 256 entries, 8 bits per channel
    out.append('\0');
    out.append('\0');
    out.append(palette);
    out.append(',');
    AppendWord(out, 0);
    AppendWord(out, 0);
    AppendWord(out, picture.width());
    AppendWord(out, picture.height());
    out.append('\0');
    out.append('\x08');  // LZW minimum code size
    // Literal codes only, with a clear code often enough that the code width stays 9 bits.
    constexpr int kClear = 256;
    constexpr int kEnd = 257;
    GifCodeWriter codes;
    int sinceClear = 0;
    codes.Write(kClear, 9);
    for (const std::uint8_t index : indices) {
        if (sinceClear == 250) {
            codes.Write(kClear, 9);
            sinceClear = 0;
        }
        codes.Write(index, 9);
        ++sinceClear;
    }
    codes.Write(kEnd, 9);
    out.append(codes.Finish());
    out.append(';');
    return out;
}

namespace {

void AppendDword(QByteArray& out, std::uint32_t value) {
    AppendWord(out, static_cast<int>(value & 0xFFFF));
    AppendWord(out, static_cast<int>(value >> 16));
}

}  // namespace

QByteArray MakeRle8Bmp(int width, int height, const QByteArray& runLengthData) {
    constexpr int kHeaders = 14 + 40;
    constexpr int kPalette = 256 * 4;
    QByteArray out("BM");
    AppendDword(out, static_cast<std::uint32_t>(kHeaders + kPalette + runLengthData.size()));
    AppendDword(out, 0);
    AppendDword(out, kHeaders + kPalette);
    AppendDword(out, 40);
    AppendDword(out, static_cast<std::uint32_t>(width));
    AppendDword(out, static_cast<std::uint32_t>(height));
    AppendWord(out, 1);   // planes
    AppendWord(out, 8);   // bits per pixel
    AppendDword(out, 1);  // BI_RLE8
    AppendDword(out, static_cast<std::uint32_t>(runLengthData.size()));
    AppendDword(out, 2835);  // 72 dpi
    AppendDword(out, 2835);
    AppendDword(out, 256);  // colours used
    AppendDword(out, 0);
    for (int i = 0; i < 256; ++i) {
        AppendDword(out, static_cast<std::uint32_t>(i * 0x010101));
    }
    out.append(runLengthData);
    return out;
}

QByteArray CompressJpeg(const std::vector<unsigned char>& pixels, int width, int height,
                        int pixelFormat, int subsampling, int flags) {
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long length = 0;
    const int result = tjCompress2(handle.get(), pixels.data(), width, 0, height, pixelFormat,
                                   &jpeg, &length, subsampling, 95, flags);
    QByteArray bytes;
    if (result == 0) {
        bytes = QByteArray(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(length));
    }
    tjFree(jpeg);
    return bytes;
}

QByteArray EncodeJpeg(const QImage& picture, int subsampling, int flags) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<unsigned char> pixels;
    pixels.reserve(static_cast<std::size_t>(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        pixels.insert(pixels.end(), row, row + 3 * rgb.width());
    }
    return CompressJpeg(pixels, rgb.width(), rgb.height(), TJPF_RGB, subsampling, flags);
}

bool WriteJpeg(const QImage& picture, const QString& path, int subsampling) {
    const QByteArray jpeg = EncodeJpeg(picture, subsampling);
    return !jpeg.isEmpty() && WriteBytes(path, jpeg);
}

bool WritePicture(const QImage& picture, PictureFormat format, const QString& path) {
    switch (format) {
        case PictureFormat::Gif:
            return WriteGif(picture, path);
        case PictureFormat::Jpeg:
            return WriteJpeg(picture, path, TJSAMP_444);
        default:
            return QImageWriter(path, ExtensionOf(format).toLatin1()).write(picture);
    }
}

QRgb SignaturePixel(const std::vector<std::uint8_t>& signature, int side, int x, int y) {
    const std::size_t at = 3 * (static_cast<std::size_t>(x) * side + y);
    return qRgb(signature[at], signature[at + 1], signature[at + 2]);
}

}  // namespace vistrel::test
