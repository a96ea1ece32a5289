#include "WindowTexts.h"

#include "VistrelVersion.h"

#include <QFileInfo>

namespace vistrel {

QString ProgramName() {
    return QStringLiteral("Vistrel");
}

QString ProgramVersion() {
    return QString::fromLatin1(kVistrelVersion);
}

QString MainWindowTitle(const QString& repositoryFile) {
    if (repositoryFile.isEmpty()) {
        return ProgramName();
    }
    return QStringLiteral("%1[*] - %2").arg(QFileInfo(repositoryFile).fileName(), ProgramName());
}

}  // namespace vistrel
