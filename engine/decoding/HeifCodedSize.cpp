#include "HeifCodedSize.h"

#include "CodecSequenceHeaders.h"
#include "HeifBoxes.h"

#include <QBuffer>
#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

// The 'meta' box holds the item properties; one larger than this is not a photo's.
constexpr qint64 kMaxMetaBytes = 16LL * 1024 * 1024;

// The largest picture of the sequence parameter sets in an 'hvcC' box's body: 0 without one,
// -1 when the box is damaged.
std::int64_t HvcCPixels(const QByteArray& body) {
    constexpr qsizetype kFixedBytes = 22;
    if (body.size() < kFixedBytes + 1) {
        return -1;
    }
    // libheif hands the coded data to the decoder as NAL units after lengths of 4 bytes.
    constexpr int kLengthBytesMinusOne = 3;
    if ((static_cast<unsigned char>(body[kFixedBytes - 1]) & 3) != kLengthBytesMinusOne) {
        return -1;
    }
    const auto arrays = static_cast<unsigned char>(body[kFixedBytes]);
    qsizetype at = kFixedBytes + 1;
    std::int64_t largest = 0;
    for (int array = 0; array < arrays; ++array) {
        if (at + 3 > body.size()) {
            return -1;
        }
        const quint16 count = qFromBigEndian<quint16>(body.constData() + at + 1);
        at += 3;
        for (int n = 0; n < count; ++n) {
            if (at + 2 > body.size()) {
                return -1;
            }
            const quint16 length = qFromBigEndian<quint16>(body.constData() + at);
            at += 2;
            if (at + length > body.size()) {
                return -1;
            }
            const std::int64_t pixels = HevcNalPixels(body.mid(at, length));
            if (pixels < 0) {
                return -1;
            }
            largest = std::max(largest, pixels);
            at += length;
        }
    }
    return largest;
}

// Bytes laid end to end from pieces of devices: the extents of an item's data, read a little at
// a time so that the coded data itself is skipped over.
class PieceReader {
public:
    void Add(QIODevice* device, qint64 offset, qint64 length) {
        pieces.push_back({device, offset, length});
        size += length;
    }
    qint64 Size() const { return size; }
    // Exactly `count` bytes from `at`, or nothing.
    std::optional<QByteArray> Read(qint64 at, qint64 count) const {
        QByteArray bytes;
        for (const Piece& piece : pieces) {
            if (count == 0) {
                break;
            }
            if (at >= piece.length) {
                at -= piece.length;
                continue;
            }
            const qint64 part = std::min(count, piece.length - at);
            if (!piece.device->seek(piece.offset + at)) {
                return std::nullopt;
            }
            const QByteArray read = piece.device->read(part);
            if (read.size() != part) {
                return std::nullopt;
            }
            bytes += read;
            count -= part;
            at = 0;
        }
        return count == 0 ? std::optional(bytes) : std::nullopt;
    }

private:
    struct Piece {
        QIODevice* device;
        qint64 offset;
        qint64 length;
    };
    std::vector<Piece> pieces;
    qint64 size = 0;
};

// So much of a sequence header is read; the picture size comes within its first few bytes.
constexpr qint64 kHeaderBytes = 256;

// No more units than this are walked in a file; a photo has a few per tile.
constexpr int kMaxUnits = 1 << 16;

// The largest picture of the HEVC sequence parameter sets in `data` (NAL units after lengths of 4
// bytes): 0 without one, -1 when the data cannot be walked. `units` counts the units walked.
std::int64_t HevcStreamPixels(const PieceReader& data, int& units) {
    std::int64_t largest = 0;
    qint64 at = 0;
    while (at < data.Size()) {
        const std::optional<QByteArray> length = data.Read(at, 4);
        if (!length || ++units > kMaxUnits) {
            return -1;
        }
        at += 4;
        const qint64 size = qFromBigEndian<quint32>(length->constData());
        if (size > data.Size() - at) {
            return -1;
        }
        const std::optional<QByteArray> head = data.Read(at, std::min(size, kHeaderBytes));
        const std::int64_t pixels = head ? HevcNalPixels(*head) : -1;
        if (pixels < 0) {
            return -1;
        }
        largest = std::max(largest, pixels);
        at += size;
    }
    return largest;
}

