// The Compare Side by Side window as a user meets it: the facts and factor of a pair, stepping
// through every pair with the keys, a file gone since the test, and moving a file to the trash
// (in a private data folder) on to the next pair.

#include "common/FileSizeText.h"
#include "compare/ComparePanel.h"
#include "compare/ComparePicture.h"
#include "compare/CompareWindow.h"
#include "mainwindow/QRXDlg.h"
#include "marks/NotSimilarMarks.h"
#include "repository/SimilarPairs.h"
#include "support/FolderTest.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/WidgetHelpers.h"
#include "support/WidgetTestMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <set>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {
namespace {

using test::PictureFormat;

using test::Link;
using test::ModalUser;

bool IsBold(const QLabel* label) {
    return label->font().bold();
}

}  // namespace

class CompareWindowTest : public test::FolderTest {
    Q_OBJECT

private:
    QString Picture(const QString& name, int width, int height, PictureFormat format,
                    std::uint32_t seed) {
        return test::WritePhoto(*folder, name, width, height, seed, format);
    }
    // Writes `count` small pictures, 0.png on, and adds them to the window's repository.
    QStringList AddPictures(CQRXDlg& window, int count) {
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            paths.append(Picture(QStringLiteral("%1.png").arg(i), 30, 20, PictureFormat::Png, i));
            window.Repository().AddPicture(paths.back());
        }
        return paths;
    }
    // Selects `child` under `parent` in the tree and runs Compare Side by Side. Only the child
    // is selected, so that the main window's preview never tries the parent's picture.
    static CompareWindow* Compare(CQRXDlg& window, const QString& parent, const QString& child) {
        window.RefreshTree();
        QTreeWidget* tree = window.Tree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* top = tree->topLevelItem(i);
            if (top->text(0) != parent) {
                continue;
            }
            tree->expandItem(top);
            for (int k = 0; k < top->childCount(); ++k) {
                if (top->child(k)->text(0) == child) {
                    tree->setCurrentItem(top->child(k));
                }
            }
        }
        if (!window.Actions().compareSideBySide->isEnabled()) {
            return nullptr;
        }
        window.Actions().compareSideBySide->trigger();
        return window.findChild<CompareWindow*>();
    }
    static std::pair<QString, QString> Shown(const CompareWindow& compare) {
        return {compare.Path(CompareWindow::kLeft), compare.Path(CompareWindow::kRight)};
    }

