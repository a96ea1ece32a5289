// The main window's repository commands: New, Open, Save, Add, Remove, Program Settings, Test,
// Search Similar and Next Similar.

#include "QRXDlg.h"

#include "PictureFileFilters.h"
#include "dialogs/OperationReportDlg.h"
#include "dialogs/SettingsDlg.h"
#include "import/PictureImport.h"
#include "marks/NotSimilarMarks.h"
#include "progress/LoadWaitDlg.h"
#include "progress/OpProgressDlg.h"
#include "progress/ProgressRelay.h"
#include "progress/ProgressRun.h"
#include "progress/SearchProgressDlg.h"
#include "settings/PictureFormats.h"
#include "signature/SignaturePipeline.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

namespace vistrel {

namespace {

// After Open the tree starts a little higher than the usual 210 pixels, until the next resize.
constexpr int kTreeTopAfterOpen = 200;

// Adds one picture through the import, its signature made by one worker (or found in `cache`,
// when given). Returns the entry that holds the file: the new one, or the one that held it
// already, under this path or another (a linked folder, a hard link); -1 when there is none.
std::int32_t AddOnePicture(CPictureRepository& repository, const QString& path,
                           const std::shared_ptr<SignatureCache>& cache) {
    if (const std::int32_t held = repository.FindFile(path); held >= 0) {
        return held;
    }
    // The window keeps painting, but takes no input, while the picture is decoded.
    return RunWhileWaiting<std::int32_t>([&repository, &path, &cache] {
        struct : ProgressObserver {
            void Report(const ProgressReport&) override {}
        } unwatched;  // one picture: nothing to show
        ImportPictures(repository, {path},
                       ImportOptions{{}, SigningLimits{.workers = 1, .cache = cache}}, unwatched);
        return repository.FindFile(path);
    });
}

// Lists the folders a scan could not read, so that the user knows their pictures are missing.
void ShowUnreadFolders(QWidget* parent, const QStringList& folders) {
    if (!folders.isEmpty()) {
        COperationReportDlg report(folders, parent);
        report.setWindowTitle(QObject::tr("Add To Repository"));
        report.SetMessage(
            QObject::tr("Some folders or files could not be read; the pictures in "
                        "them were not added:"));
        report.exec();
    }
}

// `marks`, when given, are the user's pairs marked not similar: the run leaves out those
// marked when it starts.
void RunComparison(QWidget* parent, CPictureRepository& repository, std::int32_t target,
                   const ComparisonOptions& options, NotSimilarMarks* marks) {
    COpProgressDlg dialog(parent);
    dialog.repository = &repository;
    dialog.options = options;
    dialog.options.target = target;
    if (marks != nullptr) {
        dialog.marked = marks->Snapshot();
    }
    dialog.exec();
    if (!dialog.Fault().isEmpty()) {
        QMessageBox::critical(parent, CQRXDlg::tr("Error"), dialog.Fault());
    }
}

// "3 folders", "1 picture file", as the window writes counts.
QString Counted(qint64 count, const QString& one, const QString& many) {
    return (count == 1 ? one : many).arg(count);
}

// What the exclusions left out of a scan, for the user; empty when nothing.
QString ExcludedText(const CSearchProgressDlg& scan) {
    if (scan.ExcludedFiles() == 0 && scan.ExcludedFolders() == 0) {
        return QString();
    }
    return CQRXDlg::tr("The exclusions left out %1 and %2.")
        .arg(Counted(scan.ExcludedFiles(), CQRXDlg::tr("%1 picture file"),
                     CQRXDlg::tr("%1 picture files")),
             Counted(scan.ExcludedFolders(), CQRXDlg::tr("%1 folder"), CQRXDlg::tr("%1 folders")));
}

}  // namespace

void CQRXDlg::NewRepository() {
    if (!DiscardRepository()) {
        UpdateCommandStates();
        return;
    }
    AddToRepository();
    UpdateCommandStates();
}

void CQRXDlg::OpenRepository() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Repository"), QString(),
                                                      RepositoryFileFilter());
    if (path.isEmpty()) {
        UpdateCommandStates();
        return;
    }
    OpenRepositoryFile(path);
}

