#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "ProgressLine.h"
#include "SimilarityRun.h"
#include "SourceLoader.h"
#include "export/ResultFormat.h"
#include "repository/PictureRepository.h"

#include <QFileInfo>

#include <cstdio>

namespace vistrel::cli {

namespace {

// Checks PICTURE before any long scan, so that a typing error fails at once.
bool CheckPicture(const QString& picture, QString& error) {
    const QFileInfo info(picture);
    if (!info.exists()) {
        error = QStringLiteral("cannot read picture '%1': no such file").arg(picture);
        return false;
    }
    if (info.isDir()) {
        error = QStringLiteral("cannot read picture '%1': it is a folder").arg(picture);
        return false;
    }
    if (const QString reason = UnreadableReason(picture, false); !reason.isEmpty()) {
        error = QStringLiteral("cannot read picture '%1': %2").arg(picture, reason);
        return false;
    }
    return true;
}

bool WriteOut(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
           static_cast<std::size_t>(bytes.size());
}

QString Summary(const CPictureRepository& repository, const SourceLoader& sources,
                const RunOutcome& outcome, bool search) {
    std::int32_t unreadable = 0;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        unreadable += repository.GetPicture(i).loadError ? 1 : 0;
    }
    QString text =
        QStringLiteral("%1 pictures (%2 unreadable), %3 %4;")
            .arg(repository.GetCount())
            .arg(unreadable)
            .arg(outcome.records.size())
            .arg(search ? QStringLiteral("similar pictures") : QStringLiteral("similar pairs"));
    if (sources.Scanned()) {
        text += QStringLiteral(" scan %1,").arg(FormatDuration(sources.ScanSeconds()));
    }
    if (sources.Loaded()) {
        text += QStringLiteral(" load %1,").arg(FormatDuration(sources.LoadSeconds()));
    }
    text += QStringLiteral(" comparison %1 (%2 pairs)")
                .arg(FormatDuration(outcome.seconds))
                .arg(outcome.pairs);
    return text;
}

}  // namespace

bool AddAllSources(const QStringList& sourceList, SourceLoader& sources, Console& console) {
    QString error;
    // All are checked before any is scanned, so that a typing error fails at once.
    for (const QString& source : sourceList) {
        if (!SourceLoader::CheckSource(source, error)) {
            console.Error(error);
            return false;
        }
    }
    for (const QString& source : sourceList) {
        if (!sources.AddSource(source, error)) {
            console.Error(error);
            return false;
        }
    }
    return true;
}

int RunCompareCommand(const CliOptions& options, const UserSettings& settings, Console& console,
                      std::shared_ptr<SignatureCache> cache) {
    const bool search = options.command == Command::Search;
    QString error;
    if (search && !CheckPicture(options.picture, error)) {
        console.Error(error);
        return kExitUnreadable;
    }

    CPictureRepository repository;
    SourceLoader sources(repository, console, EnabledExtensions(settings),
                         {.workers = options.workers, .cache = std::move(cache)});
    sources.SetExclusions(settings.exclusions);
    if (!AddAllSources(options.sources, sources, console)) {
        return kExitUnreadable;
    }

    std::int32_t target = -1;
    if (search) {
        const QString picture = AbsolutePath(options.picture);
        sources.AddPicture(picture);  // through the signature cache
        // A picture that a source holds already under another name is searched for as it.
        target = repository.FindFile(picture);
        if (target < 0 || repository.GetPicture(target).loadError) {
            console.Error(
                QStringLiteral("cannot read picture '%1': not a picture that can be decoded")
                    .arg(options.picture));
            return kExitUnreadable;
        }
    }

    ComparisonOptions runOptions = settings.Comparison();
    runOptions.target = target;
    runOptions.workers = options.workers;
    const RunOutcome outcome =
        RunSimilarity(repository, runOptions, console, MarkedPairsToLeaveOut(options, console));
    if (!RanWhole(outcome, console)) {
        return kExitUnreadable;
    }

    QString reason;
    if (!options.saveFile.isEmpty() && !repository.SaveToFile(options.saveFile, &reason)) {
        console.Error(QStringLiteral("cannot write the repository file '%1': %2")
                          .arg(CPictureRepository::RepositoryFilePath(options.saveFile), reason));
        return kExitUnreadable;
    }

    QByteArray output;
    if (options.json) {
        output = JsonResult(repository, outcome.records, target);
    } else {
        const RecordEnds ends = options.null ? RecordEnds::Nul : RecordEnds::Lines;
        // As the run compared: --turned or the stored option.
        const bool orientation = runOptions.findTurnedCopies;
        for (const PairInfo& record : outcome.records) {
            output += search ? SearchLine(repository, record, target, ends, orientation)
                             : PairLine(repository, record, ends, orientation);
        }
    }
    if (!WriteOut(output) || std::fflush(stdout) != 0) {
        console.Error(QStringLiteral("cannot write the results to standard output"));
        return kExitUnreadable;
    }
    ReportMarkedPairsLeftOut(outcome.markedLeftOut, console);
    console.Info(Summary(repository, sources, outcome, search));
    return kExitSuccess;
}

}  // namespace vistrel::cli
