// Keep One of Each Group as a user meets it: the dialog with its groups, thumbnails and
// keyboard, the question, the desktop trash (in a private data folder) and Undo Move to Trash.

#include "common/FileSizeText.h"
#include "dialogs/OperationReportDlg.h"
#include "groups/KeepGroupsModel.h"
#include "groups/KeepOneDlg.h"
#include "groups/ThumbnailLoader.h"
#include "mainwindow/QRXDlg.h"
#include "marks/NotSimilarMarks.h"
#include "repository/PictureRepository.h"
#include "support/FolderTest.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/WidgetHelpers.h"
#include "support/WidgetTestMain.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include <functional>

namespace vistrel {
namespace {

using test::Link;

// Whether the picture has left `path` for the private trash.
bool InTrash(const QString& path) {
    return !QFileInfo::exists(path) && test::InTrash(path);
}

// Plays the user at every modal window while it lives: hands the Keep One dialog to `choose`
// once its facts are read, then answers the question with Yes and closes any report.
class KeepOneUser : public test::ModalUser {
public:
    explicit KeepOneUser(std::function<bool(CKeepOneDlg&)> choose,
                         const std::source_location& where = std::source_location::current())
        : ModalUser({QMessageBox::Yes}, where) {
        Handle<CKeepOneDlg>([this, choose = std::move(choose), where](CKeepOneDlg& dialog) {
            if (chose) {
                return;
            }
            if (++looks > kMostLooks) {
                // A dialog that never gets its facts and thumbnails fails the test, not hangs it.
                test::FailAndCloseModal(QStringLiteral("Keep One of Each Group never let Move go"),
                                        where);
            } else if (dialog.MoveButton()->isEnabled() && choose(dialog)) {
                chose = true;
                // The question is a modal box of its own: it is answered on a later look.
                QTimer::singleShot(0, dialog.MoveButton(), &QPushButton::click);
            }
        });
    }

    // The question the user answered; empty without one.
    QString Question() const { return boxes.empty() ? QString() : boxes.back().text; }

    bool chose = false;

private:
    static constexpr int kMostLooks = 3000;
    int looks = 0;
};

// The row of a group's picture, by its place in the group.
QModelIndex PictureRow(const CKeepOneDlg& dialog, int group, int picture) {
    const CKeepGroupsModel& model = *dialog.Model();
    return model.index(model.GroupIndex(group).row() + 1 + picture, 0);
}

}  // namespace

class KeepOneTest : public test::FolderTest {
    Q_OBJECT

private:
    QString Picture(const QString& name, int width, int height, std::uint32_t seed) {
        return test::WritePhoto(*folder, name, width, height, seed);
    }
    // The picture of `original` at half its size: a near-copy of it.
    QString HalfSizeCopy(const QString& name, const QString& original) {
        const QString path = folder->filePath(name);
        const QImage picture(original);
        if (!picture.scaled(picture.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .save(path)) {
            qFatal("cannot write a test picture");
        }
        return path;
    }

private slots:
    void choicesMadeByHandSurviveAChangeOfRule() {
        // Two groups of three, facts made up: no file is read. In group 1 the user keeps p2 and
        // ticks p0 to move; in group 2 the user ticks q0, which the largest-file rule would keep.
        CPictureRepository repository;
        for (const char* name : {"p0.jpg", "p1.jpg", "p2.jpg", "q0.jpg", "q1.jpg", "q2.jpg"}) {
            // Any signature: an entry without one could not be read by the test.
            repository.AddSignedPicture(
                QStringLiteral("/nowhere/") + QLatin1String(name),
                SignatureBytes(std::vector<std::uint8_t>(
                    3 * static_cast<std::size_t>(repository.Side() * repository.Side()), 9)));
        }
        for (const auto& [a, b] : {std::pair{0, 1}, {1, 2}, {3, 4}, {4, 5}}) {
            repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, a, b, 1.0f});
        }
        CKeepGroupsModel model(repository, 64, false);
        const auto facts = [](int width, std::int64_t bytes) {
            PictureFacts made;
            made.exists = true;
            made.size = QSize(width, width);
            made.fileBytes = bytes;
            made.modified = QDateTime(QDate(2020, 1, 1), QTime(12, 0));
            return made;
        };
        const std::vector<PictureFacts> all{facts(10, 900), facts(40, 100), facts(20, 500),
                                            facts(10, 900), facts(40, 100), facts(20, 500)};
        for (int picture = 0; picture < 6; ++picture) {
            model.SetFacts(picture, all[static_cast<std::size_t>(picture)]);
        }
        QVERIFY(model.AllFactsRead());
        QCOMPARE(model.PictureAction(model.PictureIndex(1)), KeepAction::Keep);
        QVERIFY(model.KeepPicture(model.PictureIndex(2)));
        QVERIFY(model.SetPictureMoved(model.PictureIndex(0), true));
        QVERIFY(model.SetPictureMoved(model.PictureIndex(3), true));
        for (const KeepRule rule : {KeepRule::LargestFile, KeepRule::MostPixels}) {
            model.SetRule(rule);
            QCOMPARE(model.PictureAction(model.PictureIndex(2)), KeepAction::Keep);
            QCOMPARE(model.PictureAction(model.PictureIndex(0)), KeepAction::Trash);
            QCOMPARE(model.PictureAction(model.PictureIndex(3)), KeepAction::Trash);
        }
        // Of the pictures left to it, the rule still chooses.
        QCOMPARE(model.PictureAction(model.PictureIndex(4)), KeepAction::Keep);
    }

