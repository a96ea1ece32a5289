#pragma once

// The nameless file of a signature store, reached as another program of the user could reach
// it: through /proc.

#include <QByteArray>
#include <QDir>
#include <QString>

#include <unistd.h>

namespace vistrel::test {

/// The descriptor of the store's file in `folder`, or -1.
inline int StoreDescriptor(const QString& folder) {
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& name :
         descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096] = {};
        const QByteArray link = descriptors.filePath(name).toLocal8Bit();
        if (readlink(link.constData(), target, sizeof target - 1) > 0 &&
            QString::fromLocal8Bit(target).startsWith(folder + QStringLiteral("/#"))) {
            return name.toInt();
        }
    }
    return -1;
}

}  // namespace vistrel::test
