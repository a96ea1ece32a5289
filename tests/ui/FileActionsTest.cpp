// The main window's file commands, bulk deletions, help and About as a user meets them: the
// questions, the desktop trash (in a private data folder), the report of files left behind and
// the help file's path.

#include "VistrelVersion.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/OperationReportDlg.h"
#include "mainwindow/HelpFileLocation.h"
#include "mainwindow/QRXDlg.h"
#include "marks/NotSimilarMarks.h"
#include "support/FolderTest.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/WidgetHelpers.h"
#include "support/WidgetTestMain.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

namespace vistrel {
namespace {

using test::InTrash;
using test::Link;
using test::ModalUser;

// Takes the desktop's "open this URL" for file URLs and records them, so that no program starts.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

// Restores the working directory when the test ends.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const QString& path) : previous(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~WorkingDirectory() { QDir::setCurrent(previous); }

private:
    QString previous;
};

}  // namespace

class FileActionsTest : public test::FolderTest {
    Q_OBJECT

private:
    QString Picture(const QString& name, std::uint32_t seed) {
        return test::WritePhoto(*folder, name, 40, 30, seed);
    }
    QString Damaged(const QString& name) {
        const QString path = folder->filePath(name);
        test::WriteBytes(path, QByteArray("no picture in here"));
        return path;
    }
    static QTreeWidgetItem* Item(CQRXDlg& window, const QString& path, bool child = false) {
        for (int i = 0; i < window.Tree()->topLevelItemCount(); ++i) {
            window.Tree()->expandItem(window.Tree()->topLevelItem(i));  // makes the child items
        }
        const QList<QTreeWidgetItem*> found =
            window.Tree()->findItems(path, Qt::MatchExactly | Qt::MatchRecursive);
        for (QTreeWidgetItem* item : found) {
            if ((item->parent() != nullptr) == child) {
                return item;
            }
        }
        return nullptr;
    }
    static void Select(CQRXDlg& window, const QString& path, bool child = false) {
        QTreeWidgetItem* item = Item(window, path, child);
        QVERIFY(item != nullptr);
        window.Tree()->setCurrentItem(item);
        QCOMPARE(window.SelectedPath(), path);
    }

private slots:
    void deleteFileAnsweredNoKeepsFileAndEntry() {
        CQRXDlg window;
        const QString path = Picture(QStringLiteral("keep me.png"), 1);
        window.Repository().AddPicture(path);
        window.RefreshTree();
        Select(window, path);
        ModalUser user({QMessageBox::No});
        window.DeleteFile();
        QCOMPARE(user.boxes.size(), std::size_t{1});
        QCOMPARE(user.boxes[0].title, QStringLiteral("Delete File"));
        QVERIFY(user.boxes[0].text.contains(path));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(!InTrash(path));
        QCOMPARE(window.Repository().FindPicture(path), 0);
        QVERIFY(Item(window, path) != nullptr);
    }

    void deleteFileAnsweredYesTrashesFileAndEntry() {
        CQRXDlg window;
        const QString stays = Picture(QStringLiteral("stays.png"), 1);
        const QString goes = Picture(QStringLiteral("goes #1.png"), 2);
        window.Repository().AddPicture(stays);
        window.Repository().AddPicture(goes);
        window.RefreshTree();
        Select(window, goes);
        ModalUser user({QMessageBox::Yes});
        window.DeleteFile();
        QCOMPARE(user.boxes.size(), std::size_t{1});
        QVERIFY(!QFileInfo::exists(goes));
        QVERIFY(InTrash(goes));
        QCOMPARE(window.Repository().FindPicture(goes), -1);
        QCOMPARE(window.Repository().GetCount(), 1);
        QVERIFY(window.Repository().IsModified());
        QVERIFY(Item(window, goes) == nullptr);
        QVERIFY(Item(window, stays) != nullptr);
        QVERIFY(QFileInfo::exists(stays));
    }