    void keepsOneOfEachChosenGroupAndUndoBringsTheOthersBack() {
        CQRXDlg window;
        // Group 1: a1 has the most pixels and a0 is its near-copy; a lax test chained a2, only
        // alike, and a3, which cannot be read, to them: both stay. Group 2 is left out by the
        // user. Group 3: the rule keeps c0, the user keeps its near-copy c1 instead. d has no
        // links.
        const QString a1 = Picture(QStringLiteral("a1.png"), 160, 120, 2);
        const QString a0 = HalfSizeCopy(QStringLiteral("a0.png"), a1);
        const QString a2 = Picture(QStringLiteral("a2.png"), 40, 30, 3);
        const QString a3 = folder->filePath(QStringLiteral("a3.png"));
        QVERIFY(test::WriteBytes(a3, QByteArray("no picture in here")));
        const QString b0 = Picture(QStringLiteral("b0.png"), 40, 30, 4);
        const QString b1 = Picture(QStringLiteral("b1.png"), 50, 40, 5);
        const QString c0 = Picture(QStringLiteral("c0.png"), 160, 120, 6);
        const QString c1 = HalfSizeCopy(QStringLiteral("c1.png"), c0);
        const QString d = Picture(QStringLiteral("d.png"), 40, 30, 8);
        const QStringList all{a0, a1, a2, a3, b0, b1, c0, c1, d};
        for (const QString& path : all) {
            window.Repository().AddPicture(path);
        }
        QVERIFY(window.Repository().GetPicture(3).loadError);
        Link(window, 0, 1);
        Link(window, 2, 1, 15);
        Link(window, 2, 3);
        Link(window, 4, 5);
        Link(window, 6, 7);
        window.RefreshTree();
        QVERIFY(window.Actions().keepOneOfEachGroup->isEnabled());

        const qint64 freed = QFileInfo(a0).size() + QFileInfo(c0).size();
        QStringList keptByRule;
        QString summary;
        KeepOneUser user([&](CKeepOneDlg& dialog) {
            QTreeView* view = dialog.GroupView();
            const QModelIndex kept = PictureRow(dialog, 0, 1);
            const QModelIndex damaged = PictureRow(dialog, 0, 3);
            view->scrollTo(damaged);
            // Wait for the thumbnails: a1's own and a3's "cannot be read".
            const auto thumbnail = kept.data(Qt::DecorationRole).value<QPixmap>();
            if (thumbnail.toImage() != CThumbnailLoader::MakeThumbnail(a1, 64) ||
                !damaged.data(Qt::ToolTipRole).toString().contains(QStringLiteral("cannot"))) {
                return false;
            }
            for (const KeepPlan& plan : dialog.Plans()) {
                keptByRule.append(plan.kept.path);
            }
            // With the keyboard alone: Space on group 2 leaves it out, Enter on c1 keeps it.
            view->setCurrentIndex(dialog.Model()->GroupIndex(1));
            QTest::keyClick(view, Qt::Key_Space);
            view->setCurrentIndex(PictureRow(dialog, 2, 1));
            QTest::keyClick(view, Qt::Key_Return);
            summary = dialog.Summary()->text();
            return true;
        });
        window.KeepOneOfEachGroup();

        QVERIFY(user.chose);
        QCOMPARE(keptByRule, (QStringList{a1, b1, c0}));
        const QString staying = QStringLiteral(
            "2 pictures in 1 group stay: they look similar to the picture kept but are no "
            "near-copies of it.");
        QCOMPARE(summary,
                 QStringLiteral("3 groups of similar pictures, 1 left alone (1 left out by "
                                "you). %1 2 files will go to the trash (%2).")
                     .arg(staying, FileSizeText(freed)));
        QCOMPARE(user.Question(), QStringLiteral("Move 2 files to the trash? This frees %1.\nOf 3 "
                                                 "groups, 1 left alone (1 left out by you). %2")
                                      .arg(FileSizeText(freed), staying));
        for (const QString& path : {a0, c0}) {
            QVERIFY2(InTrash(path), qPrintable(path));
            QCOMPARE(window.Repository().FindPicture(path), -1);
        }
        for (const QString& path : {a1, a2, a3, b0, b1, c1, d}) {
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            QVERIFY(window.Repository().FindPicture(path) >= 0);
        }
        QVERIFY(user.reports.empty());
        // The group left out keeps its link; the others lost theirs with their entries.
        QCOMPARE(window.Repository().GetPicture(window.Repository().FindPicture(b0)).similar.size(),
                 std::size_t{1});
        QCOMPARE(window.Repository().GetPicture(window.Repository().FindPicture(a1)).similar.size(),
                 std::size_t{1});
        QCOMPARE(window.Tree()->topLevelItemCount(), 7);
        QVERIFY(window.Actions().undoTrash->isEnabled());

        window.UndoMoveToTrash();
        for (const QString& path : all) {
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            QVERIFY(window.Repository().FindPicture(path) >= 0);
        }
        QCOMPARE(window.Repository().GetCount(), int(all.size()));
    }

