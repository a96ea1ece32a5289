#include "ExifOrientation.h"

#include <QByteArray>
#include <QTransform>

#include <exiv2/exiv2.hpp>

#include <cstring>
#include <mutex>

namespace vistrel {

namespace {

constexpr std::size_t kEntryBytes = 12;
// A TIFF file's first directory holds a few dozen entries; one claiming more is not read.
constexpr std::uint32_t kMostEntries = 1024;
// All that is read of an EXIF block: its first directory comes first, and a JPEG's APP1
// segment cannot be longer.
constexpr qint64 kMostExifBytes = 64 * 1024;
// Segments or chunks looked at before the EXIF block is given up for missing; real files carry
// it among their first few.
constexpr int kMostChunks = 256;

struct ByteOrder {
    bool little = true;

    std::uint16_t U16(const std::uint8_t* p) const {
        return little ? static_cast<std::uint16_t>(p[0] | p[1] << 8)
                      : static_cast<std::uint16_t>(p[0] << 8 | p[1]);
    }
    std::uint32_t U32(const std::uint8_t* p) const {
        return little ? (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24)
                      : (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                         std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]});
    }
};

const ByteOrder kBigEndian{false};
const ByteOrder kLittleEndian{true};

const std::uint8_t* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

// The byte order of a TIFF header ("II*\0" or "MM\0*"); false for anything else (BigTIFF too).
bool ReadByteOrder(const std::uint8_t* header, std::size_t size, ByteOrder& order) {
    if (size < 8) {
        return false;
    }
    if (std::memcmp(header, "II*\0", 4) == 0) {
        order = kLittleEndian;
        return true;
    }
    if (std::memcmp(header, "MM\0*", 4) == 0) {
        order = kBigEndian;
        return true;
    }
    return false;
}

QByteArray ReadAt(QIODevice& file, qint64 offset, qint64 length) {
    const qint64 size = file.size();
    if (offset < 0 || offset >= size || length <= 0 || !file.seek(offset)) {
        return {};
    }
    return file.read(std::min(length, size - offset));
}

// The EXIF block of a PNG eXIf or WebP EXIF chunk: some writers put a JPEG's "Exif\0\0" first.
ExifOrientation FromExifChunk(QIODevice& file, qint64 offset, std::uint32_t length) {
    QByteArray block = ReadAt(file, offset, std::min<qint64>(length, kMostExifBytes));
    if (block.startsWith(QByteArrayLiteral("Exif\0\0"))) {
        block.remove(0, 6);
    }
    return OrientationFromTiff(Bytes(block), static_cast<std::size_t>(block.size()));
}

bool IsFrameOrScan(std::uint8_t marker) {
    // SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC); SOS; EOI.
    return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) ||
           marker == 0xDA || marker == 0xD9;
}

// The JPEG's first APP1 segment that starts "Exif\0\0", among those before the frame header.
ExifOrientation FromJpeg(QIODevice& file) {
    qint64 at = 2;
    for (int step = 0; step < kMostChunks; ++step) {
        const QByteArray head = ReadAt(file, at, 4);
        if (head.size() < 2 || static_cast<std::uint8_t>(head[0]) != 0xFF) {
            return ExifOrientation::Normal;
        }
        const auto marker = static_cast<std::uint8_t>(head[1]);
        if (marker == 0xFF) {
            at += 1;  // a fill byte
            continue;
        }
        if (IsFrameOrScan(marker) || head.size() < 4) {
            return ExifOrientation::Normal;
        }
        const std::uint16_t length = kBigEndian.U16(Bytes(head) + 2);
        if (length < 2) {
            return ExifOrientation::Normal;
        }
        if (marker == 0xE1) {
            const QByteArray segment = ReadAt(file, at + 4, length - 2);
            if (segment.startsWith(QByteArrayLiteral("Exif\0\0"))) {
                return OrientationFromTiff(Bytes(segment) + 6,
                                           static_cast<std::size_t>(segment.size()) - 6);
            }
        }
        at += 2 + length;
    }
    return ExifOrientation::Normal;
}

// A PNG's eXIf chunk, which comes before the picture data.
ExifOrientation FromPng(QIODevice& file) {
    qint64 at = 8;
    for (int step = 0; step < kMostChunks; ++step) {
        const QByteArray head = ReadAt(file, at, 8);
        if (head.size() < 8) {
            return ExifOrientation::Normal;
        }
        const std::uint32_t length = kBigEndian.U32(Bytes(head));
        const QByteArray type = head.mid(4);
        if (length > 0x7FFFFFFFu || type == "IDAT" || type == "IEND") {
            return ExifOrientation::Normal;
        }
        if (type == "eXIf") {
            return FromExifChunk(file, at + 8, length);
        }
        at += 12 + qint64{length};
    }
    return ExifOrientation::Normal;
}

