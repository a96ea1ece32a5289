#pragma once

#include <QString>

namespace vistrel {

/// The program's name and version as its windows show them.
QString ProgramName();
QString ProgramVersion();
/// The main window's title: the program's name alone before a repository file was opened or
/// saved, else "photos.qrx[*] - Vistrel", whose "[*]" Qt shows as "*" while the window is
/// modified.
QString MainWindowTitle(const QString& repositoryFile);

}  // namespace vistrel