private slots:
    void showsFactsOfPairWithBetterMarked() {
        CQRXDlg window;
        // The left one has more pixels and the older date, the right one the larger file, which
        // makes it no better.
        const QString left = Picture(QStringLiteral("left.jpg"), 80, 60, PictureFormat::Jpeg, 1);
        const QString right = Picture(QStringLiteral("right.bmp"), 70, 50, PictureFormat::Bmp, 2);
        QFile older(left);
        QVERIFY(older.open(QIODevice::ReadWrite));
        QVERIFY(older.setFileTime(QDateTime::currentDateTime().addDays(-30),
                                  QFileDevice::FileModificationTime));
        older.close();
        QVERIFY(QFileInfo(right).size() > QFileInfo(left).size());
        window.Repository().AddPicture(left);
        window.Repository().AddPicture(right);
        Link(window, 0, 1, 12.7f);
        window.RefreshTree();
        // A picture with no parent item makes no pair.
        QVERIFY(window.Tree()->currentItem()->parent() == nullptr);
        QVERIFY(!window.Actions().compareSideBySide->isEnabled());

        CompareWindow* compare = Compare(window, left, right);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        QCOMPARE(Shown(*compare), std::make_pair(left, right));
        QCOMPARE(compare->FactorLabel()->text(), QStringLiteral("Difference factor: 9.4"));
        const ComparePanel* l = compare->Panel(CompareWindow::kLeft);
        const ComparePanel* r = compare->Panel(CompareWindow::kRight);
        QCOMPARE(l->DimensionsLabel()->text(), QStringLiteral("80 x 60 pixels"));
        QCOMPARE(r->DimensionsLabel()->text(), QStringLiteral("70 x 50 pixels"));
        QCOMPARE(l->FileSizeLabel()->text(), FileSizeText(QFileInfo(left).size()));
        QCOMPARE(r->FileSizeLabel()->text(), FileSizeText(QFileInfo(right).size()));
        QCOMPARE(l->FormatLabel()->text(), QStringLiteral("JPEG"));
        QCOMPARE(r->FormatLabel()->text(), QStringLiteral("BMP"));
        QVERIFY(IsBold(l->DimensionsLabel()) && !IsBold(r->DimensionsLabel()));
        QVERIFY(!IsBold(l->FileSizeLabel()) && !IsBold(r->FileSizeLabel()));
        QVERIFY(IsBold(l->ModifiedLabel()) && !IsBold(r->ModifiedLabel()));
        // Both decoded whole, not reduced as the preview is.
        QCOMPARE(compare->View(CompareWindow::kLeft)->Picture().FullSize(), QSize(80, 60));
        QCOMPARE(compare->View(CompareWindow::kRight)->Picture().FullSize(), QSize(70, 50));
        QVERIFY(l->TrashButton()->isEnabled() && r->TrashButton()->isEnabled());

        // A copy found turned is shown lying as the picture it is compared with.
        for (const int entry : {0, 1}) {
            window.Repository().GetPicture(entry).similar.clear();
        }
        window.Repository().AddSimilarPair(
            CPictureRepository::PairInfo{nullptr, nullptr, 0, 1, 12.7f, Orientation::Rot90});
        window.RefreshTree();
        compare = Compare(window, left, right);
        QTRY_VERIFY(!compare->IsLoading());
        QVERIFY(compare->FactorLabel()->text().endsWith("shown turned to match"));
        QCOMPARE(compare->View(CompareWindow::kLeft)->Picture().FullSize(), QSize(80, 60));
        QCOMPARE(compare->View(CompareWindow::kRight)->Picture().FullSize(), QSize(50, 70));
    }

    void nextPairKeyWalksEveryPairOnceAndWraps() {
        CQRXDlg window;
        const QStringList paths = AddPictures(window, 4);
        Link(window, 0, 1);
        Link(window, 2, 3);
        Link(window, 1, 2);
        Link(window, 0, 3);
        // From the pair chosen in the tree, its entries either way round.
        CompareWindow* compare = Compare(window, paths[2], paths[1]);
        QVERIFY(compare != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(compare));
        std::set<std::pair<QString, QString>> seen{{paths[1], paths[2]}};
        QStringList notes;
        // Entry 0's pairs come first: the pair chosen is the third of four.
        QStringList places{compare->PairLabel()->text()};
        for (int step = 0; step < 4; ++step) {
            QTest::keyClick(compare, Qt::Key_N);
            seen.insert(Shown(*compare));
            notes.append(compare->NoteLabel()->text());
            places.append(compare->PairLabel()->text());
        }
        QCOMPARE(places, QStringList({QStringLiteral("Pair 3 of 4"), QStringLiteral("Pair 4 of 4"),
                                      QStringLiteral("Pair 1 of 4"), QStringLiteral("Pair 2 of 4"),
                                      QStringLiteral("Pair 3 of 4")}));
        // Four pairs, each once, by entry and then by the order of its links; back at the start.
        QCOMPARE(seen.size(), std::size_t{4});
        QCOMPARE(Shown(*compare), std::make_pair(paths[1], paths[2]));
        QVERIFY(seen.count({paths[0], paths[1]}) && seen.count({paths[0], paths[3]}) &&
                seen.count({paths[2], paths[3]}));
        QCOMPARE(notes, QStringList({QString(), QStringLiteral("Back at the first pair."),
                                     QString(), QString()}));
        QTest::keyClick(compare, Qt::Key_PageUp);
        QCOMPARE(Shown(*compare), std::make_pair(paths[0], paths[3]));
        QTest::keyClick(compare, Qt::Key_Escape);
        QVERIFY(!compare->isVisible());
    }

    void vanishedFileShownMissing() {
        CQRXDlg window;
        const QString stays = Picture(QStringLiteral("stays.png"), 30, 20, PictureFormat::Png, 1);
        const QString gone = Picture(QStringLiteral("gone.png"), 30, 20, PictureFormat::Png, 2);
        window.Repository().AddPicture(stays);
        window.Repository().AddPicture(gone);
        Link(window, 0, 1);
        QVERIFY(QFile::remove(gone));
        CompareWindow* compare = Compare(window, gone, stays);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        const ComparePanel* missing = compare->Panel(CompareWindow::kLeft);
        QCOMPARE(missing->DimensionsLabel()->text(), QStringLiteral("The file is missing."));
        QVERIFY(!missing->TrashButton()->isEnabled());
        QVERIFY(compare->Panel(CompareWindow::kRight)->TrashButton()->isEnabled());
        QVERIFY(compare->View(CompareWindow::kLeft)
                    ->Message()
                    .startsWith(QStringLiteral("Cannot show this picture: ")));
        // Nothing to mark against a file that is not there.
        QVERIFY(!IsBold(compare->Panel(CompareWindow::kRight)->DimensionsLabel()));
    }

    void earlierDateMarkedOnlyASecondOrMoreApart() {
        CQRXDlg window;
        const QString first = Picture(QStringLiteral("first.png"), 30, 20, PictureFormat::Png, 1);
        const QString second = Picture(QStringLiteral("second.png"), 30, 20, PictureFormat::Png, 1);
        window.Repository().AddPicture(first);
        window.Repository().AddPicture(second);
        Link(window, 0, 1);
        const QDateTime when = QDateTime::currentDateTime().addDays(-3);
        const auto touch = [&](const QString& path, qint64 msecs) {
            QFile file(path);
            return file.open(QIODevice::ReadWrite) &&
                   file.setFileTime(when.addMSecs(msecs), QFileDevice::FileModificationTime);
        };
        // Within one second: a copy's stamp that lags the original's by a fraction is the same
        // date, neither earlier.
        QVERIFY(touch(first, 100) && touch(second, 700));
        CompareWindow* compare = Compare(window, first, second);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        const ComparePanel* l = compare->Panel(CompareWindow::kLeft);
        const ComparePanel* r = compare->Panel(CompareWindow::kRight);
        QVERIFY(!IsBold(l->ModifiedLabel()) && !IsBold(r->ModifiedLabel()));
        compare->close();
        // Two seconds apart: the earlier one is marked.
        QVERIFY(touch(second, 2100));
        compare = Compare(window, first, second);
        QTRY_VERIFY(!compare->IsLoading());
        QVERIFY(IsBold(l->ModifiedLabel()) && !IsBold(r->ModifiedLabel()));
    }

    void unopenableFileShownWithItsReason() {
        const QString fifo = folder->filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(LoadComparePicture(fifo).error, QStringLiteral("it is not a regular file."));
        const QString locked = Picture(QStringLiteral("locked.png"), 30, 20, PictureFormat::Png, 1);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        if (::access(QFile::encodeName(locked).constData(), R_OK) == 0) {
            QSKIP("this user reads files whatever their permissions");
        }
        QCOMPARE(LoadComparePicture(locked).error,
                 QStringLiteral("the file cannot be opened: Permission denied."));
    }

    void trashMovesOnToNextPairThatRemains() {
        CQRXDlg window;
        const QStringList paths = AddPictures(window, 4);
        Link(window, 0, 1);
        Link(window, 1, 2);
        Link(window, 2, 3, 7);
        CompareWindow* compare = Compare(window, paths[0], paths[1]);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        {
            ModalUser user({QMessageBox::Yes});
            compare->Panel(CompareWindow::kRight)->TrashButton()->click();
            QCOMPARE(user.boxes.size(), std::size_t{1});
        }
        // The entries after the one that went have moved up; the window shows, by path, the
        // next pair without it, and its own factor.
        QVERIFY(!QFileInfo::exists(paths[1]));
        QCOMPARE(window.Repository().FindPicture(paths[1]), -1);
        QCOMPARE(Shown(*compare), std::make_pair(paths[2], paths[3]));
        QCOMPARE(compare->FactorLabel()->text(), QStringLiteral("Difference factor: 5.5"));
        QVERIFY(compare->isVisible());
        QTRY_VERIFY(!compare->IsLoading());
        // The last pair gone, the window closes.
        {
            ModalUser user({QMessageBox::Yes});
            compare->Panel(CompareWindow::kLeft)->TrashButton()->click();
        }
        QVERIFY(!compare->isVisible());
        QCOMPARE(window.Repository().GetCount(), 2);
    }

    void markKeyMarksThePairAndMovesOnToTheNextPair() {
        auto marks =
            std::make_shared<NotSimilarMarks>(folder->filePath(QStringLiteral("marks.sqlite")));
        CQRXDlg window({}, nullptr, marks);
        const QStringList paths = AddPictures(window, 3);
        Link(window, 0, 1);
        Link(window, 1, 2, 7);
        CompareWindow* compare = Compare(window, paths[0], paths[1]);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        QTest::keyClick(compare, Qt::Key_M);
        QCOMPARE(marks->Count(), 1);
        QVERIFY(!FindSimilarPair(window.Repository(), paths[0], paths[1]));
        QCOMPARE(Shown(*compare), std::make_pair(paths[1], paths[2]));
        QCOMPARE(compare->FactorLabel()->text(), QStringLiteral("Difference factor: 5.5"));
        // The Undo key in this window takes the mark back through the main window's history,
        // and the pair is again among those the window steps through.
        QTest::keyClick(compare, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(marks->Count(), 0);
        QTest::keyClick(compare, Qt::Key_N);
        QCOMPARE(Shown(*compare), std::make_pair(paths[0], paths[1]));
    }

    void trashWarnsWhenTheOtherPictureIsGone() {
        CQRXDlg window;
        const QString left = Picture(QStringLiteral("left.png"), 30, 20, PictureFormat::Png, 1);
        const QString right = Picture(QStringLiteral("right.png"), 30, 20, PictureFormat::Png, 2);
        window.Repository().AddPicture(left);
        window.Repository().AddPicture(right);
        Link(window, 0, 1);
        CompareWindow* compare = Compare(window, left, right);
        QVERIFY(compare != nullptr);
        QTRY_VERIFY(!compare->IsLoading());
        const QString question = QStringLiteral("Move \"%1\" to the trash?").arg(right);
        {
            ModalUser user({QMessageBox::No});
            compare->Panel(CompareWindow::kRight)->TrashButton()->click();
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QCOMPARE(user.boxes[0].text, question);
            QCOMPARE(user.boxes[0].defaultButton, QMessageBox::Yes);
        }
        // The left file goes behind the window's back: the right one may be the last copy.
        QVERIFY(QFile::remove(left));
        QTRY_VERIFY(!compare->IsLoading());
        QVERIFY(compare->Panel(CompareWindow::kRight)->TrashButton()->isEnabled());
        {
            ModalUser user({QMessageBox::No});
            compare->Panel(CompareWindow::kRight)->TrashButton()->click();
            QCOMPARE(user.boxes.size(), std::size_t{1});
            QVERIFY(user.boxes[0].text.startsWith(question));
            QVERIFY(user.boxes[0].text.contains(QStringLiteral("missing")));
            QCOMPARE(user.boxes[0].defaultButton, QMessageBox::No);
        }
        QVERIFY(QFileInfo::exists(right));
        QCOMPARE(window.Repository().GetCount(), 2);
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::CompareWindowTest)
#include "CompareWindowTest.moc"