    // Deep in a long list the user stays where they were: Delete File selects the next picture
    // (the previous one at the end), Undo keeps the selection, and the list does not scroll.
    void deleteFileAndUndoKeepTheUsersPlace() {
        CQRXDlg window;
        QStringList paths;
        for (int i = 0; i < 40; ++i) {
            paths << Picture(QStringLiteral("%1.png").arg(i, 2, 10, QLatin1Char('0')), 1);
            window.Repository().AddPicture(paths.last());
        }
        window.RefreshTree();
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeWidget* tree = window.Tree();
        QScrollBar* scroll = tree->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        tree->scrollToItem(tree->topLevelItem(22), QAbstractItemView::PositionAtTop);
        const int position = scroll->value();
        QVERIFY(position > 0);
        Select(window, paths[24]);
        QCOMPARE(scroll->value(), position);
        {
            ModalUser user({QMessageBox::Yes});
            window.Actions().deleteFile->trigger();
        }
        QVERIFY(InTrash(paths[24]));
        QCOMPARE(window.SelectedPath(), paths[25]);
        QCOMPARE(scroll->value(), position);

        window.Actions().undoTrash->trigger();
        QVERIFY(QFileInfo::exists(paths[24]));
        QCOMPARE(window.SelectedPath(), paths[25]);
        QCOMPARE(scroll->value(), position);

        // The last picture's neighbour is the one before it (the picture put back came last).
        const int last = tree->topLevelItemCount() - 1;
        const QString before = tree->topLevelItem(last - 1)->text(0);
        Select(window, tree->topLevelItem(last)->text(0));
        const int atEnd = scroll->value();
        QVERIFY(atEnd > position);
        {
            ModalUser user({QMessageBox::Yes});
            window.Actions().deleteFile->trigger();
        }
        QCOMPARE(window.SelectedPath(), before);
        QVERIFY(scroll->value() > position);
        QVERIFY(tree->viewport()->rect().contains(tree->visualItemRect(tree->currentItem())));
    }

    void deleteFileOnChildItemDeletesThePictureItNames() {
        CQRXDlg window;
        const QString parent = Picture(QStringLiteral("parent.png"), 1);
        const QString similar = Picture(QStringLiteral("similar.png"), 2);
        window.Repository().AddPicture(parent);
        window.Repository().AddPicture(similar);
        Link(window, 0, 1);
        window.RefreshTree();
        Select(window, similar, /*child=*/true);
        QCOMPARE(window.Tree()->currentItem()->parent()->text(0), parent);
        ModalUser user({QMessageBox::Yes});
        window.DeleteFile();
        QVERIFY(InTrash(similar));
        QVERIFY(QFileInfo::exists(parent));
        QCOMPARE(window.Repository().GetCount(), 1);
        QVERIFY(window.Repository().GetPicture(0).similar.empty());
        QVERIFY(Item(window, similar, true) == nullptr);
        QVERIFY(Item(window, similar, false) == nullptr);
    }

    void deleteFileWarnsWhenNoOtherPictureOfTheGroupCanBeRead() {
        CQRXDlg window;
        const QString a = Picture(QStringLiteral("a.png"), 1);
        const QString b = Picture(QStringLiteral("b.png"), 2);
        const QString c = Picture(QStringLiteral("c.png"), 3);
        for (const QString& path : {a, b, c}) {
            window.Repository().AddPicture(path);
        }
        // One group through b: a - b - c.
        Link(window, 0, 1);
        Link(window, 1, 2);
        window.RefreshTree();
        Select(window, a);
        const QString question = QStringLiteral("Move \"%1\" to the trash?").arg(a);
        {
            ModalUser user({QMessageBox::No});
            window.DeleteFile();
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QCOMPARE(user.boxes[0].text, question);
            QCOMPARE(user.boxes[0].defaultButton, QMessageBox::Yes);
        }
        // b is gone and c is no picture any more: a is the only copy that can still be read.
        QVERIFY(QFile::remove(b));
        QVERIFY(test::WriteBytes(c, QByteArray("not a picture now")));
        {
            ModalUser user({QMessageBox::No});
            window.DeleteFile();
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QVERIFY(user.boxes[0].text.startsWith(question));
            QVERIFY(user.boxes[0].text.contains(QStringLiteral("last copy")));
            QCOMPARE(user.boxes[0].defaultButton, QMessageBox::No);
        }
        QVERIFY(QFileInfo::exists(a));
        QCOMPARE(window.Repository().GetCount(), 3);
    }

