#include "BmpCompleteness.h"

#include "PictureDecoder.h"

#include <QByteArray>
#include <QtEndian>

#include <optional>

namespace vistrel {

namespace {

constexpr quint32 kUncompressed = 0;
constexpr quint32 kRunLength8 = 1;
constexpr quint32 kRunLength4 = 2;
constexpr quint32 kBitFields = 3;
constexpr quint32 kAlphaBitFields = 6;

struct BmpHeader {
    qint64 pixelOffset = 0;
    qint64 width = 0;
    qint64 rows = 0;  // whichever way they run
    qint64 bitsPerPixel = 0;
    quint32 compression = kUncompressed;
};

// The header's fields, or nothing when they are sizes no picture has. Every field is widened to
// 64 bits and the sizes are bounded before any arithmetic, so no product can overflow.
std::optional<BmpHeader> ReadHeader(const QByteArray& head) {
    if (head.size() < 34) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    BmpHeader header;
    header.pixelOffset = qFromLittleEndian<quint32>(bytes + 10);
    qint64 height = 0;
    if (qFromLittleEndian<quint32>(bytes + 14) == 12) {  // the old OS/2 header
        header.width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        header.bitsPerPixel = qFromLittleEndian<quint16>(bytes + 24);
    } else {
        header.width = qFromLittleEndian<qint32>(bytes + 18);
        height = qFromLittleEndian<qint32>(bytes + 22);  // negative: rows run top down
        header.bitsPerPixel = qFromLittleEndian<quint16>(bytes + 28);
        header.compression = qFromLittleEndian<quint32>(bytes + 30);
    }
    header.rows = height < 0 ? -height : height;
    if (header.width <= 0 || header.rows <= 0 || header.width > kDecodeBudgetPixels ||
        header.rows > kDecodeBudgetPixels / header.width) {
        return std::nullopt;
    }
    switch (header.bitsPerPixel) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return header;
        default:
            return std::nullopt;
    }
}

// Walks run-length data to the end of the picture; false when the file ends first.
bool RunLengthDataIsComplete(const QByteArray& file, const BmpHeader& header) {
    const auto* bytes = reinterpret_cast<const uchar*>(file.constData());
    const qint64 end = file.size();
    const bool fourBits = header.compression == kRunLength4;
    qint64 at = header.pixelOffset;
    qint64 x = 0;
    qint64 y = 0;
    while (at + 2 <= end) {
        const int count = bytes[at];
        const int code = bytes[at + 1];
        at += 2;
        if (count > 0) {  // a run of one colour
            x += count;
            continue;
        }
        if (code == 0) {  // end of row
            x = 0;
            if (++y >= header.rows) {
                return true;
            }
        } else if (code == 1) {  // end of picture
            return true;
        } else if (code == 2) {  // move right and down
            if (at + 2 > end) {
                return false;
            }
            x += bytes[at];
            y += bytes[at + 1];
            at += 2;
            if (y >= header.rows) {
                return true;
            }
        } else {  // `code` pixels as they are, padded to a 16-bit boundary
            const qint64 dataBytes = fourBits ? (code + 1) / 2 : code;
            if (at + dataBytes > end) {
                return false;
            }
            at += dataBytes + (dataBytes & 1);
            x += code;
        }
    }
    // Data without an end-of-picture marker is whole when its last row is.
    return y == header.rows - 1 && x >= header.width;
}

}  // namespace

bool BmpIsComplete(QIODevice& file) {
    const std::optional<BmpHeader> header = ReadHeader(file.peek(34));
    if (!header) {
        return false;
    }
    switch (header->compression) {
        case kUncompressed:
        case kBitFields:
        case kAlphaBitFields: {
            const qint64 rowBytes = (header->width * header->bitsPerPixel + 31) / 32 * 4;
            return file.size() >= header->pixelOffset + rowBytes * header->rows;
        }
        case kRunLength8:
        case kRunLength4:
            if (header->bitsPerPixel != (header->compression == kRunLength8 ? 8 : 4)) {
                return false;
            }
            return RunLengthDataIsComplete(file.peek(file.size()), *header);
        default:
            return true;  // compressions Qt's reader refuses on its own
    }
}

}  // namespace vistrel