// The largest frame the AV1 sequence headers in `data` (OBUs) allow: 0 without one, -1 when the
// data cannot be walked. `units` counts the OBUs walked.
std::int64_t Av1StreamPixels(const PieceReader& data, int& units) {
    std::int64_t largest = 0;
    qint64 at = 0;
    while (at < data.Size()) {
        const std::optional<QByteArray> first = data.Read(at++, 1);
        if (!first || ++units > kMaxUnits) {
            return -1;
        }
        const auto header = static_cast<unsigned char>(first->at(0));
        const int type = (header >> 3) & 0x0F;
        if ((header & 0x04) != 0) {
            ++at;  // the extension byte
        }
        qint64 size = data.Size() - at;
        if ((header & 0x02) != 0) {
            std::uint64_t value = 0;
            for (int shift = 0;; shift += 7) {
                const std::optional<QByteArray> byte = data.Read(at++, 1);
                if (!byte || shift > 56) {
                    return -1;
                }
                const auto bits = static_cast<unsigned char>(byte->at(0));
                value |= std::uint64_t{bits & 0x7Fu} << shift;
                if ((bits & 0x80) == 0) {
                    break;
                }
            }
            if (at > data.Size() || value > static_cast<std::uint64_t>(data.Size() - at)) {
                return -1;
            }
            size = static_cast<qint64>(value);
        }
        constexpr int kSequenceHeader = 1;
        if (type == kSequenceHeader) {
            const std::optional<QByteArray> payload = data.Read(at, std::min(size, kHeaderBytes));
            const std::int64_t pixels = payload ? Av1SequenceHeaderPixels(*payload) : -1;
            if (pixels < 0) {
                return -1;
            }
            largest = std::max(largest, pixels);
        }
        at += size;
    }
    return largest;
}

// The body of the top-level 'meta' box, read without the rest of the file; empty without one.
QByteArray ReadMetaBox(QIODevice& file) {
    qint64 at = 0;
    const qint64 end = file.size();
    while (at + 8 <= end && file.seek(at)) {
        const QByteArray head = file.read(16);
        if (head.size() < 8) {
            return {};
        }
        std::uint64_t size = qFromBigEndian<quint32>(head.constData());
        qint64 header = 8;
        if (size == 1) {
            if (head.size() < 16) {
                return {};
            }
            size = qFromBigEndian<quint64>(head.constData() + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(end - at);
        }
        if (size < static_cast<std::uint64_t>(header) ||
            size > static_cast<std::uint64_t>(end - at)) {
            return {};
        }
        if (head.mid(4, 4) == "meta") {
            if (static_cast<qint64>(size) > kMaxMetaBytes || !file.seek(at + header)) {
                return {};
            }
            return file.read(static_cast<qint64>(size) - header);
        }
        at += static_cast<qint64>(size);
    }
    return {};
}

// Reads an unsigned big-endian number of `bytes` bytes (0, 2, 4 or 8) from `box` at `at`.
std::optional<std::uint64_t> Number(const QByteArray& box, qsizetype& at, int bytes) {
    if (bytes != 0 && bytes != 2 && bytes != 4 && bytes != 8) {
        return std::nullopt;
    }
    if (at + bytes > box.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<unsigned char>(box[at + i]);
    }
    at += bytes;
    return value;
}

// The items of a HEIF file whose data is coded pictures, and their codecs.
using CodedItems = std::map<std::uint32_t, QByteArray>;

// Adds to `items` the coded items an 'iinf' box lists; false when it is damaged.
bool ReadCodedItems(const QByteArray& iinf, CodedItems& items) {
    qsizetype at = 0;
    const std::optional<std::uint64_t> version = Number(iinf, at, 2);  // with the flags' top
    if (!version || !Number(iinf, at, 2) || !Number(iinf, at, *version >> 8 == 0 ? 2 : 4)) {
        return false;
    }
    return ForEachBox(iinf.mid(at), [&](const QByteArray& type, const QByteArray& infe) {
        if (type != "infe" || infe.isEmpty()) {
            return;
        }
        const auto infeVersion = static_cast<unsigned char>(infe[0]);
        qsizetype position = 4;
        const std::optional<std::uint64_t> id = Number(infe, position, infeVersion == 2 ? 2 : 4);
        if (infeVersion < 2 || !id || !Number(infe, position, 2) || position + 4 > infe.size()) {
            return;
        }
        const QByteArray itemType = infe.mid(position, 4);
        if (itemType == "hvc1" || itemType == "av01") {
            items[static_cast<std::uint32_t>(*id)] = itemType;
        }
    });
}

// The largest picture in the data of the coded items, placed by the 'iloc' box: 0 without a
// sequence header there, -1 when the data cannot be walked.
std::int64_t CodedItemPixels(const QByteArray& iloc, const CodedItems& items, QIODevice& file,
                             QIODevice& idat) {
    qsizetype at = 0;
    const std::optional<std::uint64_t> version = Number(iloc, at, 4);
    const std::optional<std::uint64_t> sizes = Number(iloc, at, 2);
    if (!version || !sizes) {
        return -1;
    }
    const auto boxVersion = static_cast<int>(*version >> 24);
    const int offsetBytes = static_cast<int>(*sizes >> 12) & 15;
    const int lengthBytes = static_cast<int>(*sizes >> 8) & 15;
    const int baseBytes = static_cast<int>(*sizes >> 4) & 15;
    const int indexBytes = boxVersion == 1 || boxVersion == 2 ? static_cast<int>(*sizes) & 15 : 0;
    const int idBytes = boxVersion < 2 ? 2 : 4;
    const std::optional<std::uint64_t> count = Number(iloc, at, idBytes);
    if (!count) {
        return -1;
    }
    std::int64_t largest = 0;
    int units = 0;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::optional<std::uint64_t> id = Number(iloc, at, idBytes);
        std::optional<std::uint64_t> method = 0;
        if (boxVersion == 1 || boxVersion == 2) {
            method = Number(iloc, at, 2);
        }
        const std::optional<std::uint64_t> reference = Number(iloc, at, 2);
        const std::optional<std::uint64_t> base = Number(iloc, at, baseBytes);
        const std::optional<std::uint64_t> extents = Number(iloc, at, 2);
        if (!id || !method || !reference || !base || !extents) {
            return -1;
        }
        const auto coded = items.find(static_cast<std::uint32_t>(*id));
        // Data in the file itself (0) or in the 'idat' box (1); taken from other items (2), it
        // cannot be walked here.
        const auto construction = static_cast<int>(*method & 15);
        QIODevice& device = construction == 1 ? idat : file;
        PieceReader data;
        for (std::uint64_t e = 0; e < *extents; ++e) {
            const std::optional<std::uint64_t> index = Number(iloc, at, indexBytes);
            const std::optional<std::uint64_t> offset = Number(iloc, at, offsetBytes);
            std::optional<std::uint64_t> length = Number(iloc, at, lengthBytes);
            if (!index || !offset || !length) {
                return -1;
            }
            const std::uint64_t start = *base + *offset;
            const auto end = static_cast<std::uint64_t>(device.size());
            if (*length == 0 && start <= end) {
                length = end - start;  // to the end of the file
            }
            if (start > end || *length > end - start) {
                return -1;
            }
            data.Add(&device, static_cast<qint64>(start), static_cast<qint64>(*length));
        }
        if (coded == items.end()) {
            continue;
        }
        if (construction > 1) {
            return -1;
        }
        const std::int64_t pixels =
            coded->second == "hvc1" ? HevcStreamPixels(data, units) : Av1StreamPixels(data, units);
        if (pixels < 0) {
            return -1;
        }
        largest = std::max(largest, pixels);
    }
    return largest;
}

}  // namespace