    void notSimilarTakesAGroupOutOfThePlansAndOneUndoBringsItsLinksBack() {
        auto marks =
            std::make_shared<NotSimilarMarks>(folder->filePath(QStringLiteral("marks.sqlite")));
        CQRXDlg window({}, nullptr, marks);
        // Group 1 would lose a0, a near-copy of a1, were it not marked; group 2 loses b0.
        const QString a1 = Picture(QStringLiteral("a1.png"), 160, 120, 2);
        const QString a0 = HalfSizeCopy(QStringLiteral("a0.png"), a1);
        const QString a2 = Picture(QStringLiteral("a2.png"), 40, 30, 3);
        const QString b1 = Picture(QStringLiteral("b1.png"), 160, 120, 4);
        const QString b0 = HalfSizeCopy(QStringLiteral("b0.png"), b1);
        for (const QString& path : {a0, a1, a2, b0, b1}) {
            window.Repository().AddPicture(path);
        }
        Link(window, 0, 1);
        Link(window, 1, 2);
        Link(window, 3, 4);
        window.RefreshTree();

        KeepOneUser user([](CKeepOneDlg& dialog) {
            dialog.GroupView()->setCurrentIndex(dialog.Model()->GroupIndex(0));
            dialog.NotSimilarButton()->click();
            return dialog.Model()->Plans().size() == 1;
        });
        window.KeepOneOfEachGroup();
        QVERIFY(user.chose);
        QVERIFY(InTrash(b0));
        for (const QString& path : {a0, a1, a2}) {
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        }
        QCOMPARE(marks->Count(), 2);
        QVERIFY(!window.Repository().HasSimilar());

        window.UndoMoveToTrash();
        QVERIFY(QFileInfo::exists(b0));
        // The group's two pairs were one step.
        window.UndoMoveToTrash();
        QCOMPARE(marks->Count(), 0);
        QCOMPARE(test::TreeText(*window.Tree()),
                 (QStringList{a0, QStringLiteral("  ") + a1, a1, QStringLiteral("  ") + a0,
                              QStringLiteral("  ") + a2, a2, QStringLiteral("  ") + a1, b1, b0}));
        QVERIFY(!window.UndoStack()->canUndo());
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::KeepOneTest)

#include "KeepOneTest.moc"
