#include "GifCompleteness.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace vistrel {

namespace {

// Decodes LZW codes for the lengths of their strings alone, with no pixels and no allocation:
// true when they give `pixels` pixels before the end code or the end of the data.
bool LzwGivesPixels(const QByteArray& data, int minimumCodeSize, qint64 pixels) {
    constexpr int kLongestCode = 12;
    constexpr int kTableSize = 1 << kLongestCode;
    if (minimumCodeSize < 1 || minimumCodeSize >= kLongestCode) {
        return false;
    }
    const int clearCode = 1 << minimumCodeSize;
    const int endCode = clearCode + 1;
    std::array<qint32, kTableSize> lengths{};  // of the string each code stands for
    std::fill(lengths.begin(), lengths.begin() + clearCode, 1);
    int codeSize = minimumCodeSize + 1;
    int next = endCode + 1;
    int previous = -1;
    qint64 given = 0;
    quint32 bits = 0;
    int pendingBits = 0;
    qsizetype at = 0;
    while (given < pixels) {
        while (pendingBits < codeSize) {
            if (at == data.size()) {
                return false;
            }
            bits |= static_cast<quint32>(static_cast<quint8>(data[at++])) << pendingBits;
            pendingBits += 8;
        }
        const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        pendingBits -= codeSize;
        if (code == clearCode) {
            codeSize = minimumCodeSize + 1;
            next = endCode + 1;
            previous = -1;
            continue;
        }
        if (code == endCode) {
            return false;
        }
        qint32 length = 0;
        if (previous < 0) {
            if (code >= clearCode) {
                return false;  // only a single pixel can start a string table
            }
            length = 1;
        } else if (code < next) {
            length = lengths[code];
        } else if (code == next && next < kTableSize) {
            length = lengths[previous] + 1;  // the previous string and its own first pixel
        } else {
            return false;
        }
        if (previous >= 0 && next < kTableSize) {
            lengths[next++] = lengths[previous] + 1;
        }
        if (next == (1 << codeSize) && codeSize < kLongestCode) {
            ++codeSize;
        }
        given += length;
        previous = code;
    }
    return true;
}

int ColourTableBytes(quint8 flags) {
    return (flags & 0x80) != 0 ? 3 * (2 << (flags & 0x07)) : 0;
}

}  // namespace

bool GifIsComplete(const QByteArray& file) {
    qsizetype at = 13;  // signature and logical screen descriptor
    if (file.size() < at) {
        return false;
    }
    const auto byteAt = [&file](qsizetype i) { return static_cast<quint8>(file[i]); };
    at += ColourTableBytes(byteAt(10));
    // Skips a chain of sub-blocks, gathering their contents into `data` when given; false when
    // the file ends inside it.
    const auto skipSubBlocks = [&](QByteArray* data) {
        while (at < file.size()) {
            const quint8 length = byteAt(at);
            if (data != nullptr) {
                data->append(file.mid(at + 1, length));
            }
            at += 1 + length;
            if (length == 0) {
                return at <= file.size();
            }
        }
        return false;
    };
    while (at < file.size()) {
        const quint8 introducer = byteAt(at);
        if (introducer == 0x21) {  // extension: label, then sub-blocks
            at += 2;
            if (!skipSubBlocks(nullptr)) {
                return false;
            }
        } else if (introducer == 0x2C) {  // image descriptor, colour table, LZW code size, data
            if (at + 11 > file.size()) {
                return false;
            }
            const auto* descriptor = reinterpret_cast<const uchar*>(file.constData() + at);
            const qint64 pixels = qint64{qFromLittleEndian<quint16>(descriptor + 5)} *
                                  qFromLittleEndian<quint16>(descriptor + 7);
            at += 10 + ColourTableBytes(descriptor[9]);
            if (at >= file.size()) {
                return false;
            }
            const int minimumCodeSize = byteAt(at++);
            QByteArray data;
            return skipSubBlocks(&data) && LzwGivesPixels(data, minimumCodeSize, pixels);
        } else {
            return false;  // trailer or garbage before any picture
        }
    }
    return false;
}

}  // namespace vistrel
