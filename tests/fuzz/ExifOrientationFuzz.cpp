// Fuzz target for the EXIF orientation reader: whatever the bytes, read as a picture file (JPEG,
// PNG, WebP or TIFF by their first bytes) or as an EXIF block, it gives one of the eight
// orientations, leaves the file's read position where it was, and the picture turned as it
// says has the size OrientedSize tells.
//
// Built with libFuzzer (VISTREL_LIBFUZZER) it is driven by the fuzzer; otherwise its main reads
// the files named on the command line, or a few built-in inputs when there are none.

#include "decoding/ExifOrientation.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "EXIF orientation fuzz: %s\n", what);
        std::abort();
    }
}

void CheckOrientation(vistrel::ExifOrientation orientation) {
    const int value = static_cast<int>(orientation);
    Require(value >= 1 && value <= 8, "an orientation outside 1 to 8");
    const QImage picture(3, 2, QImage::Format_RGB888);
    Require(vistrel::ApplyExifOrientation(picture, orientation).size() ==
                vistrel::OrientedSize(picture.size(), orientation),
            "a turned picture of another size than told");
}

void FuzzOne(QByteArray bytes) {
    CheckOrientation(
        vistrel::OrientationFromTiff(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                     static_cast<std::size_t>(bytes.size())));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    const qint64 start = bytes.size() / 3;
    file.seek(start);
    CheckOrientation(vistrel::ReadExifOrientation(file));
    Require(file.pos() == start, "a read position moved");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzOne(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}

#ifndef VISTREL_LIBFUZZER
namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

}  // namespace

int main(int argc, char* argv[]) {
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
    // A sound block of each byte order, then absurd values, a directory outside the data, a
    // count of 65535 entries, each container with its EXIF and a JPEG's APP1 cut short.
    const QByteArray tiffBig = Hex("4D4D002A00000008000101120003000000010006000000000000");
    const QByteArray tiffLittle = Hex("49492A000800000001001201030001000000080000000000");
    const QByteArray inputs[] = {
        tiffBig,
        tiffLittle,
        Hex("4D4D002A00000008000101120003000000010009000000000000"),
        Hex("4D4D002A00000008000101120003000000010000000000000000"),
        Hex("4D4D002A7FFFFFF0000101120003000000010006000000000000"),
        Hex("4D4D002A00000008FFFF01120003FFFFFFFF0006"),
        Hex("FFD8FFE10022457869660000") + tiffBig + Hex("FFD9"),
        Hex("FFD8FFE1FFFF457869660000") + tiffBig,
        Hex("89504E470D0A1A0A0000001865584966") + tiffLittle + Hex("00000000"),
        Hex("52494646000000005745425045584946") + Hex("18000000") + tiffLittle,
        tiffBig.left(8) + Hex("FFFFFFFF"),
        QByteArray(),
    };
    for (const QByteArray& input : inputs) {
        FuzzOne(input);
    }
    // The sound ones are read.
    const auto read = [](QByteArray bytes) {
        QBuffer file(&bytes);
        file.open(QIODevice::ReadOnly);
        return vistrel::ReadExifOrientation(file);
    };
    using vistrel::ExifOrientation;
    Require(read(inputs[0]) == ExifOrientation::Turned90, "a TIFF file's own tag not read");
    Require(read(inputs[6]) == ExifOrientation::Turned90, "a JPEG's tag not read");
    Require(read(inputs[8]) == ExifOrientation::Turned270, "a PNG's tag not read");
    Require(read(inputs[9]) == ExifOrientation::Turned270, "a WebP's tag not read");
    Require(read(inputs[2]) == ExifOrientation::Normal, "orientation 9 taken");
    std::puts("EXIF orientation fuzz: built-in inputs passed");
    return 0;
}
#endif