// A WebP's EXIF chunk, which comes after the picture data.
ExifOrientation FromWebp(QIODevice& file) {
    qint64 at = 12;
    for (int step = 0; step < kMostChunks; ++step) {
        const QByteArray head = ReadAt(file, at, 8);
        if (head.size() < 8) {
            return ExifOrientation::Normal;
        }
        const std::uint32_t length = kLittleEndian.U32(Bytes(head) + 4);
        if (head.startsWith("EXIF")) {
            return FromExifChunk(file, at + 8, length);
        }
        at += 8 + qint64{length} + (length & 1);
    }
    return ExifOrientation::Normal;
}

// A TIFF file's own first directory, wherever in the file it lies, read as the EXIF block of a
// header and that directory alone: the orientation is a value of the entry itself.
ExifOrientation FromTiffFile(QIODevice& file) {
    QByteArray block = ReadAt(file, 0, 8);
    ByteOrder order;
    if (!ReadByteOrder(Bytes(block), static_cast<std::size_t>(block.size()), order)) {
        return ExifOrientation::Normal;
    }
    const qint64 directory = order.U32(Bytes(block) + 4);
    const QByteArray count = ReadAt(file, directory, 2);
    if (directory < 8 || count.size() < 2) {
        return ExifOrientation::Normal;
    }
    const std::uint32_t entries = order.U16(Bytes(count));
    if (entries > kMostEntries) {
        return ExifOrientation::Normal;
    }
    const QByteArray table = ReadAt(file, directory + 2, qint64{entries} * qint64{kEntryBytes});
    if (table.size() != qint64{entries} * qint64{kEntryBytes}) {
        return ExifOrientation::Normal;
    }
    // The directory moves to just after the header, and no directory follows it.
    const char eight[4] = {order.little ? '\x08' : '\0', '\0', '\0', order.little ? '\0' : '\x08'};
    block.replace(4, 4, eight, 4);
    block += count + table + QByteArray(4, '\0');
    return OrientationFromTiff(Bytes(block), static_cast<std::size_t>(block.size()));
}

// Puts the read position back whatever the reading did.
class PositionKeeper {
public:
    explicit PositionKeeper(QIODevice& file) : file(file), position(file.pos()) {}
    PositionKeeper(const PositionKeeper&) = delete;
    PositionKeeper& operator=(const PositionKeeper&) = delete;
    ~PositionKeeper() { file.seek(position); }

private:
    QIODevice& file;
    const qint64 position;
};

}  // namespace

bool SwapsSides(ExifOrientation orientation) {
    return static_cast<int>(orientation) >= 5;
}

QSize OrientedSize(const QSize& size, ExifOrientation orientation) {
    return SwapsSides(orientation) ? size.transposed() : size;
}

ExifOrientation OrientationFromTiff(const std::uint8_t* tiff, std::size_t size) {
    ByteOrder order;
    if (tiff == nullptr || size > kMostExifBytes + kMostEntries * kEntryBytes ||
        !ReadByteOrder(tiff, size, order)) {
        return ExifOrientation::Normal;
    }
    // Exiv2's warnings about damaged blocks are no business of the user's console.
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, tiff, static_cast<std::uint32_t>(size));
        const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (found == exif.end() || found->typeId() != Exiv2::unsignedShort || found->count() != 1) {
            return ExifOrientation::Normal;
        }
        const long value = found->toLong();
        return value >= 1 && value <= 8 ? static_cast<ExifOrientation>(value)
                                        : ExifOrientation::Normal;
    } catch (...) {
        // A damaged block asks for nothing: the picture is shown as stored.
        return ExifOrientation::Normal;
    }
}

ExifOrientation ReadExifOrientation(QIODevice& file) {
    if (!file.isOpen() || file.isSequential()) {
        return ExifOrientation::Normal;
    }
    const PositionKeeper keeper(file);
    const QByteArray magic = ReadAt(file, 0, 12);
    if (magic.startsWith("\xFF\xD8\xFF")) {
        return FromJpeg(file);
    }
    if (magic.startsWith("\x89PNG\r\n\x1A\n")) {
        return FromPng(file);
    }
    if (magic.size() == 12 && magic.startsWith("RIFF") && magic.mid(8) == "WEBP") {
        return FromWebp(file);
    }
    if (magic.startsWith("II*") || magic.startsWith(QByteArrayLiteral("MM\0*"))) {
        return FromTiffFile(file);
    }
    return ExifOrientation::Normal;
}

QImage ApplyExifOrientation(const QImage& image, ExifOrientation orientation) {
    if (image.isNull()) {
        return image;
    }
    // Turns by quarters and mirrors copy pixels exactly; Qt takes its fast paths for them.
    const auto turned = [](const QImage& picture, int degrees) {
        return picture.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
        case ExifOrientation::Normal:
            return image;
        case ExifOrientation::Mirrored:
            return image.mirrored(true, false);
        case ExifOrientation::Turned180:
            return image.mirrored(true, true);
        case ExifOrientation::MirroredTopBottom:
            return image.mirrored(false, true);
        case ExifOrientation::MirroredTurned270:
            return turned(image.mirrored(true, false), 270);
        case ExifOrientation::Turned90:
            return turned(image, 90);
        case ExifOrientation::MirroredTurned90:
            return turned(image.mirrored(true, false), 90);
        case ExifOrientation::Turned270:
            return turned(image, 270);
    }
    return image;
}

}  // namespace vistrel
