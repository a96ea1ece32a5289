#pragma once

// Walking the boxes of a HEIF file held in memory, for the readers of its item properties.

#include <QByteArray>
#include <QtEndian>

#include <cstdint>

namespace vistrel {

/// Calls `visit(type, body)` for each box in `bytes`, in order; false when a box overruns them
/// (the boxes before it have been visited). Any thread.
template <typename Visit>
bool ForEachBox(const QByteArray& bytes, Visit visit) {
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        std::uint64_t size = qFromBigEndian<quint32>(bytes.constData() + at);
        const QByteArray type = bytes.mid(at + 4, 4);
        qsizetype header = 8;
        if (size == 1) {
            if (at + 16 > bytes.size()) {
                return false;
            }
            size = qFromBigEndian<quint64>(bytes.constData() + at + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(bytes.size() - at);
        }
        if (size < static_cast<std::uint64_t>(header) ||
            size > static_cast<std::uint64_t>(bytes.size() - at)) {
            return false;
        }
        visit(type, bytes.mid(at + header, static_cast<qsizetype>(size) - header));
        at += static_cast<qsizetype>(size);
    }
    return at == bytes.size();
}

}  // namespace vistrel
