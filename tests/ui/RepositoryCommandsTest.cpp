// The repository commands driven as a user drives them, through the window's actions: add a
// folder with near-copies, test, save, open again, search, Next Similar and Remove.

#include "ProgramArguments.h"
#include "dialogs/OperationReportDlg.h"
#include "dialogs/SettingsDlg.h"
#include "mainwindow/QRXDlg.h"
#include "mainwindow/RecentRepositories.h"
#include "signature/SignatureCache.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/WidgetHelpers.h"
#include "support/WidgetTestMain.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

using vistrel::CQRXDlg;
using vistrel::test::PictureFormat;

namespace {

using vistrel::test::AnswerMessageBox;
using vistrel::test::TopLevelTexts;
using vistrel::test::TreeText;

// Runs `answer` on the window of type T once one is shown (the chooser or message box that
// a command opens); one that is not shown in time fails the test at `where`.
template <typename T>
void WhenModal(std::function<void(T*)> answer,
               const std::source_location& where = std::source_location::current()) {
    vistrel::test::WhenShown<T>([answer](T& window) { answer(&window); }, nullptr, where);
}

void ChooseFile(const QString& path,
                const std::source_location& where = std::source_location::current()) {
    WhenModal<QFileDialog>(
        [path](QFileDialog* chooser) {
            chooser->selectFile(path);
            // As a user types it: the whole path in the name box.
            if (auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                name->setText(path);
            }
            static_cast<QDialog*>(chooser)->accept();
        },
        where);
}

void CancelChooser(const std::source_location& where = std::source_location::current()) {
    WhenModal<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); }, where);
}

// The files of File > Recent Repositories, top to bottom.
QStringList RecentEntries(const CQRXDlg& window) {
    QStringList paths;
    for (QAction* action : window.Actions().recentRepositories->actions()) {
        if (!action->data().toString().isEmpty()) {
            paths << action->data().toString();
        }
    }
    return paths;
}