std::int64_t HeifLargestCodedPixels(QIODevice& file) {
    const QByteArray meta = ReadMetaBox(file);
    if (meta.size() < 4) {
        return -1;
    }
    // 'meta' is a full box: its version and flags come before its children.
    QByteArray iinf;
    QByteArray iloc;
    QBuffer idat;
    std::vector<QByteArray> configurations;
    std::vector<QByteArray> types;
    bool propertiesWhole = true;
    const bool metaWhole =
        ForEachBox(meta.mid(4), [&](const QByteArray& type, const QByteArray& body) {
            if (type == "iinf") {
                iinf = body;
            } else if (type == "iloc") {
                iloc = body;
            } else if (type == "idat") {
                idat.setData(body);
            } else if (type == "iprp") {
                ForEachBox(body, [&](const QByteArray& type, const QByteArray& ipco) {
                    if (type != "ipco") {
                        return;
                    }
                    propertiesWhole =
                        ForEachBox(ipco,
                                   [&](const QByteArray& type, const QByteArray& property) {
                                       if (type == "hvcC" || type == "av1C") {
                                           types.push_back(type);
                                           configurations.push_back(property);
                                       }
                                   }) &&
                        propertiesWhole;
                });
            }
        });
    CodedItems items;
    if (!metaWhole || !propertiesWhole || !ReadCodedItems(iinf, items) ||
        !idat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // libheif hands the decoder the sequence headers of the codec configuration, then the
    // item's data, which may hold sequence headers of its own.
    std::int64_t largest = CodedItemPixels(iloc, items, file, idat);
    int units = 0;
    for (std::size_t i = 0; i < configurations.size() && largest >= 0; ++i) {
        std::int64_t pixels = -1;
        if (types[i] == "hvcC") {
            pixels = HvcCPixels(configurations[i]);
        } else if (configurations[i].size() >= 4) {
            QBuffer obus;
            obus.setData(configurations[i].mid(4));
            PieceReader data;
            if (obus.open(QIODevice::ReadOnly)) {
                data.Add(&obus, 0, obus.size());
                pixels = Av1StreamPixels(data, units);
            }
        }
        largest = pixels < 0 ? -1 : std::max(largest, pixels);
    }
    return largest > 0 ? largest : -1;
}

}  // namespace vistrel
