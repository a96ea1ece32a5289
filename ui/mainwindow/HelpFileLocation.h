#pragma once

#include <QString>

namespace vistrel {

/// The help document to open: "help/QRXHelp.html" under `workingDirectory` when it is there,
/// else the copy installed beside the program (share/vistrel/help under the prefix that holds
/// `programDirectory`), else the working-directory path, which then names what was missing.
QString HelpFilePath(const QString& workingDirectory, const QString& programDirectory);

}  // namespace vistrel
