#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "SimilarityRun.h"
#include "SourceLoader.h"
#include "cleanup/BestCopy.h"
#include "cleanup/GroupCleanup.h"
#include "cleanup/KeepCheck.h"
#include "cleanup/KeepFacts.h"
#include "cleanup/KeepPlan.h"
#include "cleanup/PictureFacts.h"
#include "cleanup/ProtectedFiles.h"
#include "repository/PictureRepository.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace vistrel::cli {

namespace {

// Writes one field of a plan's line, ended as the user asked.
void Field(QByteArray& output, const QByteArray& text, bool null, bool last) {
    output += text;
    output += null ? '\0' : last ? '\n' : '\t';
}

// The # line that heads a group: how many pictures, how many go, how many stay and why.
QByteArray GroupLine(int number, const std::vector<KeepAction>& actions) {
    const auto count = [&actions](KeepAction action) {
        return static_cast<int>(std::count(actions.begin(), actions.end(), action));
    };
    QString text = QStringLiteral("# group %1: %2 pictures, %3 to the trash")
                       .arg(number)
                       .arg(actions.size())
                       .arg(count(KeepAction::Trash));
    if (count(KeepAction::Keep) == 0) {
        text += QStringLiteral(", left alone: no picture to keep");
    } else if (count(KeepAction::Trash) == 0 && count(KeepAction::Protected) == 0 &&
               count(KeepAction::Stay) > 0) {
        text += QStringLiteral(
            ", left alone: the picture kept cannot be read or has no "
            "near-copies");
    }
    if (count(KeepAction::Stay) > 0) {
        text += QStringLiteral(", %1 similar but no near-copies stay").arg(count(KeepAction::Stay));
    }
    if (count(KeepAction::Gone) > 0) {
        text += QStringLiteral(", %1 gone").arg(count(KeepAction::Gone));
    }
    if (count(KeepAction::Protected) > 0) {
        text += QStringLiteral(", %1 in a reference folder stay").arg(count(KeepAction::Protected));
    }
    return text.toUtf8();
}

// The first field of a picture's line: what happens to it.
const char* ActionField(KeepAction action) {
    switch (action) {
        case KeepAction::Trash:
            return "trash";
        case KeepAction::Protected:
            return "protected";
        default:
            return "keep";
    }
}

bool WriteOut(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

// Moves what the plans still hold to the trash and says what happened; false when a file the
// plan would move could not be moved.
bool MovePlanned(CPictureRepository& repository, const std::vector<KeepPlan>& plans, bool shapeOnly,
                 const ReferenceFolders& reference, Console& console) {
    const KeepCheck check = CheckKeepPlans(plans, shapeOnly);
    const KeepOutcome outcome =
        TrashAllButKept(repository, check.plans, MoveFileToTrash, reference);
    for (const QString& path : check.keptChanged + outcome.keptGone) {
        console.Warning(QStringLiteral("group left alone: the picture to keep '%1' is gone, has "
                                       "changed or cannot be read")
                            .arg(path));
    }
    for (const QString& path : check.notCopies + outcome.changed) {
        console.Warning(QStringLiteral("left in place: '%1' has changed or is no longer a "
                                       "near-copy of the picture kept")
                            .arg(path));
    }
    for (const QString& path : outcome.spared) {
        console.Warning(QStringLiteral("left in place: '%1' lies in the reference folder '%2'")
                            .arg(path, ProtectingFolder(reference, path)));
    }
    for (const QString& path : outcome.notMoved) {
        console.Error(QStringLiteral("cannot move '%1' to the trash").arg(path));
    }
    console.Info(QStringLiteral("%1 files moved to the trash, %2 could not be moved")
                     .arg(outcome.moved.size())
                     .arg(outcome.notMoved.size()));
    return outcome.notMoved.isEmpty();
}

}  // namespace

int RunKeepCommand(const CliOptions& options, const UserSettings& settings, Console& console,
                   std::shared_ptr<SignatureCache> cache) {
    CPictureRepository repository;
    SourceLoader sources(repository, console, EnabledExtensions(settings),
                         {.workers = options.workers, .cache = std::move(cache)});
    sources.SetExclusions(settings.exclusions);
    if (!AddAllSources(options.sources, sources, console)) {
        return kExitUnreadable;
    }
    ComparisonOptions runOptions = settings.Comparison();
    runOptions.workers = options.workers;
    const RunOutcome outcome =
        RunSimilarity(repository, runOptions, console, MarkedPairsToLeaveOut(options, console));
    if (!RanWhole(outcome, console)) {
        return kExitUnreadable;
    }
    ReportMarkedPairsLeftOut(outcome.markedLeftOut, console);
    // The mode the links were found in: --shape-only or the stored option.
    const bool shapeOnly = runOptions.shapeOnly;
    // Read from the settings, not from the run: the list is the user's, whatever the run
    // compared.
    const ReferenceFolders reference(settings.referenceFolders);

    QByteArray output;
    std::vector<KeepPlan> plans;
    int number = 0;
    const std::vector<PictureGroup> groups = ListPictureGroups(repository);
    std::vector<QStringList> groupPaths;
    for (const PictureGroup& members : groups) {
        QStringList& paths = groupPaths.emplace_back();
        for (const std::int32_t entry : members) {
            paths.append(repository.GetPicture(entry).path);
        }
    }
    std::vector<std::vector<PictureFacts>> groupFacts =
        ReadKeepFactsOfGroups(groupPaths, options.workers);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const PictureGroup& members = groups[g];
        const QStringList& paths = groupPaths[g];
        std::vector<PictureFacts>& facts = groupFacts[g];
        std::vector<KeepCandidate> group;
        for (std::size_t i = 0; i < members.size(); ++i) {
            group.push_back(KeepCandidate{paths[static_cast<qsizetype>(i)], std::move(facts[i]),
                                          repository.GetPicture(members[i]).loadError});
        }
        const auto nearCopies = ListNearCopies(repository, members, shapeOnly);
        MarkResaves(group, nearCopies);
        const std::size_t chosen = ChooseKeptPicture(group, options.keepRule);
        // A picture in a reference folder is kept over the rule's choice, and never moves.
        const std::vector<bool> isProtected = ProtectedPictures(group, reference);
        std::vector<KeepAction> actions = DecideGroup(
            group, nearCopies, KeepProtectedPicture(group, isProtected, options.keepRule, chosen));
        SpareProtected(actions, isProtected);
        Field(output, GroupLine(++number, actions), options.null, true);
        for (std::size_t i = 0; i < group.size(); ++i) {
            Field(output, ActionField(actions[i]), options.null, false);
            Field(output, QFile::encodeName(group[i].path), options.null, true);
        }
        if (std::optional<KeepPlan> plan = MakeKeepPlan(group, nearCopies, actions)) {
            plans.push_back(std::move(*plan));
        }
    }
    if (!WriteOut(output)) {
        console.Error(QStringLiteral("cannot write the results to standard output"));
        return kExitUnreadable;
    }
    bool allMoved = true;
    if (options.trash) {
        allMoved = MovePlanned(repository, plans, shapeOnly, reference, console);
    }
    QString reason;
    if (!options.saveFile.isEmpty() && !repository.SaveToFile(options.saveFile, &reason)) {
        console.Error(QStringLiteral("cannot write the repository file '%1': %2")
                          .arg(CPictureRepository::RepositoryFilePath(options.saveFile), reason));
        return kExitUnreadable;
    }
    return allMoved ? kExitSuccess : kExitUnreadable;
}

}  // namespace vistrel::cli