    void aPictureInAReferenceFolderGoesOnlyByDeleteFileAskedOnItsOwn() {
        QVERIFY(QDir(folder->path()).mkpath(QStringLiteral("archive")));
        UserSettings settings;
        settings.referenceFolders = {folder->filePath(QStringLiteral("archive"))};
        CQRXDlg window(settings);
        const QString kept = Picture(QStringLiteral("archive/a.png"), 1);
        const QString loose = Picture(QStringLiteral("a.png"), 1);
        window.Repository().AddPicture(kept);
        window.Repository().AddPicture(loose);
        Link(window, 0, 1);
        window.RefreshTree();
        QVERIFY(window.StatusText().endsWith(QStringLiteral("\u00b7 1 protected")));
        // Move Left/Right to Trash: refused, with the reason.
        {
            ModalUser user({QMessageBox::Ok});
            QVERIFY(!window.TrashPictureFile(kept, &window));
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QVERIFY(user.boxes[0].text.contains(settings.referenceFolders[0]));
        }
        QVERIFY(QFileInfo::exists(kept));
        // Delete File asks its own question, No first.
        Select(window, kept);
        const QString question =
            QStringLiteral(
                "\"%1\" lies in the reference folder \"%2\". Move it to the trash anyway?")
                .arg(kept, settings.referenceFolders[0]);
        {
            ModalUser user({QMessageBox::No});
            window.DeleteFile();
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QCOMPARE(user.boxes[0].text, question);
            QCOMPARE(user.boxes[0].defaultButton, QMessageBox::No);
        }
        QVERIFY(QFileInfo::exists(kept));
        {
            ModalUser user({QMessageBox::Yes});
            window.DeleteFile();
            QCOMPARE(user.boxes.size(), std::size_t{1});
        }
        QVERIFY(InTrash(kept));
        QCOMPARE(window.Repository().FindPicture(kept), -1);
    }

    void deleteFileThatCannotBeMovedKeepsTheEntryAndSaysSo() {
        CQRXDlg window;
        const QString path = Picture(QStringLiteral("vanishing.png"), 1);
        window.Repository().AddPicture(path);
        window.RefreshTree();
        Select(window, path);
        QVERIFY(QFile::remove(path));
        ModalUser user({QMessageBox::Yes, QMessageBox::Ok});
        window.DeleteFile();
        QCOMPARE(user.boxes.size(), std::size_t{2});
        QCOMPARE(user.boxes[1].title, QStringLiteral("Delete File"));
        QVERIFY(user.boxes[1].text.contains(path));
        QCOMPARE(window.Repository().FindPicture(path), 0);
        QVERIFY(Item(window, path) != nullptr);
    }

