#include "PictureCompleteness.h"

#include <QByteArray>
#include <QtEndian>

#include <cstdlib>

namespace vistrel {

namespace {

// Qt's BMP reader fills the rows of a file that ends early with black and reports success, so
// the length the header declares for uncompressed pixel data is checked first.
bool BmpIsComplete(QIODevice& file) {
    const QByteArray head = file.peek(34);
    if (head.size() < 34) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    const qint64 pixelOffset = qFromLittleEndian<quint32>(bytes + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(bytes + 14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bitsPerPixel = 0;
    quint32 compression = 0;
    if (headerSize == 12) {  // the old OS/2 header
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        bitsPerPixel = qFromLittleEndian<quint16>(bytes + 24);
    } else {
        width = qFromLittleEndian<qint32>(bytes + 18);
        height = qFromLittleEndian<qint32>(bytes + 22);
        bitsPerPixel = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
    }
    constexpr quint32 kUncompressed = 0;
    constexpr quint32 kBitFields = 3;
    constexpr quint32 kAlphaBitFields = 6;
    if (compression != kUncompressed && compression != kBitFields &&
        compression != kAlphaBitFields) {
        return true;  // run-length data has no fixed length; Qt's reader checks it
    }
    const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    return file.size() >= pixelOffset + rowBytes * std::abs(height);
}

// Walks the GIF block structure up to the end of the first picture's data sub-blocks.
bool GifIsComplete(QIODevice& file) {
    const QByteArray bytes = file.peek(file.size());
    qsizetype at = 13;  // signature and logical screen descriptor
    if (bytes.size() < at) {
        return false;
    }
    const auto byteAt = [&bytes](qsizetype i) { return static_cast<quint8>(bytes[i]); };
    const auto colourTableBytes = [](quint8 flags) {
        return (flags & 0x80) != 0 ? 3 * (2 << (flags & 0x07)) : 0;
    };
    at += colourTableBytes(byteAt(10));
    // Skips a chain of sub-blocks; false when the file ends inside it.
    const auto skipSubBlocks = [&]() {
        while (at < bytes.size()) {
            const quint8 length = byteAt(at);
            at += 1 + length;
            if (length == 0) {
                return at <= bytes.size();
            }
        }
        return false;
    };
    while (at < bytes.size()) {
        const quint8 introducer = byteAt(at);
        if (introducer == 0x21) {  // extension: label, then sub-blocks
            at += 2;
            if (!skipSubBlocks()) {
                return false;
            }
        } else if (introducer == 0x2C) {  // image descriptor, colour table, LZW code size
            if (at + 10 > bytes.size()) {
                return false;
            }
            at += 10 + colourTableBytes(byteAt(at + 9)) + 1;
            return skipSubBlocks();
        } else {
            return false;  // trailer or garbage before any picture
        }
    }
    return false;
}

}  // namespace

bool HoldsAllPictureData(QIODevice& file) {
    const QByteArray magic = file.peek(4);
    if (magic.startsWith("BM")) {
        return BmpIsComplete(file);
    }
    if (magic.startsWith("GIF8")) {
        return GifIsComplete(file);
    }
    return true;
}

}  // namespace vistrel