QAction* RecentEntry(const CQRXDlg& window, const QString& path) {
    for (QAction* action : window.Actions().recentRepositories->actions()) {
        if (action->data().toString() == path) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class RepositoryCommandsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir work;
    QString photos;
    QString photoA, photoACopy, photoB, photoC;

private slots:
    void initTestCase() {
        photos = work.filePath("photos");
        QVERIFY(QDir().mkpath(photos + "/trip"));
        const QImage a = vistrel::test::MakePhotoLike(400, 300, 1);
        const QImage b = vistrel::test::MakePhotoLike(400, 300, 2);
        const QImage c = vistrel::test::MakePhotoLike(300, 400, 3);
        photoA = photos + "/a.png";
        photoACopy = photos + "/trip/a-small.jpg";  // a near-copy: smaller and re-encoded
        photoB = photos + "/b.png";
        photoC = photos + "/trip/c.bmp";
        QVERIFY(vistrel::test::WritePicture(a, PictureFormat::Png, photoA));
        QVERIFY(vistrel::test::WritePicture(
            a.scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
            PictureFormat::Jpeg, photoACopy));
        QVERIFY(vistrel::test::WritePicture(b, PictureFormat::Png, photoB));
        QVERIFY(vistrel::test::WritePicture(c, PictureFormat::Bmp, photoC));
    }

    // QTemporaryDir cannot remove names that are not valid in the system's encoding.
    void cleanupTestCase() {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(work.path()).toStdString(), ignored);
    }

    void addTestSaveAndOpenAgain() {
        CQRXDlg window;
        window.show();
        ChooseFile(photos);
        window.Actions().addToRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 4);
        QVERIFY(window.Repository().IsModified());

        window.Actions().testRepository->trigger();
        QVERIFY(window.Repository().HasSimilar());
        const int a = window.Repository().FindPicture(photoA);
        const int copy = window.Repository().FindPicture(photoACopy);
        QCOMPARE(window.Repository().GetPicture(a).similar.size(), size_t(1));
        QCOMPARE(window.Repository().GetPicture(a).similar[0].index, copy);
        QCOMPARE(
            window.Repository().GetPicture(window.Repository().FindPicture(photoB)).similar.size(),
            size_t(0));
        const QStringList tested = TreeText(*window.Tree());
        QCOMPARE(tested.size(), 6);  // four pictures, two links
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 6"));

        // Saved under a name without ".qrx": the file gets it.
        ChooseFile(work.filePath("set"));
        window.Actions().saveRepository->trigger();
        QVERIFY(QFileInfo::exists(work.filePath("set.qrx")));
        QVERIFY(!window.Repository().IsModified());

        // Opened again in a fresh window: the same tree.
        CQRXDlg other;
        other.show();
        ChooseFile(work.filePath("set.qrx"));
        other.Actions().openRepository->trigger();
        QCOMPARE(TreeText(*other.Tree()), tested);
        QCOMPARE(other.Tree()->geometry().top(), 200);
        QVERIFY(!other.Repository().IsModified());  // just as the file holds it
        other.Repository().AddPicture(photoA + ".missing");

        // Saving over an existing file asks about the file really written.
        QString question;
        ChooseFile(work.filePath("set"));
        AnswerMessageBox(QMessageBox::No, &question);
        other.Actions().saveRepository->trigger();
        QVERIFY(question.contains(work.filePath("set.qrx")));
        QVERIFY(other.Repository().IsModified());
    }

    // Program Settings: what OK takes is what the next test runs with; Cancel keeps what was.
    void programSettingsAreInForceAfterOkOnly() {
        CQRXDlg window;
        window.show();
        ChooseFile(photos);
        window.Actions().addToRepository->trigger();
        const auto typeThreshold = [](const QString& text, bool ok) {
            WhenModal<vistrel::CSettingsDlg>([text, ok](vistrel::CSettingsDlg* dialog) {
                auto* box = dialog->findChild<QAbstractSpinBox*>(QStringLiteral("thresholdBox"));
                box->selectAll();
                QTest::keyClick(box, Qt::Key_Backspace);
                QTest::keyClicks(box, text);
                ok ? dialog->accept() : dialog->reject();
            });
        };
        typeThreshold(QStringLiteral("0"), false);
        window.Actions().programSettings->trigger();
        QCOMPARE(window.Settings().record.threshold, 4.0f);
        window.Actions().testRepository->trigger();
        QVERIFY(window.Repository().HasSimilar());

        typeThreshold(QStringLiteral("0"), true);
        window.Actions().programSettings->trigger();
        QCOMPARE(window.Settings().record.threshold, 0.0f);
        window.Actions().testRepository->trigger();
        QVERIFY(!window.Repository().HasSimilar());
    }

    void openAFileThatCannotBeReadSaysSo() {
        const QString broken = work.filePath("broken.qrx");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("3\0\n\0", 4));  // declares three entries, holds none
        file.close();
        CQRXDlg window;
        window.show();
        QString message;
        ChooseFile(broken);
        AnswerMessageBox(QMessageBox::Ok, &message);
        window.Actions().openRepository->trigger();
        QVERIFY(message.contains("could not be read"));
        QVERIFY(window.Repository().IsEmpty());
    }

    // `vistrel FILE.qrx`: the file opens as Open opens it, once the window is on screen.
    void commandLineFileOpensOnceTheWindowShows() {
        vistrel::CPictureRepository saved;
        saved.AddPicture(photoA);
        saved.AddPicture(photoB);
        QVERIFY(saved.SaveToFile(work.filePath("start.qrx")));
        const vistrel::ProgramArguments arguments = vistrel::ParseProgramArguments(
            {QStringLiteral("vistrel"),
             QDir(QDir::currentPath()).relativeFilePath(work.filePath("start.qrx"))});
        QCOMPARE(arguments.repositoryFile, work.filePath("start.qrx"));
        QVERIFY(arguments.message.isEmpty());
        QCOMPARE(vistrel::ParseProgramArguments({"vistrel"}).repositoryFile, QString());
        QCOMPARE(vistrel::ParseProgramArguments({"vistrel", "a.qrx", "b.qrx"}).exitStatus, 1);
        QCOMPARE(vistrel::ParseProgramArguments({"vistrel", "--nonsense"}).exitStatus, 1);

        CQRXDlg window;
        window.show();
        window.OpenRepositoryFileLater(arguments.repositoryFile);
        QCOMPARE(window.Repository().GetCount(), 0);  // not before the event loop runs
        QTRY_COMPARE(window.Repository().Paths(), (QStringList{photoA, photoB}));
        QCOMPARE(TopLevelTexts(*window.Tree()), (QStringList{photoA, photoB}));

        // A file that cannot be read: the same message as Open's, and an empty repository.
        const QString broken = work.filePath("start-broken.qrx");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("3\0\n\0", 4));
        file.close();
        CQRXDlg other;
        other.show();
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        other.OpenRepositoryFileLater(broken);
        QTRY_VERIFY(!message.isEmpty());
        QVERIFY(message.contains("could not be read"));
        QVERIFY(other.Repository().IsEmpty());
        QCOMPARE(other.Tree()->topLevelItemCount(), 0);
    }

    // The title names the file last opened or saved, with "*" while there are changes.
    void titleNamesTheFileAndShowsChanges() {
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoA);
        window.Repository().AddPicture(photoB);
        window.RefreshTree();
        QCOMPARE(window.windowTitle(), QStringLiteral("Vistrel"));  // nothing opened or saved
        QVERIFY(!window.isWindowModified());

        ChooseFile(work.filePath("titled"));
        window.Actions().saveRepository->trigger();
        QCOMPARE(window.windowFilePath(), work.filePath("titled.qrx"));
        QCOMPARE(window.windowTitle(), QStringLiteral("titled.qrx[*] - Vistrel"));
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("titled.qrx - Vistrel"));

        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(0));
        window.Actions().removeFromRepository->trigger();
        QVERIFY(window.isWindowModified());
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("titled.qrx* - Vistrel"));

        // Opened again, without saving the change: as the file holds it.
        ChooseFile(work.filePath("titled.qrx"));
        AnswerMessageBox(QMessageBox::No);
        window.Actions().openRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 2);
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("titled.qrx - Vistrel"));

        // Save proposes the file opened; taking it still asks before replacing it.
        QStringList proposed;
        QString question;
        WhenModal<QFileDialog>([&proposed](QFileDialog* chooser) {
            proposed = chooser->selectedFiles();
            static_cast<QDialog*>(chooser)->accept();
        });
        AnswerMessageBox(QMessageBox::No, &question);
        window.Actions().saveRepository->trigger();
        QCOMPARE(proposed, QStringList{work.filePath("titled.qrx")});
        QVERIFY(question.contains("already exists"));

        // New forgets the file.
        CancelChooser();
        window.Actions().newRepository->trigger();
        QCOMPARE(window.windowTitle(), QStringLiteral("Vistrel"));
        QVERIFY(window.windowFilePath().isEmpty());
    }

    // Recent Repositories: most recent first, each file once, at most eight; choosing one opens
    // it as Open does; a file that is gone leaves the list.
    void recentRepositoriesKeepTheLastEightFiles() {
        vistrel::StoreRecentRepositories({});
        const QByteArray programSettings =
            QSettings("Morvant", "QRX").value("ProgramSettings").toByteArray();
        QStringList files;
        for (int i = 0; i < 10; ++i) {
            vistrel::CPictureRepository saved;
            saved.AddPicture(i % 2 == 0 ? photoA : photoB);
            files << work.filePath(QStringLiteral("recent-%1.qrx").arg(i));
            QVERIFY(saved.SaveToFile(files.last()));
        }
        CQRXDlg window;
        window.show();
        QVERIFY(RecentEntries(window).isEmpty());
        for (const QString& file : files) {
            QVERIFY(window.OpenRepositoryFile(file));
        }
        QStringList expected;
        for (int i = 9; i >= 2; --i) {
            expected << files[i];
        }
        QCOMPARE(RecentEntries(window), expected);

        // Chosen from the menu, a file is opened and moves to the top; a modified repository
        // is offered for saving first.
        window.Repository().AddPicture(photoC);
        window.RefreshTree();
        QString question;
        AnswerMessageBox(QMessageBox::No, &question);
        RecentEntry(window, files[5])->trigger();
        QCOMPARE(question, QStringLiteral("Do you want to save changes?"));
        QCOMPARE(window.Repository().Paths(), QStringList{photoB});
        QCOMPARE(window.windowFilePath(), files[5]);
        expected.removeAll(files[5]);
        expected.prepend(files[5]);
        QCOMPARE(RecentEntries(window), expected);
        // A second window sees the same list, as the next run will.
        CQRXDlg other;
        QCOMPARE(RecentEntries(other), expected);

        QString message;
        QVERIFY(QFile::remove(files[9]));
        AnswerMessageBox(QMessageBox::Ok, &message);
        RecentEntry(window, files[9])->trigger();
        QVERIFY(message.contains(files[9]));
        expected.removeAll(files[9]);
        QCOMPARE(RecentEntries(window), expected);
        QCOMPARE(window.windowFilePath(), files[5]);  // nothing else changed
        QCOMPARE(window.Repository().Paths(), QStringList{photoB});

        window.Actions().recentRepositories->actions().last()->trigger();  // Clear Menu
        QVERIFY(RecentEntries(window).isEmpty());
        QVERIFY(vistrel::LoadRecentRepositories().isEmpty());
        QCOMPARE(QSettings("Morvant", "QRX").value("ProgramSettings").toByteArray(),
                 programSettings);
    }

    // A FIFO would block the loader for ever behind a dialog that cannot be closed.
    void openAFifoIsRefusedBeforeReading() {
        const QString fifo = work.filePath("fifo.qrx");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoA);
        QString message;
        ChooseFile(fifo);
        AnswerMessageBox(QMessageBox::Ok, &message);
        window.Actions().openRepository->trigger();
        QVERIFY(message.contains("not a regular file"));
        QCOMPARE(window.Repository().GetCount(), 1);
    }

    // Choosing to save and then not saving must not lose the repository, for New and Open.
    void newAndOpenKeepTheRepositoryWhenItIsNotSaved() {
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoA);
        window.RefreshTree();
        AnswerMessageBox(QMessageBox::Yes);
        CancelChooser();  // the save chooser
        window.Actions().newRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 1);
        QVERIFY(window.Repository().IsModified());

        ChooseFile(work.filePath("set.qrx"));
        AnswerMessageBox(QMessageBox::Cancel);
        window.Actions().openRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 1);
        QCOMPARE(TopLevelTexts(*window.Tree()), QStringList{photoA});
    }

    // A second name of a picture already in the repository adds nothing, and a name that cannot
    // be represented exactly is left out with a word to the user.
    void addingAnotherFolderSkipsKnownFilesAndSaysWhatItLeftOut() {
        const QString more = work.filePath("more");
        QVERIFY(QDir().mkpath(more));
        QCOMPARE(::link(QFile::encodeName(photoB).constData(),
                        QFile::encodeName(more + "/b-again.png").constData()),
                 0);
        const int fd = ::open((QFile::encodeName(more) + "/odd\xff.png").constData(),
                              O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoB);
        QString details;
        ChooseFile(more);
        WhenModal<QMessageBox>([&details](QMessageBox* box) {
            details = box->detailedText();
            box->button(QMessageBox::Ok)->click();
        });
        window.Actions().addToRepository->trigger();
        QCOMPARE(window.Repository().Paths(), QStringList{photoB});
        QVERIFY2(details.startsWith(more + ": "), qPrintable(details));
    }

    // A folder the scan cannot read is named to the user once the rest is added.
    void addingAFolderNamesTheFoldersItCouldNotRead() {
        const QString more = work.filePath("unread");
        QVERIFY(QDir().mkpath(more + "/sub"));
        QVERIFY(QFile::copy(photoA, more + "/a.png"));
        // A dangling link named like a folder: the scan cannot read it, whoever runs it.
        QVERIFY(QFile::link(more + "/gone", more + "/sub/lost"));
        CQRXDlg window;
        window.show();
        QString title;
        QString listed;
        ChooseFile(more);
        WhenModal<vistrel::COperationReportDlg>([&](vistrel::COperationReportDlg* report) {
            title = report->windowTitle();
            listed = report->FailedPaths().join(u'\n');
            report->accept();
        });
        window.Actions().addToRepository->trigger();
        QCOMPARE(window.Repository().Paths(), QStringList{more + "/a.png"});
        QCOMPARE(title, QStringLiteral("Add To Repository"));
        QVERIFY2(listed.startsWith(more + "/sub/lost: "), qPrintable(listed));
    }

    void openCancelledChangesNothing() {
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoA);
        window.RefreshTree();
        CancelChooser();
        window.Actions().openRepository->trigger();  // no question: nothing was chosen
        QCOMPARE(window.Repository().GetCount(), 1);
        QVERIFY(window.Repository().IsModified());
    }

    // Cancel in "Opening Repository", pressed as the dialog appears (before its loader can
    // finish): the window keeps its repository, file name, tree and selection as they were.
    void openThenCancelLeavesTheRepositoryAsItWas() {
        vistrel::CPictureRepository other;
        other.AddPicture(photoB);
        const QString otherFile = work.filePath("other.qrx");
        QVERIFY(other.SaveToFile(otherFile));
        vistrel::CPictureRepository first;
        first.AddPicture(photoA);
        first.AddPicture(photoC);
        const QString firstFile = work.filePath("first.qrx");
        QVERIFY(first.SaveToFile(firstFile));

        CQRXDlg window;
        window.show();
        QVERIFY(window.OpenRepositoryFile(firstFile));
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(1));
        const vistrel::CPictureRepository* before = &window.Repository();
        const QStringList treeBefore = TreeText(*window.Tree());
        const QString statusBefore = window.StatusText();

        struct CancelOnShow : QObject {
            bool cancelled = false;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Show && watched->inherits("vistrel::CLoadWaitDlg")) {
                    auto* cancel = watched->findChild<QAbstractButton*>("cancelButton");
                    if (cancel != nullptr) {
                        cancel->click();
                        cancelled = true;
                    }
                }
                return false;
            }
        } canceller;
        qApp->installEventFilter(&canceller);
        QVERIFY(!window.OpenRepositoryFile(otherFile));
        qApp->removeEventFilter(&canceller);
        QVERIFY(canceller.cancelled);
        QCOMPARE(&window.Repository(), before);
        QCOMPARE(window.Repository().Paths(), (QStringList{photoA, photoC}));
        QVERIFY(!window.Repository().IsModified());
        QCOMPARE(window.windowFilePath(), firstFile);
        QCOMPARE(TreeText(*window.Tree()), treeBefore);
        QCOMPARE(window.SelectedPath(), photoC);
        QCOMPARE(window.StatusText(), statusBefore);
    }

    void newRepositoryAsksAboutAModifiedOne() {
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(photoA);
        window.RefreshTree();
        QString question;
        AnswerMessageBox(QMessageBox::No, &question);
        CancelChooser();
        window.Actions().newRepository->trigger();
        QCOMPARE(question, QStringLiteral("Do you want to save changes?"));
        QVERIFY(window.Repository().IsEmpty());
        QVERIFY(!window.Repository().IsModified());
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 0"));
    }

    void searchSimilarLinksOnlyTheTarget() {
        CQRXDlg window;
        window.show();
        for (const QString& path : {photoB, photoACopy, photoC}) {
            window.Repository().AddPicture(path);
        }
        window.RefreshTree();
        ChooseFile(photoA);
        window.Actions().searchSimilar->trigger();
        QCOMPARE(window.Repository().GetCount(), 4);  // the searched picture joined
        const int target = window.Repository().FindPicture(photoA);
        QCOMPARE(target, 3);
        QCOMPARE(window.Repository().GetPicture(target).similar.size(), size_t(1));
        QCOMPARE(window.Repository().GetPicture(1).similar.size(), size_t(1));
        QCOMPARE(window.Repository().GetPicture(0).similar.size(), size_t(0));
    }

    // The picture searched for through a linked folder is the entry the folder's scan made:
    // it is searched for as that entry and selected, not added as its own near-copy.
    void searchSimilarThroughALinkedFolderSearchesTheHeldEntry() {
        const QString linked = work.filePath("linked-photos");
        QVERIFY(QFile::link(photos, linked));
        CQRXDlg window;
        window.show();
        ChooseFile(photos);
        window.Actions().addToRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 4);
        const int held = window.Repository().FindPicture(photoA);
        QVERIFY(held >= 0);
        window.Repository().ClearModified();

        ChooseFile(linked + "/a.png");
        window.Actions().searchSimilar->trigger();
        QCOMPARE(window.Repository().GetCount(), 4);
        const auto& links = window.Repository().GetPicture(held).similar;
        QCOMPARE(links.size(), size_t(1));
        QCOMPARE(window.Repository().GetPicture(links[0].index).path, photoACopy);
        QCOMPARE(window.SelectedPath(), photoA);
        QVERIFY(window.Repository().IsModified());  // new links to save
    }

    // The signature cache the window is given serves every adding of pictures: a folder added,
    // a picture searched for and a repository file opened keep their signatures in it.
    void addSearchAndOpenUseTheWindowsSignatureCache() {
        QTemporaryDir cacheFolder;
        QVERIFY(cacheFolder.isValid());
        const auto cache =
            std::make_shared<vistrel::SignatureCache>(cacheFolder.filePath("signatures.sqlite"));
        QVERIFY2(cache->IsOpen(), qPrintable(cache->Problem()));
        const auto entries = [&cache] {
            cache->Flush();
            return cache->GetStats().entries;
        };
        CQRXDlg window({}, cache);
        window.show();
        ChooseFile(photos + "/trip");
        window.Actions().addToRepository->trigger();
        QCOMPARE(window.Repository().GetCount(), 2);
        QCOMPARE(entries(), 2);

        ChooseFile(photoA);
        window.Actions().searchSimilar->trigger();
        QCOMPARE(window.Repository().GetCount(), 3);
        QCOMPARE(entries(), 3);

        const QString file = work.filePath("cached.qrx");
        QString reason;
        QVERIFY2(window.Repository().SaveToFile(file, &reason), qPrintable(reason));
        window.Repository().ClearModified();
        QVERIFY(cache->Clear());
        QVERIFY(window.OpenRepositoryFile(file));
        QCOMPARE(window.Repository().GetCount(), 3);
        QCOMPARE(entries(), 3);
    }

    void nextSimilarWalksTheTopLevelItems() {
        CQRXDlg window;
        window.show();
        for (const QString& path : {photoB, photoA, photoC, photoACopy}) {
            window.Repository().AddPicture(path);
        }
        window.Repository().AddSimilarPair(vistrel::PairInfo{nullptr, nullptr, 1, 3, 2.0f});
        window.RefreshTree();
        QCOMPARE(window.SelectedPath(), photoB);
        window.Actions().nextSimilar->trigger();
        QCOMPARE(window.SelectedPath(), photoA);
        window.Actions().nextSimilar->trigger();
        QCOMPARE(window.SelectedPath(), photoACopy);
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        window.Actions().nextSimilar->trigger();
        QCOMPARE(message, QStringLiteral("Not found"));
        QCOMPARE(window.SelectedPath(), photoACopy);
        // From a child item only its siblings count, and they have no children.
        window.Tree()->expandItem(window.Tree()->topLevelItem(1));
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(1)->child(0));
        message.clear();
        AnswerMessageBox(QMessageBox::Ok, &message);
        window.Actions().nextSimilar->trigger();
        QCOMPARE(message, QStringLiteral("Not found"));
    }

    void removeLeavesNoItemOfTheRemovedPicture() {
        CQRXDlg window;
        window.show();
        for (const QString& path : {photoB, photoA, photoC, photoACopy}) {
            window.Repository().AddPicture(path);
        }
        window.Repository().AddSimilarPair(vistrel::PairInfo{nullptr, nullptr, 1, 3, 2.0f});
        window.Repository().AddSimilarPair(vistrel::PairInfo{nullptr, nullptr, 0, 1, 2.0f});
        window.RefreshTree();
        QCOMPARE(TreeText(*window.Tree()).size(), 8);  // the child items made

        // A top-level item: its own item and every child naming it go.
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(1));
        window.Actions().removeFromRepository->trigger();
        QCOMPARE(window.Repository().FindPicture(photoA), -1);
        QCOMPARE(TreeText(*window.Tree()), (QStringList{photoB, photoC, photoACopy}));
        QVERIFY(QFileInfo::exists(photoA));  // the file on disk is not touched

        // A child item: the picture it names goes, with its own top-level item.
        window.Repository().AddSimilarPair(vistrel::PairInfo{nullptr, nullptr, 0, 2, 2.0f});
        window.RefreshTree();
        window.Tree()->expandItem(window.Tree()->topLevelItem(0));
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(0)->child(0));
        QCOMPARE(window.SelectedPath(), photoACopy);
        window.Actions().removeFromRepository->trigger();
        QCOMPARE(TreeText(*window.Tree()), (QStringList{photoB, photoC}));
        QCOMPARE(window.Repository().GetCount(), 2);
        for (const QString& path : TopLevelTexts(*window.Tree())) {
            QVERIFY(window.Repository().FindPicture(path) >= 0);
        }
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 2"));
    }
};

VISTREL_WIDGET_TEST_MAIN(RepositoryCommandsTest)

#include "RepositoryCommandsTest.moc"
