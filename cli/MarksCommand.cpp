#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "SourceLoader.h"
#include "export/ResultFormat.h"
#include "marks/NotSimilarMarks.h"
#include "repository/PictureRepository.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <cstdio>

namespace vistrel::cli {

namespace {

// Tells `console` of a damaged database the store found and set aside: its marks are not lost,
// but they no longer count.
void TellSetAside(const NotSimilarMarks& marks, Console& console) {
    if (const QString aside = marks.SetAside(); !aside.isEmpty()) {
        console.Warning(
            QStringLiteral("the marks of pairs %1 were damaged; they were set aside "
                           "as %2 and no pair is marked now")
                .arg(QDir::toNativeSeparators(marks.Path()), QDir::toNativeSeparators(aside)));
    }
}

// The signature digest of the picture at `path`, made as a run makes it (through the cache);
// nothing, with the reason told to `console`, when it is not a picture that can be read.
std::optional<SignatureDigest> DigestOfPicture(const QString& path, SourceLoader& sources,
                                               const CPictureRepository& repository,
                                               Console& console) {
    QString reason = PictureFileProblem(path);
    std::int32_t index = -1;
    if (reason.isEmpty()) {
        const QString absolute = AbsolutePath(path);
        sources.AddPicture(absolute);
        index = repository.FindFile(absolute);
        if (index < 0 || repository.GetPicture(index).loadError) {
            reason = UnreadablePictureReason(absolute);
        }
    }
    if (!reason.isEmpty()) {
        console.Error(QStringLiteral("cannot read picture '%1': %2").arg(path, reason));
        return std::nullopt;
    }
    return SignatureDigest::Of(repository.GetPicture(index).signature);
}

bool WriteOut(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
           static_cast<std::size_t>(bytes.size());
}

// "MARKED<TAB>PATH_A<TAB>PATH_B\n" per mark (or NUL-ended fields), the most recent first;
// the paths keep the bytes of their file names.
QByteArray ListText(const std::vector<NotSimilarMarks::Mark>& marks, RecordEnds ends) {
    const char field = ends == RecordEnds::Nul ? '\0' : '\t';
    const char last = ends == RecordEnds::Nul ? '\0' : '\n';
    QByteArray text;
    for (const NotSimilarMarks::Mark& mark : marks) {
        text += mark.marked.toString(Qt::ISODate).toLatin1() + field +
                QFile::encodeName(mark.firstPath) + field + QFile::encodeName(mark.secondPath) +
                last;
    }
    return text;
}

}  // namespace

int RunMarksCommand(const CliOptions& options, Console& console,
                    std::shared_ptr<SignatureCache> cache) {
    NotSimilarMarks marks(NotSimilarMarks::DefaultPath());
    TellSetAside(marks, console);
    if (!marks.IsOpen()) {
        console.Error(marks.Problem());
        return kExitUnreadable;
    }
    bool done = true;
    switch (options.marksAction) {
        case MarksAction::Add:
        case MarksAction::Remove: {
            CPictureRepository repository;
            SourceLoader sources(repository, console, {}, {.workers = 1, .cache = cache});
            const QString& a = options.markedPictures.at(0);
            const QString& b = options.markedPictures.at(1);
            const std::optional<SignatureDigest> digestA =
                DigestOfPicture(a, sources, repository, console);
            const std::optional<SignatureDigest> digestB =
                DigestOfPicture(b, sources, repository, console);
            if (!digestA || !digestB) {
                return kExitUnreadable;
            }
            done = options.marksAction == MarksAction::Add
                       ? marks.Add(*digestA, AbsolutePath(a), *digestB, AbsolutePath(b))
                       : marks.Remove(*digestA, *digestB);
            break;
        }
        case MarksAction::List: {
            const QByteArray text =
                ListText(marks.List(), options.null ? RecordEnds::Nul : RecordEnds::Lines);
            if (!WriteOut(text) || std::fflush(stdout) != 0) {
                console.Error(QStringLiteral("cannot write the marks to standard output"));
                return kExitUnreadable;
            }
            break;
        }
        case MarksAction::Clear:
            done = marks.Clear();
            break;
        case MarksAction::None:
            break;
    }
    // A read cut short says so too, though it printed what it had.
    if (const QString problem = marks.Problem(); !done || !problem.isEmpty()) {
        console.Error(problem);
        return kExitUnreadable;
    }
    return kExitSuccess;
}

MarkedPairs MarkedPairsToLeaveOut(const CliOptions& options, Console& console) {
    // No database yet: nothing is marked, and a run makes none.
    struct stat status {};
    if (options.includeMarked ||
        lstat(QFile::encodeName(NotSimilarMarks::DefaultPath()).constData(), &status) != 0) {
        return {};
    }
    NotSimilarMarks marks(NotSimilarMarks::DefaultPath());
    TellSetAside(marks, console);
    MarkedPairs marked = marks.Snapshot();
    // Closed from the start, or a read cut short: the run goes on with what there is.
    if (!marks.Problem().isEmpty()) {
        console.Warning(marks.Problem());
    }
    return marked;
}

void ReportMarkedPairsLeftOut(std::uint64_t count, Console& console) {
    if (count > 0) {
        console.Info(
            QStringLiteral("%1 marked pairs left out (--include-marked shows them)").arg(count));
    }
}

}  // namespace vistrel::cli
