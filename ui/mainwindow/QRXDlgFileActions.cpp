// The main window's commands on picture files (open, show, move to the trash, the bulk
// deletions, Keep One of Each Group) and the Help menu.

#include "HelpFileLocation.h"
#include "QRXDlg.h"
#include "TrashUndoCommand.h"
#include "cleanup/BulkDeletion.h"
#include "cleanup/CopyCheck.h"
#include "cleanup/GroupCleanup.h"
#include "cleanup/KeepCheck.h"
#include "cleanup/ProtectedFiles.h"
#include "cleanup/TrashMoves.h"
#include "common/FileManagerItem.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/OperationReportDlg.h"
#include "groups/KeepOneDlg.h"
#include "progress/ProgressRun.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUndoStack>
#include <QUrl>

namespace vistrel {

namespace {

// The bulk deletions ask with no icon: the question itself says what will happen.
bool AskToContinue(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void ReportFilesLeft(CQRXDlg& window) {
    if (!window.Repository().HasMarked()) {
        return;
    }
    COperationReportDlg report(MarkedPaths(window.Repository()), &window);
    report.exec();
}

// Lists the files a command left in place because they lie in a reference folder.
void ReportProtected(QWidget* window, const QStringList& paths, const QString& title) {
    if (paths.isEmpty()) {
        return;
    }
    COperationReportDlg report(paths, window);
    report.setWindowTitle(title);
    report.SetMessage(
        QCoreApplication::translate("CQRXDlg", "Left in place, in a reference folder:"));
    report.exec();
}

// Says how far a clean-up that the user stopped got.
void ReportStopped(QWidget* window, const QString& title, qsizetype moved, std::size_t left) {
    if (left == 0) {
        return;
    }
    QMessageBox::information(window, title,
                             QCoreApplication::translate("CQRXDlg",
                                                         "Stopped: %1 files were moved to the "
                                                         "trash; the other %2 were left where "
                                                         "they are.")
                                 .arg(moved)
                                 .arg(left));
}

QString MovingLabel() {
    return QCoreApplication::translate("CQRXDlg", "Moving the files to the trash...");
}

}  // namespace

void CQRXDlg::DeleteFile() {
    const QString path = SelectedPath();
    if (path.isEmpty()) {
        return;
    }
    QString warning;
    if (IsOnlyReadableCopy(*repository, repository->FindPicture(path))) {
        warning =
            tr("No other picture of its group can be read now (they are missing or "
               "damaged): this may be the last copy.");
    }
    const QString folder = ProtectingFolder(References(), path);
    if (folder.isEmpty()) {
        TrashPictureFile(path, this, warning);
        return;
    }
    // Delete File is the one command that moves a protected picture, and only when the user
    // says so knowing why it is protected.
    QString question =
        tr("\"%1\" lies in the reference folder \"%2\". Move it to the trash anyway?")
            .arg(path, folder);
    if (!warning.isEmpty()) {
        question += QStringLiteral("\n\n") + warning;
    }
    if (QMessageBox::question(this, tr("Delete File"), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes) {
        MovePictureFile(path, this);
    }
}

bool CQRXDlg::RefuseProtected(const QString& path, QWidget* asker) {
    const QString folder = ProtectingFolder(References(), path);
    if (folder.isEmpty()) {
        return false;
    }
    QMessageBox::information(asker, tr("Move to Trash"),
                             tr("\"%1\" lies in the reference folder \"%2\": it stays where it "
                                "is.\nOnly Delete File moves a picture out of a reference folder.")
                                 .arg(path, folder));
    return true;
}

bool CQRXDlg::TrashPictureFile(const QString& path, QWidget* asker,
                               const QString& lastCopyWarning) {
    if (RefuseProtected(path, asker)) {
        return false;
    }
    // The desktop asks nothing before trashing a file, so the question is ours. A file that may
    // be the last copy of its picture must not go by a hasty Enter.
    QString question = tr("Move \"%1\" to the trash?").arg(path);
    if (!lastCopyWarning.isEmpty()) {
        question += QStringLiteral("\n\n") + lastCopyWarning;
    }
    const auto answer = QMessageBox::question(
        asker, tr("Delete File"), question, QMessageBox::Yes | QMessageBox::No,
        lastCopyWarning.isEmpty() ? QMessageBox::Yes : QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        return false;
    }
    // The list, or the file's place, may have changed while the question waited.
    if (RefuseProtected(path, asker)) {
        return false;
    }
    return MovePictureFile(path, asker);
}

bool CQRXDlg::MovePictureFile(const QString& path, QWidget* asker) {
    // Even one file may take long: the trash on a slow or far disk.
    const MoveOutcome moved = RunFileWork<MoveOutcome>(
        asker, tr("Delete File"), MovingLabel(),
        [path](ProgressObserver*) { return MoveTracked(path, MoveFileToTrashTracked); });
    if (moved.verdict != MoveVerdict::Moved) {
        QMessageBox::warning(asker, tr("Delete File"),
                             tr("Could not move \"%1\" to the trash.").arg(path));
        return false;
    }
    trashUndo.Begin();
    if (const std::int32_t index = repository->FindPicture(path); index >= 0) {
        trashUndo.Recorder()(repository->GetPicture(index), moved);
    }
    repository->RemovePicture(path);
    RefreshTreeKeepingPlace();
    UpdateCommandStates();
    return true;
}

CTrashUndo::PutBack CQRXDlg::PutBackFiles(CTrashUndo& record) {
    return RunFileWork<CTrashUndo::PutBack>(
        this, tr("Undo Move to Trash"), tr("Putting the files back..."),
        [&record](ProgressObserver* progress) { return record.PutBackFiles(progress); });
}

void CQRXDlg::OpenFile() {
    const QString path = SelectedPath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        QMessageBox::warning(this, tr("Open picture file"),
                             tr("Could not open file\"%1\"").arg(path));
    }
}

void CQRXDlg::FindFile() {
    ShowInFileManager(SelectedPath());
}

void CQRXDlg::DeleteAllSimilar() {
    if (!AskToContinue(this, tr("Delete All Similar Pictures"),
                       tr("All similar pictures will be deleted.\nContinue?"))) {
        return;
    }
    // The links were found in files as they were then: each is decoded afresh first, so that a
    // pair gone stale since moves nothing.
    const std::optional<std::vector<bool>> same = RunWithProgress<std::vector<bool>>(
        this, tr("Delete All Similar Pictures"), tr("Checking the pictures before they move..."),
        SameContentChecker(*repository, LinkedEntries(*repository)));
    activateWindow();
    if (!same) {
        return;
    }
    trashUndo.Begin();
    const PlannedMoves planned = PlanSimilarDeletion(*repository, [&same](std::int32_t index) {
        return (*same)[static_cast<std::size_t>(index)];
    });
    const std::vector<MoveOutcome> outcomes = RunFileWork<std::vector<MoveOutcome>>(
        this, tr("Delete All Similar Pictures"), MovingLabel(),
        [&planned, reference = References()](ProgressObserver* progress) {
            return MoveSimilarFiles(planned, MoveFileToTrashTracked, reference, progress);
        });
    const QStringList spared = ApplyMoves(*repository, planned, outcomes, trashUndo.Recorder());
    RefreshTreeKeepingPlace();
    ReportStopped(this, tr("Delete All Similar Pictures"),
                  static_cast<qsizetype>(CountVerdicts(outcomes, MoveVerdict::Moved)),
                  CountVerdicts(outcomes, MoveVerdict::NotReached));
    ReportFilesLeft(*this);
    ReportProtected(this, spared, tr("Delete All Similar Pictures"));
}

void CQRXDlg::DeleteAllDamaged() {
    if (!AskToContinue(this, tr("Delete All Damaged Pictures"),
                       tr("All pictures that couldn't be loaded will be deleted.\nContinue?"))) {
        return;
    }
    trashUndo.Begin();
    const PlannedMoves planned = PlanDamagedDeletion(*repository);
    // Each file is decoded again just before its move: on the worker, with the move.
    const std::vector<MoveOutcome> outcomes = RunFileWork<std::vector<MoveOutcome>>(
        this, tr("Delete All Damaged Pictures"), MovingLabel(),
        [&planned, side = repository->Side(),
         reference = References()](ProgressObserver* progress) {
            return MoveDamagedFiles(planned, side, MoveFileToTrashTracked, reference, progress);
        });
    const QStringList spared = ApplyMoves(*repository, planned, outcomes, trashUndo.Recorder());
    RefreshTreeKeepingPlace();
    ReportStopped(this, tr("Delete All Damaged Pictures"),
                  static_cast<qsizetype>(CountVerdicts(outcomes, MoveVerdict::Moved)),
                  CountVerdicts(outcomes, MoveVerdict::NotReached));
    ReportFilesLeft(*this);
    ReportProtected(this, spared, tr("Delete All Damaged Pictures"));
}

void CQRXDlg::KeepOneOfEachGroup() {
    const bool shapeOnly = settings.record.shapeOnly;
    CKeepOneDlg choice(*repository, shapeOnly, this, References());
    if (marks != nullptr) {
        choice.SetGroupMarker([this, &choice](const QStringList& paths) {
            return MarkGroupNotSimilar(paths, &choice);
        });
    }
    if (choice.exec() != QDialog::Accepted) {
        return;
    }
    // The plan was made from the files as they were when the dialog read them: each file is
    // checked again, and decoded afresh, before anything moves.
    const std::optional<KeepCheck> check = RunWithProgress<KeepCheck>(
        this, tr("Keep One of Each Group"), tr("Checking the pictures before they move..."),
        [plans = choice.Plans(), shapeOnly](ProgressObserver* progress) {
            return CheckKeepPlans(plans, shapeOnly, progress);
        });
    // The dialog closes in the same moment as its question box, and a window manager that hands
    // the focus back to the closing box's parent then leaves it nowhere: take it back, so that
    // the keys (Undo among them) work at once.
    activateWindow();
    if (!check) {
        return;
    }
    trashUndo.Begin();
    const KeepMoves moves = PlanKeepMoves(*repository, check->plans);
    // The reference folders as they are now, whatever they were when the dialog planned.
    const KeepMoveOutcomes moved = RunFileWork<KeepMoveOutcomes>(
        this, tr("Keep One of Each Group"), MovingLabel(),
        [&moves, reference = References()](ProgressObserver* progress) {
            return MoveKeepCopies(moves, MoveFileToTrashTracked, reference, progress);
        });
    const KeepOutcome outcome = ApplyKeepMoves(*repository, moves, moved, trashUndo.Recorder());
    RefreshTreeKeepingPlace();
    ReportStopped(this, tr("Keep One of Each Group"), outcome.moved.size(), moved.left);
    if (!outcome.notMoved.isEmpty()) {
        COperationReportDlg report(outcome.notMoved, this);
        report.exec();
    }
    const auto reportLeft = [this](const QStringList& paths, const QString& message) {
        if (!paths.isEmpty()) {
            COperationReportDlg report(paths, this);
            report.setWindowTitle(tr("Keep One of Each Group"));
            report.SetMessage(message);
            report.exec();
        }
    };
    // Moving the copies of a picture that is itself gone would lose the picture.
    reportLeft(check->keptChanged + outcome.keptGone,
               tr("Groups left alone, as the picture to keep changed:"));
    reportLeft(check->notCopies + outcome.changed,
               tr("Left in place, changed or no longer near-copies:"));
    reportLeft(outcome.spared, tr("Left in place, in a reference folder:"));
}

void CQRXDlg::UndoMoveToTrash() {
    if (!undoStack->canUndo()) {
        return;
    }
    // Each step of the history is taken back alone: the last clean-up's files, or the last
    // mark. Files of an earlier clean-up come back as safely as the last one's (never over a
    // file that took their place).
    const bool trashStep = dynamic_cast<const TrashUndoCommand*>(
                               undoStack->command(undoStack->index() - 1)) != nullptr;
    lastUndo = {};
    undoStack->undo();
    // The files a stop left in the trash are still the step's: it is the one to undo again.
    const bool stopped = trashStep && lastUndo.left > 0;
    if (stopped) {
        undoStack->redo();
    }
    RefreshTreeKeepingPlace();
    ReloadMarkedPairs();
    if (stopped) {
        QMessageBox::information(this, tr("Undo Move to Trash"),
                                 tr("Stopped: %1 files were put back; the other %2 are still in "
                                    "the trash, and Undo puts them back.")
                                     .arg(lastUndo.restored)
                                     .arg(lastUndo.left));
    }
    if (trashStep && !lastUndo.notRestored.isEmpty()) {
        COperationReportDlg report(lastUndo.notRestored, this);
        report.setWindowTitle(tr("Undo Move to Trash"));
        // The trash no longer holds them, or another file has taken their place.
        report.SetMessage(tr("Could not put back the files:"));
        report.exec();
    }
}

void CQRXDlg::HelpFile() {
    const QString path = HelpFilePath(QDir::currentPath(), QCoreApplication::applicationDirPath());
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        QMessageBox::warning(this, tr("Opening Help File"),
                             tr("Couldn't open help file \"%1\"").arg(path));
    }
}

void CQRXDlg::About() {
    CAboutDlg about(this);
    about.exec();
}

}  // namespace vistrel
