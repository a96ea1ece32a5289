// vistrel-cli: finds pictures that look alike, from the command line.

#include "CliSettings.h"
#include "CommandLineParser.h"
#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "QtMessages.h"
#include "signature/SignatureCache.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

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
    if (options.command == Command::Cache) {
        return RunCacheCommand(options, console);
    }
    if (QString error; !CheckReferenceFolders(options, error)) {
        console.Error(error);
        return kExitUnreadable;
    }
    QString warning;
    const vistrel::UserSettings settings = LoadCliSettings(options, warning);
    if (!warning.isEmpty()) {
        console.Warning(warning);
    }
    // Signatures kept from earlier runs spare decoding the pictures again; without the cache
    // the command works all the same.
    std::shared_ptr<vistrel::SignatureCache> cache;
    if (!options.noCache) {
        cache = std::make_shared<vistrel::SignatureCache>(vistrel::SignatureCache::DefaultPath());
        if (!cache->IsOpen()) {
            console.Warning(cache->Problem());
            cache.reset();
        }
    }
    const int status =
        options.command == Command::Keep    ? RunKeepCommand(options, settings, console, cache)
        : options.command == Command::Marks ? RunMarksCommand(options, console, cache)
                                            : RunCompareCommand(options, settings, console, cache);
    if (cache) {
        cache->Flush();
        // Storing stopped during the run (a full disk, say).
        if (const QString problem = cache->Problem(); !problem.isEmpty()) {
            console.Warning(problem);
        }
    }
    return status;
}
