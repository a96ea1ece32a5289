// vistrel-cli: finds pictures that look alike, from the command line.

#include "CommandLineParser.h"
#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "QtMessages.h"
#include "UserSettings.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    using namespace vistrel::cli;

    const ParseResult parsed = ParseCommandLine(QCoreApplication::arguments().mid(1));
    if (!parsed.ok()) {
        Console(false).Error(parsed.error + QStringLiteral(" (see vistrel-cli --help)"));
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    if (options.help) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return kExitSuccess;
    }
    if (options.version) {
        std::fputs(VersionText().toLocal8Bit().constData(), stdout);
        return kExitSuccess;
    }

    Console console(options.quiet);
    const QtMessageRoute messageRoute(console);
    if (options.command == Command::Signature) {
        return RunSignatureCommand(options, console);
    }
    if (const QString warning = ApplyUserSettings(options); !warning.isEmpty()) {
        console.Warning(warning);
    }
    return RunCompareCommand(options, console);
}
