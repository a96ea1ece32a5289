#include "ReferenceFolders.h"

#include <QDir>
#include <QFileInfo>

namespace vistrel {

namespace {

QString AsPrefix(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

}  // namespace

ReferenceFolders::ReferenceFolders(const QStringList& given) {
    for (const QString& folder : given) {
        if (folder.trimmed().isEmpty()) {
            continue;
        }
        folders.append(folder);
        const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
        prefixes.append(AsPrefix(absolute));
        const QString canonical = QFileInfo(absolute).canonicalFilePath();
        if (!canonical.isEmpty() && canonical != absolute) {
            prefixes.append(AsPrefix(canonical));
        }
    }
}

bool ReferenceFolders::Protects(const QString& path) const {
    if (prefixes.isEmpty()) {
        return false;
    }
    const QString cleaned = QDir::cleanPath(path);
    for (const QString& prefix : prefixes) {
        if (cleaned.startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

bool ReferenceFolders::ProtectsFile(const QString& path) const {
    if (prefixes.isEmpty()) {
        return false;
    }
    if (Protects(QDir(path).absolutePath())) {
        return true;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && Protects(canonical);
}

}  // namespace vistrel