bool CQRXDlg::OpenRepositoryFile(const QString& path) {
    // Reading a FIFO or a device would wait for ever behind a dialog that cannot be closed.
    if (const QFileInfo chosen(path); chosen.exists() && !chosen.isFile()) {
        QMessageBox::warning(this, tr("Open Repository"),
                             tr("\"%1\" is not a regular file, so it cannot be opened as a "
                                "repository.")
                                 .arg(path));
        UpdateCommandStates();
        return false;
    }
    if (!MayDropRepository()) {
        UpdateCommandStates();
        return false;
    }
    const QString statusBefore = StatusText();
    SetStatusText(tr("Opening..."));
    // The file loads into a repository of its own: Cancel leaves the window's repository, its
    // tree and its file name exactly as they were, and nothing half-loaded is ever shown.
    auto loaded = EmptyRepository();
    CLoadWaitDlg wait(this);
    wait.params.repository = loaded.get();
    wait.params.path = path;
    wait.params.cache = signatureCache;
    const int outcome = wait.exec();
    if (outcome == QDialog::Rejected) {
        SetStatusText(statusBefore);
        UpdateCommandStates();
        return false;
    }
    const bool finished = outcome == 1;
    const bool opened = finished && wait.params.succeeded;
    if (finished) {
        // A file that could not be read leaves an empty repository, as it always has.
        repository = std::move(loaded);
        SetRepositoryFile(opened ? path : QString());
        tree->setGeometry(0, kTreeTopAfterOpen, client->width(),
                          std::max(0, client->height() - kTreeTopAfterOpen));
    }
    RefreshTree();
    UpdateCommandStates();
    TellOfSignatureStore();
    if (finished && !wait.params.succeeded) {
        QMessageBox::warning(this, tr("Open Repository"),
                             tr("The repository file \"%1\" could not be read completely, so "
                                "nothing of it was opened.")
                                 .arg(path));
    }
    return opened;
}

void CQRXDlg::OpenRepositoryFileLater(const QString& path) {
    QTimer::singleShot(0, this, [this, path] { OpenRepositoryFile(path); });
}

bool CQRXDlg::SaveRepository() {
    QFileDialog chooser(this, tr("Save Repository"), QString(), RepositoryFileFilter());
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    // The question about replacing a file must concern the file that is really written, which
    // may have ".qrx" added to the name typed.
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    // The file last opened or saved is proposed; replacing it is still asked about below.
    if (const QString current = windowFilePath(); !current.isEmpty()) {
        const QFileInfo file(current);
        chooser.setDirectory(file.absolutePath());
        chooser.selectFile(file.fileName());
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return false;
    }
    const QString target = CPictureRepository::RepositoryFilePath(chooser.selectedFiles().first());
    if (QFileInfo::exists(target) &&
        QMessageBox::question(this, tr("Save Repository"),
                              tr("\"%1\" already exists. Do you want to replace it?").arg(target),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes) {
        return false;
    }
    SetStatusText(tr("Saving..."));
    QString reason;
    const bool saved = repository->SaveToFile(target, &reason);
    if (saved) {
        SetRepositoryFile(target);
    }
    UpdateTotals();
    if (!saved) {
        QMessageBox::critical(this, tr("Error"),
                              tr("The repository could not be saved to \"%1\": %2. The file "
                                 "that was there is unchanged.")
                                  .arg(target, reason));
    }
    return saved;
}

void CQRXDlg::AddToRepository() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Please choose a folder."));
    SetStatusText(tr("Processing..."));
    std::int32_t heldElsewhere = -1;
    QString excluded;
    QString stopped;
    if (!folder.isEmpty()) {
        if (QFileInfo(folder).isDir()) {
            const std::int32_t countBefore = repository->GetCount();
            CSearchProgressDlg scan(this, repository.get(), folder, EnabledExtensions(settings),
                                    SigningLimits{.cache = signatureCache}, settings.exclusions);
            if (scan.exec() == QDialog::Rejected) {
                // What was added before Stop stays; the user must know the folder is not whole.
                stopped = tr("Scan stopped: %1 added, the rest of the folder was not added.")
                              .arg(Counted(repository->GetCount() - countBefore, tr("%1 picture"),
                                           tr("%1 pictures")));
            }
            ShowSkippedFiles(scan.Skipped());
            ShowUnreadFolders(this, scan.UnreadFolders());
            excluded = ExcludedText(scan);
            // A scan that found nothing must say why, or the exclusions look like a fault.
            if (!excluded.isEmpty() && scan.FilesSeen() == 0) {
                QMessageBox::information(
                    this, tr("Add To Repository"),
                    tr("No pictures were found in \"%1\". %2 Program Settings lists the "
                       "exclusions.")
                        .arg(folder, excluded));
            }
        } else if (const std::int32_t entry = AddOnePicture(*repository, folder, signatureCache);
                   entry >= 0 && repository->GetPicture(entry).path != folder) {
            heldElsewhere = entry;
        }
    }
    // A file held under another name is not added again: its entry is shown instead.
    if (heldElsewhere >= 0) {
        RefreshTreeSelecting(heldElsewhere);
    } else {
        RefreshTree();
    }
    TellOfSignatureStore();
    for (const QString& note : {stopped, excluded}) {
        if (!note.isEmpty()) {
            AddStatusNote(note);
        }
    }
}

