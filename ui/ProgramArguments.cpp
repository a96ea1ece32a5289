#include "ProgramArguments.h"

#include "common/WindowTexts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace vistrel {

ProgramArguments ParseProgramArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("vistrel", "Finds pictures that look alike."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("FILE.qrx"),
        QCoreApplication::translate("vistrel", "A repository file to open at start."),
        QStringLiteral("[FILE.qrx]"));

    ProgramArguments result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText() + u'\n';
        result.exitStatus = 1;
        return result;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.message = ProgramName() + u' ' + ProgramVersion() + u'\n';
        return result;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        result.message =
            QCoreApplication::translate("vistrel", "Only one repository file can be opened.\n") +
            parser.helpText();
        result.exitStatus = 1;
        return result;
    }
    if (!files.isEmpty() && !files.first().isEmpty()) {
        // The title and the list of recent files show where the file is, wherever the program
        // was started from.
        result.repositoryFile = QFileInfo(files.first()).absoluteFilePath();
    }
    return result;
}

}  // namespace vistrel
