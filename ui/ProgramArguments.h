#pragma once

#include <QString>
#include <QStringList>

namespace vistrel {

/// What the program's command line, `vistrel [FILE.qrx]`, asks for.
struct ProgramArguments {
    /// The repository file to open once the window is shown, as an absolute path; empty for none.
    QString repositoryFile;
    /// The help, the version or a usage error to print instead of starting; empty to start.
    QString message;
    /// The exit status that goes with `message`: 0 for the help and the version, 1 for an error.
    int exitStatus = 0;
};

/// Reads QApplication::arguments() (program name first), from which Qt has already taken its
/// own options such as -style. GUI thread.
ProgramArguments ParseProgramArguments(const QStringList& arguments);

}  // namespace vistrel