    void openFileOpensTheSelectedPictureWithTheDesktop() {
        CQRXDlg window;
        const QString path = Picture(QStringLiteral("open.png"), 1);
        window.Repository().AddPicture(path);
        window.RefreshTree();
        Select(window, path);
        UrlRecorder recorder;
        ModalUser user({});
        window.OpenFile();
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(path)});
        QVERIFY(user.boxes.empty());
    }

    void findFileWithoutFileManagerOpensTheFolder() {
        // main() points the session bus nowhere, so no file manager can answer.
        CQRXDlg window;
        const QString path = Picture(QStringLiteral("find.png"), 1);
        window.Repository().AddPicture(path);
        window.RefreshTree();
        Select(window, path);
        UrlRecorder recorder;
        ModalUser user({});
        window.FindFile();
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(folder->path())});
        QVERIFY(user.boxes.empty());
    }

    void helpFileWithoutHelpFolderNamesThePathItLookedFor() {
        WorkingDirectory here(folder->path());
        CQRXDlg window;
        UrlRecorder recorder;
        ModalUser user({QMessageBox::Ok});
        window.HelpFile();
        QCOMPARE(user.boxes.size(), std::size_t{1});
        QCOMPARE(user.boxes[0].title, QStringLiteral("Opening Help File"));
        QCOMPARE(user.boxes[0].text,
                 QStringLiteral("Couldn't open help file \"%1/help/QRXHelp.html\"")
                     .arg(QDir::currentPath()));
        QVERIFY(recorder.opened.isEmpty());
    }

    void helpFileOpensTheCopyInTheWorkingDirectory() {
        WorkingDirectory here(folder->path());
        QVERIFY(QDir(folder->path()).mkdir(QStringLiteral("help")));
        const QString help = folder->filePath(QStringLiteral("help/QRXHelp.html"));
        QVERIFY(test::WriteBytes(help, QByteArray("<html></html>")));
        CQRXDlg window;
        UrlRecorder recorder;
        ModalUser user({});
        window.HelpFile();
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(help)});
        QVERIFY(user.boxes.empty());
    }

    void helpFilePathPrefersTheWorkingDirectoryThenTheInstalledCopy() {
        const QString work = folder->filePath(QStringLiteral("work"));
        const QString prefix = folder->filePath(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(work));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
        const QString local = work + QStringLiteral("/help/QRXHelp.html");
        const QString installed = prefix + QStringLiteral("/share/vistrel/help/QRXHelp.html");
        const QString bin = prefix + QStringLiteral("/bin");
        // Neither: the working-directory path, to name in the message.
        QCOMPARE(HelpFilePath(work, bin), local);
        QVERIFY(QDir().mkpath(QFileInfo(installed).path()));
        QVERIFY(test::WriteBytes(installed, QByteArray("installed")));
        QCOMPARE(HelpFilePath(work, bin), installed);
        QVERIFY(QDir().mkpath(QFileInfo(local).path()));
        QVERIFY(test::WriteBytes(local, QByteArray("local")));
        QCOMPARE(HelpFilePath(work, bin), local);
    }

    void deleteAllSimilarAnsweredNoDeletesNothing() {
        CQRXDlg window;
        const QString a = Picture(QStringLiteral("a.png"), 1);
        const QString b = Picture(QStringLiteral("b.png"), 2);
        window.Repository().AddPicture(a);
        window.Repository().AddPicture(b);
        Link(window, 0, 1);
        window.RefreshTree();
        const int items = window.Tree()->topLevelItemCount();
        ModalUser user({QMessageBox::No});
        window.DeleteAllSimilar();
        QCOMPARE(user.boxes.size(), std::size_t{1});
        QCOMPARE(user.boxes[0].title, QStringLiteral("Delete All Similar Pictures"));
        QCOMPARE(user.boxes[0].text,
                 QStringLiteral("All similar pictures will be deleted.\nContinue?"));
        QVERIFY(QFileInfo::exists(a));
        QVERIFY(QFileInfo::exists(b));
        QCOMPARE(window.Repository().GetCount(), 2);
        QCOMPARE(window.Repository().GetPicture(0).similar.size(), std::size_t{1});
        QCOMPARE(window.Tree()->topLevelItemCount(), items);
        QVERIFY(user.reports.empty());
    }

    void deleteAllSimilarReportsTheFileThatStayed() {
        CQRXDlg window;
        const QString x = Picture(QStringLiteral("x.png"), 1);
        const QString y = Picture(QStringLiteral("y.png"), 2);
        const QString z = Picture(QStringLiteral("z.png"), 3);
        const QString w = Picture(QStringLiteral("w.png"), 4);
        for (const QString& path : {x, y, z, w}) {
            window.Repository().AddPicture(path);
        }
        Link(window, 0, 1);
        Link(window, 1, 2);
        window.RefreshTree();
        Link(window, 2, 3);
        // Y is gone since the test: x may now be the last copy of its picture, and stays.
        QVERIFY(QFile::remove(y));
        ModalUser user({QMessageBox::Yes});
        window.DeleteAllSimilar();
        QVERIFY(QFileInfo::exists(x));
        QVERIFY(InTrash(z));
        QVERIFY(InTrash(w));
        QCOMPARE(user.reports, std::vector<QString>{x + QLatin1Char('\n') + y + QLatin1Char('\n')});
        QCOMPARE(window.Repository().GetCount(), 2);
        QVERIFY(window.Repository().GetPicture(window.Repository().FindPicture(y)).marked);
        QVERIFY(!window.Repository().HasSimilar());
        QCOMPARE(window.Tree()->topLevelItemCount(), 2);
    }

    void undoPutsBackTheLastCleanUpButNeverOverAFileThatTookItsPlace() {
        CQRXDlg window;
        const QString a = Picture(QStringLiteral("a 100%.png"), 1);
        const QString b = Picture(QStringLiteral("b.png"), 2);
        const QString c = Picture(QStringLiteral("c.png"), 3);
        for (const QString& path : {a, b, c}) {
            window.Repository().AddPicture(path);
        }
        const SignatureBytes signatureOfA = window.Repository().GetPicture(0).signature;
        Link(window, 0, 1);
        window.RefreshTree();
        QVERIFY(!window.Actions().undoTrash->isEnabled());
        ModalUser user({QMessageBox::Yes});
        window.DeleteAllSimilar();
        QVERIFY(InTrash(a) && InTrash(b));
        QVERIFY(window.Actions().undoTrash->isEnabled());
        // Another file now stands where b was: it must survive the undo untouched.
        QVERIFY(test::WriteBytes(b, QByteArray("the user's new file")));

        window.Actions().undoTrash->trigger();
        QCOMPARE(user.reports, std::vector<QString>{b + QLatin1Char('\n')});
        QVERIFY(QFileInfo::exists(a) && !InTrash(a));
        QVERIFY(InTrash(b));
        QFile kept(b);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's new file"));
        const std::int32_t restored = window.Repository().FindPicture(a);
        QVERIFY(restored >= 0);
        QVERIFY(window.Repository().GetPicture(restored).signature == signatureOfA);
        QCOMPARE(window.Repository().FindPicture(b), -1);
        QVERIFY(Item(window, a) != nullptr);
        // Undo is for the last clean-up only, once.
        QVERIFY(!window.Actions().undoTrash->isEnabled());
    }

    void markedPairLeavesTheResultsAndUndoTakesBackMarksAndMovesInTurn() {
        auto marks =
            std::make_shared<NotSimilarMarks>(folder->filePath(QStringLiteral("marks.sqlite")));
        QVERIFY(marks->IsOpen());
        CQRXDlg window({}, nullptr, marks);
        // A picture and its JPEG copy: near-copies with signatures of their own.
        const QImage photo = test::MakePhotoLike(40, 30, 1);
        const QString a = folder->filePath(QStringLiteral("a.png"));
        const QString b = folder->filePath(QStringLiteral("b.jpg"));
        QVERIFY(test::WritePicture(photo, test::PictureFormat::Png, a));
        QVERIFY(test::WritePicture(photo, test::PictureFormat::Jpeg, b));
        const QString c = Picture(QStringLiteral("c.png"), 2);
        for (const QString& path : {a, b, c}) {
            window.Repository().AddPicture(path);
        }
        window.TestRepository();
        QCOMPARE(test::TreeText(*window.Tree()),
                 (QStringList{a, QStringLiteral("  ") + b, b, QStringLiteral("  ") + a, c}));
        Select(window, c);
        {
            ModalUser user({QMessageBox::Yes});
            window.Actions().deleteFile->trigger();
        }
        QVERIFY(InTrash(c));

        Select(window, b, true);
        QVERIFY(window.Actions().markNotSimilar->isEnabled());
        window.Actions().markNotSimilar->trigger();
        QCOMPARE(test::TreeText(*window.Tree()), (QStringList{a, b}));
        QVERIFY(window.GroupsText().isEmpty());
        QCOMPARE(marks->Count(), 1);
        QCOMPARE(window.Actions().undoTrash->text(), QStringLiteral("&Undo Mark as Not Similar"));
        // The next test leaves the marked pair out.
        window.TestRepository();
        QVERIFY(!window.Repository().HasSimilar());

        window.Actions().undoTrash->trigger();
        QCOMPARE(marks->Count(), 0);
        QCOMPARE(test::TreeText(*window.Tree()),
                 (QStringList{a, QStringLiteral("  ") + b, b, QStringLiteral("  ") + a}));
        QCOMPARE(window.Actions().undoTrash->text(), QStringLiteral("&Undo Move to Trash"));
        // The Undo key still puts back the file moved before the mark.
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(QFileInfo::exists(c) && !InTrash(c));
        QVERIFY(window.Repository().FindPicture(c) >= 0);
        QVERIFY(!window.Actions().undoTrash->isEnabled());
    }

    void deleteAllDamagedTrashesThemWithoutReportWhenAllWent() {
        CQRXDlg window;
        const QString good = Picture(QStringLiteral("good.png"), 1);
        const QString bad = Damaged(QStringLiteral("bad.png"));
        window.Repository().AddPicture(good);
        window.Repository().AddPicture(bad);
        window.RefreshTree();
        QVERIFY(window.Repository().GetPicture(1).loadError);
        ModalUser user({QMessageBox::Yes});
        window.DeleteAllDamaged();
        QCOMPARE(user.boxes.size(), std::size_t{1});
        QCOMPARE(user.boxes[0].title, QStringLiteral("Delete All Damaged Pictures"));
        QCOMPARE(
            user.boxes[0].text,
            QStringLiteral("All pictures that couldn't be loaded will be deleted.\nContinue?"));
        QVERIFY(InTrash(bad));
        QVERIFY(QFileInfo::exists(good));
        QVERIFY(user.reports.empty());
        QCOMPARE(window.Repository().GetCount(), 1);
        QCOMPARE(window.Tree()->topLevelItemCount(), 1);
        QCOMPARE(window.Tree()->topLevelItem(0)->text(0), good);
    }

    void reportDialogListsEveryPathOnItsOwnLine() {
        COperationReportDlg dialog({QStringLiteral("/p/one.jpg"), QStringLiteral("/p/two.png")});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Delete Operation Status"));
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            labels.append(label->text());
        }
        QCOMPARE(labels, QStringList{QStringLiteral("Could not delete the files:")});
        const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons[0]->text(), QStringLiteral("Close"));
        QCOMPARE(dialog.PathList()->toPlainText(), QStringLiteral("/p/one.jpg\n/p/two.png\n"));
        QVERIFY(!dialog.PathList()->isReadOnly());
        dialog.show();
        buttons[0]->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void aboutBoxShowsNameVersionBannerAndIcon() {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Vistrel"));
        auto* name = about.findChild<QLabel*>(QStringLiteral("nameAndVersion"));
        auto* second = about.findChild<QLabel*>(QStringLiteral("secondLine"));
        auto* banner = about.findChild<QLabel*>(QStringLiteral("banner"));
        QVERIFY(name && second && banner);
        QCOMPARE(name->text(), QStringLiteral("Vistrel Version ") + QLatin1String(kVistrelVersion));
        QVERIFY(!second->text().isEmpty());
        QVERIFY(!banner->pixmap().isNull());
        QVERIFY(about.width() >= banner->pixmap().width());
        QVERIFY(!QIcon(QStringLiteral(":/icons/vistrel.png")).isNull());
        about.show();
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::FileActionsTest)

#include "FileActionsTest.moc"
