#include "HelpFileLocation.h"

#include <QDir>
#include <QFileInfo>

namespace vistrel {

QString HelpFilePath(const QString& workingDirectory, const QString& programDirectory) {
    const QString local = QDir(workingDirectory).filePath(QStringLiteral("help/QRXHelp.html"));
    if (QFileInfo(local).isFile()) {
        return local;
    }
    // Relative to the program, so that any install prefix finds its own copy.
    const QString installed = QDir::cleanPath(
        QDir(programDirectory).filePath(QStringLiteral("../share/vistrel/help/QRXHelp.html")));
    if (!programDirectory.isEmpty() && QFileInfo(installed).isFile()) {
        return installed;
    }
    return local;
}

}  // namespace vistrel