std::unique_ptr<CPictureRepository> CQRXDlg::EmptyRepository() const {
    auto made = std::make_unique<CPictureRepository>();
    made->UseSignatureStore(
        std::make_shared<SignatureStore>(SignatureStore::FolderFor(signatureCache.get())));
    return made;
}

void CQRXDlg::TellOfSignatureStore() {
    const SignatureStore* store = repository->Store();
    if (store == nullptr) {
        return;
    }
    if (store->OutOfRoom()) {
        QMessageBox::warning(this, tr("Add To Repository"),
                             tr("There is not enough memory to hold the signatures of more "
                                "pictures, so the adding stopped and the rest was not added. "
                                "%1")
                                 .arg(store->Warning()));
    } else if (const QString warning = store->Warning(); !warning.isEmpty() && !storeWarned) {
        storeWarned = true;
        QMessageBox::warning(this, tr("Signatures"), warning);
    }
}

void CQRXDlg::ShowSkippedFiles(const QStringList& skipped) {
    if (skipped.isEmpty()) {
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("Add To Repository"),
                    tr("Some folders or files were left out: they are on a virtual file system "
                       "(such as /proc), or their names cannot be represented exactly. The "
                       "details list them."),
                    QMessageBox::Ok, this);
    box.setDetailedText(skipped.join(u'\n'));
    box.exec();
}

void CQRXDlg::RemoveFromRepository() {
    const QString path = SelectedPath();
    if (path.isEmpty()) {
        return;
    }
    // Every item that names the picture goes: its own and the child items under the others.
    repository->RemovePicture(path);
    RefreshTreeKeepingPlace();
}

void CQRXDlg::EditProgramSettings() {
    CSettingsDlg dialog(settings, this);
    if (dialog.exec() == QDialog::Accepted) {
        const bool referencesChanged =
            dialog.Settings().referenceFolders != settings.referenceFolders;
        settings = dialog.Settings();
        if (referencesChanged) {
            MarkProtectedItems();
            UpdateTotals();
        }
    }
    UpdateCommandStates();
}

void CQRXDlg::TestRepository() {
    RunComparison(this, *repository, -1, settings.Comparison(), marks.get());
    RefreshTree();
    UpdateCommandStates();
}

void CQRXDlg::SearchSimilar() {
    QFileDialog chooser(this, tr("Search Similar"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilters(
        SearchSimilarFilters(settings.record.enabledFormats, settings.addedFormats));
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
        const QString path = chooser.selectedFiles().first();
        // A file the repository holds under another name is searched for as that entry.
        const std::int32_t target = AddOnePicture(*repository, path, signatureCache);
        RefreshTree();
        UpdateTotals();
        if (target >= 0) {
            RunComparison(this, *repository, target, settings.Comparison(), marks.get());
            if (repository->GetPicture(target).path != path) {
                RefreshTreeSelecting(target);
            } else {
                RefreshTree();
            }
        }
    }
    UpdateCommandStates();
}

void CQRXDlg::NextSimilar() {
    QTreeWidgetItem* item = tree->currentItem();
    if (item != nullptr && item->isSelected()) {
        QTreeWidgetItem* parent = item->parent();
        const auto siblings = [&]() -> int {
            return parent ? parent->childCount() : tree->topLevelItemCount();
        };
        const auto at = [&](int i) { return parent ? parent->child(i) : tree->topLevelItem(i); };
        const int position = parent ? parent->indexOfChild(item) : tree->indexOfTopLevelItem(item);
        for (int i = position + 1; i < siblings(); ++i) {
            if (HasChildItems(at(i))) {
                tree->setCurrentItem(at(i));
                return;
            }
        }
    }
    QMessageBox::information(this, tr("Next Similar"), tr("Not found"));
}

}  // namespace vistrel
