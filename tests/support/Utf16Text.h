#pragma once

// The bytes of a text as the repository file holds it: UTF-16 code units, low byte first.

#include <QByteArray>
#include <QString>

namespace vistrel::test {

inline QByteArray Utf16Le(const QString& text) {
    QByteArray bytes;
    bytes.reserve(2 * text.size());
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

}  // namespace vistrel::test
