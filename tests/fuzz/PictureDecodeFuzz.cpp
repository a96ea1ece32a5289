// Fuzz target for decoding a picture from its file's bytes in memory, as the signatures are made:
// whatever the bytes, DecodePictureData gives what DecodePicture gives for a file holding them
// (the same pixels in the same format, or the same refusal, and the same full size), and neither
// crashes.
//
// Built with libFuzzer (VISTREL_LIBFUZZER) it is driven by the fuzzer; otherwise its main reads
// the files named on the command line, or decodes a few small pictures of each format, whole,
// cut short at many lengths and with bytes changed, when there are none (Qt writes no GIF).

#include "decoding/PictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "picture decode fuzz: %s\n", what);
        std::abort();
    }
}

// The one file the bytes are written to, in a folder of this process's own.
const QString& FilePath() {
    static const auto folder = std::make_unique<QTemporaryDir>();
    static const QString path = folder->filePath(QStringLiteral("picture"));
    Require(folder->isValid(), "no temporary folder");
    return path;
}

void FuzzOne(const QByteArray& bytes) {
    QFile file(FilePath());
    Require(
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
        "the bytes could not be written");
    file.close();
    // As the signatures decode: Qt's 32-bit RGB handed out as it comes.
    vistrel::DecodeOptions options;
    options.allowRgb32 = true;
    QSize fromFileSize;
    const QImage fromFile = vistrel::DecodePicture(FilePath(), options, &fromFileSize);
    QSize fromDataSize;
    const QImage fromData = vistrel::DecodePictureData(bytes, options, &fromDataSize);
    Require(fromFile.isNull() == fromData.isNull(), "read from one place and not the other");
    Require(fromFile.format() == fromData.format(), "pictures of two formats");
    Require(fromFile == fromData, "other pixels");
    Require(fromFileSize == fromDataSize, "another full size");
}

}  // namespace

// Qt finds its image format plugins (GIF, TIFF, WebP, ...) through the application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static const QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzOne(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}

#ifndef VISTREL_LIBFUZZER
namespace {

QByteArray Encoded(const QImage& picture, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Require(picture.save(&buffer, format), "a picture could not be written");
    return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QCoreApplication application(argc, argv);
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            QFile input(QString::fromLocal8Bit(argv[i]));
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            FuzzOne(input.readAll());
        }
        return 0;
    }
    QImage picture(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgba(7 * x, 11 * y, 3 * (x + y), 40 + 5 * x));
        }
    }
    const QImage opaque = picture.convertToFormat(QImage::Format_RGB888);
    const QByteArray inputs[] = {
        Encoded(opaque, "JPG"),
        Encoded(opaque, "PNG"),
        Encoded(picture, "PNG"),
        Encoded(opaque, "BMP"),
        Encoded(picture, "TIFF"),
        Encoded(opaque, "WEBP"),
        Encoded(opaque.convertToFormat(QImage::Format_Grayscale8), "PNG"),
    };
    for (const QByteArray& whole : inputs) {
        for (qsizetype length = 0; length <= whole.size(); length += 1 + length / 16) {
            FuzzOne(whole.left(length));
        }
        for (qsizetype at = 0; at < whole.size(); at += 1 + at / 8) {
            QByteArray changed = whole;
            changed[at] = static_cast<char>(changed[at] ^ 0x5A);
            FuzzOne(changed);
        }
    }
    return 0;
}
#endif
