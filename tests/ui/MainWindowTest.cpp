// The main window as a user meets it: its start state, the command states, the picture tree
// under each filter, red unreadable pictures and the preview.

#include "common/FactorText.h"
#include "common/FileSizeText.h"
#include "mainwindow/PictureTreeItem.h"
#include "mainwindow/PreviewBox.h"
#include "mainwindow/PreviewLoader.h"
#include "mainwindow/QRXDlg.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/WidgetHelpers.h"
#include "support/WidgetTestMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

using vistrel::CQRXDlg;
using vistrel::PreviewBox;
using vistrel::ViewFilter;
using vistrel::test::PictureFormat;

namespace {

QPushButton* Button(const CQRXDlg& window, const QString& text) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

const QStringList kButtons = {"Delete file...", "Open file...",          "Find file...",
                              "Next Similar",   "Delete All Similar...", "Delete All Damaged..."};

using vistrel::test::AnswerMessageBox;
using vistrel::test::TopLevelTexts;

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;

    QString Picture(const QString& name, int width, int height, QRgb colour = qRgb(90, 140, 30)) {
        const QString path = folder.filePath(name);
        vistrel::test::WritePicture(
            vistrel::test::MakePicture(width, height, [=](int, int) { return colour; }),
            PictureFormat::Png, path);
        return path;
    }

    // The enabled state of every command: the six buttons, then the menu actions by name.
    static QMap<QString, bool> States(const CQRXDlg& window) {
        QMap<QString, bool> states;
        for (const QString& text : kButtons) {
            states["button " + text] = Button(window, text)->isEnabled();
        }
        const auto& a = window.Actions();
        const std::pair<const char*, QAction*> actions[] = {{"new", a.newRepository},
                                                            {"open", a.openRepository},
                                                            {"save", a.saveRepository},
                                                            {"export", a.exportResults},
                                                            {"add", a.addToRepository},
                                                            {"remove", a.removeFromRepository},
                                                            {"settings", a.programSettings},
                                                            {"exit", a.exit},
                                                            {"search", a.searchSimilar},
                                                            {"test", a.testRepository},
                                                            {"next", a.nextSimilar},
                                                            {"deleteSimilar", a.deleteAllSimilar},
                                                            {"keepOne", a.keepOneOfEachGroup},
                                                            {"deleteDamaged", a.deleteAllDamaged},
                                                            {"deleteFile", a.deleteFile},
                                                            {"openFile", a.openFile},
                                                            {"findFile", a.findFile},
                                                            {"help", a.helpFile},
                                                            {"about", a.about}};
        for (const auto& [name, action] : actions) {
            states[name] = action->isEnabled();
        }
        return states;
    }

    static QStringList EnabledNames(const CQRXDlg& window) {
        QStringList names;
        const auto states = States(window);
        for (auto it = states.begin(); it != states.end(); ++it) {
            if (it.value()) {
                names << it.key();
            }
        }
        return names;
    }

    // The tooltip the tree shows when the mouse rests on `item`.
    static QString ToolTipOf(QTreeWidget& tree, QTreeWidgetItem* item) {
        const QPoint at = tree.visualItemRect(item).center();
        QHelpEvent help(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree.viewport(), &help);
        return QToolTip::text();
    }

    static void Link(CQRXDlg& window, int a, int b) { vistrel::test::Link(window, a, b, 1.5f); }

private slots:
    void startState() {
        CQRXDlg window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Vistrel"));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 0"));
        QCOMPARE(window.Tree()->topLevelItemCount(), 0);
        QVERIFY(window.SizeLabel()->text().isEmpty());
        QCOMPARE(EnabledNames(window),
                 (QStringList{"about", "add", "exit", "help", "new", "open", "settings"}));
        QVERIFY(!window.windowIcon().availableSizes().isEmpty());
    }

    void menuTextsAndKeys() {
        CQRXDlg window;
        const auto& a = window.Actions();
        // The menu texts and keys the program fixes: no text where only the key is checked, no
        // key where only the text is.
        const struct {
            QAction* action;
            const char* text;
            std::optional<QKeySequence> key;
        } entries[] = {
            {a.newRepository, "&New Repository...", QKeySequence("Ctrl+N")},
            {a.testRepository, "&Test Repository For Similar", QKeySequence(Qt::Key_F5)},
            {a.nextSimilar, nullptr, QKeySequence(Qt::Key_F3)},
            {a.deleteFile, nullptr, QKeySequence(QKeySequence::Delete)},
            {a.searchSimilar, nullptr, QKeySequence("Ctrl+F")},
            {a.helpFile, nullptr, QKeySequence(Qt::Key_F1)},
            {a.exit, "E&xit", QKeySequence("Ctrl+Q")},
            {a.about, "&About...", std::nullopt},
        };
        for (const auto& [action, text, key] : entries) {
            if (text != nullptr) {
                QCOMPARE(action->text(), QString::fromLatin1(text));
            }
            if (key) {
                QCOMPARE(action->shortcut(), *key);
            }
        }
    }

    void commandStatesFollowLinksAndLoadErrors() {
        CQRXDlg window;
        window.Repository().AddPicture(Picture("a.png", 20, 20));
        window.Repository().AddPicture(Picture("b.png", 20, 20));
        window.RefreshTree();
        QStringList plain = {"about",
                             "add",
                             "button Delete file...",
                             "button Find file...",
                             "button Open file...",
                             "deleteFile",
                             "exit",
                             "findFile",
                             "help",
                             "new",
                             "open",
                             "openFile",
                             "remove",
                             "save",
                             "search",
                             "settings",
                             "test"};
        plain.sort();
        QCOMPARE(EnabledNames(window), plain);

        Link(window, 0, 1);
        window.RefreshTree();
        QStringList linked = plain + QStringList{"button Next Similar",
                                                 "button Delete All Similar...",
                                                 "next",
                                                 "deleteSimilar",
                                                 "keepOne",
                                                 "export"};
        linked.sort();
        QCOMPARE(EnabledNames(window), linked);

        window.Repository().AddPicture(folder.filePath("missing.png"));
        window.RefreshTree();
        QStringList damaged = linked + QStringList{"button Delete All Damaged...", "deleteDamaged"};
        damaged.sort();
        QCOMPARE(EnabledNames(window), damaged);

        // Pictures joined through another one make one group.
        window.Repository().AddPicture(Picture("c.png", 20, 20));
        Link(window, 2, 3);
        window.RefreshTree();
        QCOMPARE(window.GroupsText(), QStringLiteral("4 pictures have near-copies, in 2 groups"));
        Link(window, 1, 3);
        window.RefreshTree();
        QCOMPARE(window.GroupsText(), QStringLiteral("4 pictures have near-copies, in 1 group"));
    }

    void twoSimilarPicturesMakeFourItems() {
        CQRXDlg window;
        const QString a = Picture("first.png", 300, 200);
        const QString b = Picture("second.png", 200, 300);
        window.Repository().AddPicture(a);
        window.Repository().AddPicture(b);
        Link(window, 0, 1);
        window.RefreshTree();
        QTreeWidget* tree = window.Tree();
        QCOMPARE(TopLevelTexts(*tree), (QStringList{a, b}));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 4"));
        QCOMPARE(window.GroupsText(), QStringLiteral("2 pictures have near-copies, in 1 group"));
        QCOMPARE(window.SelectedPath(), a);
        QVERIFY(!tree->topLevelItem(0)->isExpanded());
        tree->expandItem(tree->topLevelItem(0));
        tree->expandItem(tree->topLevelItem(1));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), b);
        QCOMPARE(tree->topLevelItem(1)->child(0)->text(0), a);
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 4"));
        // The first item is previewed: 300 x 200 with its file size.
        QTRY_VERIFY(window.Preview()->HasPicture());
        QCOMPARE(window.Preview()->PictureSize(), QSize(300, 200));
        QVERIFY(window.SizeLabel()->text().startsWith("Size: 300x200 ("));
        // Selecting a child previews the similar picture itself.
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        QTRY_COMPARE(window.Preview()->PictureSize(), QSize(200, 300));
        // The tooltips tell what the texts, which stay the paths, do not.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString child = ToolTipOf(*tree, tree->topLevelItem(0)->child(0));
        QVERIFY2(child.startsWith("Difference factor: 0.8\n200 x 300 pixels\n" +
                                  vistrel::FileSizeText(QFileInfo(b).size())),
                 qPrintable(child));
        const QString top = ToolTipOf(*tree, tree->topLevelItem(1));
        QVERIFY2(top.startsWith("200 x 300 pixels\n" + vistrel::FileSizeText(QFileInfo(b).size()) +
                                "\nModified "),
                 qPrintable(top));
        // A link found in another orientation says how the child lies against its parent: b,
        // turned 90 degrees left, looks like a, so b is a turned right, and a is b turned left.
        window.Repository().AddSimilarPair(
            vistrel::PairInfo{nullptr, nullptr, 0, 1, 1.5f, vistrel::Orientation::Rot270});
        window.Repository().GetPicture(0).similar.erase(
            window.Repository().GetPicture(0).similar.begin());
        window.Repository().GetPicture(1).similar.erase(
            window.Repository().GetPicture(1).similar.begin());
        const QString turned = ToolTipOf(*tree, tree->topLevelItem(0)->child(0));
        QVERIFY2(turned.startsWith("Difference factor: 0.8\nTurned 90 degrees right\n200 x "),
                 qPrintable(turned));
        const QString back = ToolTipOf(*tree, tree->topLevelItem(1)->child(0));
        QVERIFY2(back.startsWith("Difference factor: 0.8\nTurned 90 degrees left\n300 x "),
                 qPrintable(back));
        QVERIFY(QFile::remove(b));
        QCOMPARE(ToolTipOf(*tree, tree->topLevelItem(1)), QStringLiteral("The file is missing."));
    }

    void childItemsAreMadeWhenAnItemIsFirstExpanded() {
        // At a lax threshold a repository holds millions of links: the tree makes an item's
        // child items only once it is opened, yet shows its arrow and counts them from the start.
        CQRXDlg window;
        const QString a = Picture("a.png", 40, 30);
        const QString b = Picture("b.png", 30, 40);
        const QString c = Picture("c.png", 20, 20);
        for (const QString& path : {a, b, c}) {
            window.Repository().AddPicture(path);
        }
        Link(window, 0, 1);
        Link(window, 0, 2);
        window.RefreshTree();
        QTreeWidget* tree = window.Tree();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tree->topLevelItem(i)->childCount(), 0);
            QCOMPARE(tree->topLevelItem(i)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        }
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 7"));

        tree->expandItem(tree->topLevelItem(0));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), b);
        QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), c);
        tree->collapseItem(tree->topLevelItem(0));
        tree->expandItem(tree->topLevelItem(0));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 2);  // made once
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 7"));

        // Removing the picture both others were linked to leaves them without an arrow.
        tree->setCurrentItem(tree->topLevelItem(0));
        window.Actions().removeFromRepository->trigger();
        QCOMPARE(TopLevelTexts(*tree), (QStringList{b, c}));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(tree->topLevelItem(i)->childIndicatorPolicy(),
                     QTreeWidgetItem::DontShowIndicatorWhenChildless);
        }
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 2"));
    }

    // Each column sorts by what it means, not by its text; a second click reverses; the
    // similar pictures follow the column too; the sort outlives a rebuild until Repository
    // Order gives the repository's own order back.
    void titlesSortByTheirColumnUntilRepositoryOrder() {
        CQRXDlg window;
        // Repository order b, c, a. Pixels a 400, b 1000, c 90; bytes a 10000, b 2000, c 900.
        const QString b = Picture("b.png", 100, 10);
        const QString c = Picture("c.png", 9, 10);
        const QString a = Picture("a.png", 20, 20);
        const std::pair<QString, qint64> lengths[] = {{a, 10000}, {b, 2000}, {c, 900}};
        const std::pair<QString, QDate> dates[] = {
            {a, QDate(2021, 12, 1)}, {b, QDate(2023, 1, 5)}, {c, QDate(2022, 6, 30)}};
        for (const auto& [path, length] : lengths) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(length));
        }
        for (const auto& [path, date] : dates) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(
                file.setFileTime(QDateTime(date, QTime(12, 0)), QFileDevice::FileModificationTime));
        }
        for (const QString& path : {b, c, a}) {
            window.Repository().AddPicture(path);
        }
        // a's links in this order: b (factor 40, 15.6 %), c (factor 5, 2.0 %).
        vistrel::test::Link(window, 2, 0, 40);
        vistrel::test::Link(window, 2, 1, 5);
        window.RefreshTree();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeWidget* tree = window.Tree();
        const auto item = [tree](int row) { return tree->topLevelItem(row); };
        QTRY_VERIFY(!item(0)->text(vistrel::kFileSizeColumn).isEmpty() &&
                    !item(1)->text(vistrel::kFileSizeColumn).isEmpty() &&
                    !item(2)->text(vistrel::kFileSizeColumn).isEmpty());
        QCOMPARE(TopLevelTexts(*tree), (QStringList{b, c, a}));
        QCOMPARE(item(2)->text(vistrel::kDimensionsColumn), QStringLiteral("20 x 20"));
        QCOMPARE(item(2)->text(vistrel::kFileSizeColumn), vistrel::FileSizeText(10000));
        QCOMPARE(
            item(2)->text(vistrel::kModifiedColumn),
            QLocale().toString(QDateTime(QDate(2021, 12, 1), QTime(12, 0)), QLocale::ShortFormat));
        tree->expandItem(item(2));
        QCOMPARE(item(2)->child(1)->text(vistrel::kDifferenceColumn), vistrel::FactorText(5));
        QVERIFY(item(2)->text(vistrel::kDifferenceColumn).isEmpty());

        QHeaderView* header = tree->header();
        const auto click = [header](int column) {
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, {},
                QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
        };
        // The similar pictures of a, made when it opens.
        const auto children = [&] {
            QStringList texts;
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                if (item(i)->text(0) == a) {
                    tree->expandItem(item(i));
                    for (int k = 0; k < item(i)->childCount(); ++k) {
                        texts << item(i)->child(k)->text(0);
                    }
                }
            }
            return texts;
        };
        // Pictures by the closest of their links, a similar picture by its own.
        const struct {
            int column;
            QStringList pictures;
            QStringList similar;
        } sorts[] = {{vistrel::kPathColumn, {a, b, c}, {b, c}},
                     {vistrel::kDimensionsColumn, {c, a, b}, {c, b}},
                     {vistrel::kFileSizeColumn, {c, b, a}, {c, b}},
                     {vistrel::kModifiedColumn, {a, c, b}, {c, b}},
                     {vistrel::kDifferenceColumn, {c, a, b}, {c, b}}};
        for (const auto& [column, pictures, similar] : sorts) {
            click(column);
            QCOMPARE(TopLevelTexts(*tree), pictures);
            QCOMPARE(children(), similar);
            QVERIFY(window.Actions().repositoryOrder->isEnabled());
            click(column);
            QStringList reversed(pictures.rbegin(), pictures.rend());
            QCOMPARE(TopLevelTexts(*tree), reversed);
            QCOMPARE(children(), QStringList(similar.rbegin(), similar.rend()));
        }
        click(vistrel::kModifiedColumn);
        window.SetFilter(ViewFilter::WithSimilar);
        QCOMPARE(TopLevelTexts(*tree), (QStringList{a, c, b}));
        QCOMPARE(children(), (QStringList{c, b}));
        window.Actions().repositoryOrder->trigger();
        QCOMPARE(TopLevelTexts(*tree), (QStringList{b, c, a}));
        QCOMPARE(children(), (QStringList{b, c}));
        QVERIFY(!window.Actions().repositoryOrder->isEnabled());
        window.RefreshTree();
        QCOMPARE(TopLevelTexts(*tree), (QStringList{b, c, a}));
        QCOMPARE(children(), (QStringList{b, c}));
    }

    void filtersChooseTheEntriesShown() {
        CQRXDlg window;
        const QString a = Picture("a.png", 10, 10);
        const QString b = Picture("b.png", 10, 10);
        const QString c = Picture("c.png", 10, 10);
        const QString gone = folder.filePath("gone.png");
        for (const QString& path : {a, b, c, gone}) {
            window.Repository().AddPicture(path);
        }
        window.SetFilter(ViewFilter::WithSimilar);
        QCOMPARE(window.Tree()->topLevelItemCount(), 0);
        QCOMPARE(window.StatusText(), QStringLiteral("Total items (similar): 0"));

        Link(window, 0, 2);
        window.RefreshTree();
        QCOMPARE(TopLevelTexts(*window.Tree()), (QStringList{a, c}));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items (similar): 4"));

        window.SetFilter(ViewFilter::WithLoadError);
        QCOMPARE(TopLevelTexts(*window.Tree()), (QStringList{gone}));
        QCOMPARE(window.Tree()->topLevelItem(0)->foreground(0).color(), QColor(255, 0, 0));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items (load error): 1"));

        window.SetFilter(ViewFilter::All);
        QCOMPARE(window.Tree()->topLevelItemCount(), 4);
        // Only the unreadable entry's own item is red, not the child items naming it.
        QCOMPARE(window.Tree()->topLevelItem(3)->foreground(0).color(), QColor(255, 0, 0));
        QVERIFY(window.Tree()->topLevelItem(0)->foreground(0).color() != QColor(255, 0, 0));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 6"));

        // The filter in force, chosen again, does not rebuild: selection and expansion stay.
        window.Tree()->topLevelItem(2)->setExpanded(true);
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(2));
        window.SetFilter(ViewFilter::All);
        QVERIFY(window.Tree()->topLevelItem(2)->isExpanded());
        QCOMPARE(window.SelectedPath(), c);
    }

    void largeTreeIsBuiltInPiecesInItsOrder() {
        CQRXDlg window;
        window.show();
        // Two entries to a piece: a rebuild of nine takes turns of the event loop.
        window.SetTreePieceSize(2);
        QStringList paths;
        for (const char* name : {"e", "b", "h", "a", "g", "c", "i", "d", "f"}) {
            paths << folder.filePath(QStringLiteral("%1.png").arg(QLatin1String(name)));
            window.Repository().AddPicture(paths.back());
        }
        vistrel::test::Link(window, 2, 7, 7.0f);  // h, d
        vistrel::test::Link(window, 4, 8, 3.0f);  // g, f
        window.RefreshTree();
        QTRY_VERIFY(window.TreeBuilt());
        QTreeWidget* tree = window.Tree();
        QCOMPARE(TopLevelTexts(*tree), paths);
        tree->header()->setSortIndicator(vistrel::kPathColumn, Qt::DescendingOrder);
        QTRY_VERIFY(window.TreeBuilt());
        QStringList descending = paths;
        std::sort(descending.begin(), descending.end(), std::greater<>());
        QCOMPARE(TopLevelTexts(*tree), descending);

        // The user's place is kept across a rebuild in pieces.
        tree->setCurrentItem(tree->topLevelItem(4));
        const QString selected = window.SelectedPath();
        window.RefreshTreeKeepingPlace();
        QVERIFY(!window.TreeBuilt());
        QTRY_VERIFY(window.TreeBuilt());
        QCOMPARE(window.SelectedPath(), selected);
        QCOMPARE(TopLevelTexts(*tree), descending);
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 13"));

        // By a number column, in pieces, as the tree itself sorts.
        tree->header()->setSortIndicator(vistrel::kDifferenceColumn, Qt::DescendingOrder);
        QTRY_VERIFY(window.TreeBuilt());
        const QStringList byFactor = TopLevelTexts(*tree);
        tree->sortItems(vistrel::kDifferenceColumn, Qt::DescendingOrder);
        QCOMPARE(TopLevelTexts(*tree), byFactor);
        QVERIFY(byFactor != descending);
        tree->header()->setSortIndicator(vistrel::kPathColumn, Qt::DescendingOrder);

        // A rebuild begun while one is under way replaces it.
        window.RefreshTree();
        QVERIFY(!window.TreeBuilt());
        window.SetFilter(ViewFilter::WithSimilar);
        QTRY_VERIFY(window.TreeBuilt());
        QCOMPARE(TopLevelTexts(*tree), (QStringList{paths[2], paths[4], paths[8], paths[7]}));
        QCOMPARE(window.StatusText(), QStringLiteral("Total items (similar): 8"));

        // An entry to select is selected once the rebuild is done, and a note goes beside the
        // totals it writes.
        window.SetFilter(ViewFilter::All);
        window.RefreshTreeSelecting(6);
        window.AddStatusNote(QStringLiteral("3 folders left out"));
        QTRY_VERIFY(window.TreeBuilt());
        QCOMPARE(window.SelectedPath(), paths[6]);
        QCOMPARE(window.StatusText(), QStringLiteral("Total items: 13   3 folders left out"));
    }

    void pictureThatFailsToDecodeTurnsRed() {
        CQRXDlg window;
        const QString good = Picture("good.png", 30, 30);
        const QString doomed = Picture("doomed.png", 30, 30);
        window.Repository().AddPicture(doomed);
        window.Repository().AddPicture(good);
        window.Repository().ClearModified();
        vistrel::test::WriteBytes(doomed, QByteArray("\x89PNG\r\n\x1a\n but no more"));
        // The first item is previewed: it fails, turns red, and the rebuilt tree previews the
        // next one it can show.
        window.RefreshTree();
        QTRY_VERIFY(window.Repository().GetPicture(0).loadError);
        QVERIFY(!window.Repository().IsModified());
        QCOMPARE(window.Tree()->topLevelItem(0)->foreground(0).color(), QColor(255, 0, 0));
        QCOMPARE(window.SelectedPath(), doomed);  // the rebuild selects the first item again
        QVERIFY(!window.Preview()->HasPicture());
        QVERIFY(window.SizeLabel()->text().isEmpty());
        QVERIFY(window.Actions().deleteAllDamaged->isEnabled());
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(1));
        QTRY_VERIFY(window.Preview()->HasPicture());
        QCOMPARE(window.SizeLabel()->text(),
                 vistrel::PictureSizeLabel(QSize(30, 30), QFileInfo(good).size()));
    }

    // A picture whose file is away (a drive or share that dropped out, a folder renamed) is
    // not damaged: the preview says why it cannot show it, and shows it once it is back.
    void pictureWhoseFileIsAwayStaysHealthy() {
        CQRXDlg window;
        QVERIFY(QDir().mkpath(folder.filePath("away")));
        const QString away = Picture("away/trip.png", 30, 30);
        const QString aside = folder.filePath("aside");
        window.Repository().AddPicture(away);
        QVERIFY(QDir().rename(folder.filePath("away"), aside));
        window.RefreshTree();
        QTRY_VERIFY(window.SizeLabel()->text().startsWith("Cannot be shown: "));
        QVERIFY(!window.Repository().GetPicture(0).loadError);
        QVERIFY(window.Tree()->topLevelItem(0)->foreground(0).color() != QColor(255, 0, 0));
        QVERIFY(!window.Preview()->HasPicture());
        QVERIFY2(window.SizeLabel()->text().contains(QString::fromLocal8Bit(std::strerror(ENOENT))),
                 qPrintable(window.SizeLabel()->text()));
        QVERIFY(!window.Actions().deleteAllDamaged->isEnabled());
        QVERIFY(QDir().rename(aside, folder.filePath("away")));
        window.RefreshTree();
        QTRY_VERIFY(window.Preview()->HasPicture());
    }

    // The preview decodes on a worker: the size shows at once from the header, the picture
    // once decoded, and a picture whose item was left before it came is never shown.
    void previewShowsOnlyTheLatestSelection() {
        CQRXDlg window;
        const QString large = folder.filePath("large.png");
        QVERIFY(vistrel::test::WritePicture(
            vistrel::test::MakePicture(
                3000, 2000, [](int x, int y) { return qRgb(x & 255, y & 255, (x ^ y) & 255); }),
            PictureFormat::Png, large));
        const QString small = Picture("small.png", 40, 60);
        window.Repository().AddPicture(large);
        window.Repository().AddPicture(small);
        window.RefreshTree();
        QCOMPARE(window.SelectedPath(), large);
        QVERIFY(!window.Preview()->HasPicture());
        QCOMPARE(window.SizeLabel()->text(),
                 vistrel::PictureSizeLabel(QSize(3000, 2000), QFileInfo(large).size()));
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(1));
        const QString smallLabel =
            vistrel::PictureSizeLabel(QSize(40, 60), QFileInfo(small).size());
        QCOMPARE(window.SizeLabel()->text(), smallLabel);
        QTRY_VERIFY(window.Preview()->HasPicture());
        QCOMPARE(window.Preview()->PictureSize(), QSize(40, 60));
        // Once every decode has ended, the last selection's picture is still the one shown.
        const auto* loader = window.findChild<vistrel::PreviewLoader*>();
        QVERIFY(loader != nullptr);
        QTRY_VERIFY(!loader->IsBusy());
        QCoreApplication::processEvents();
        QCOMPARE(window.Preview()->PictureSize(), QSize(40, 60));
        QCOMPARE(window.SizeLabel()->text(), smallLabel);
    }

    void previewGeometry() {
        QCOMPARE(PreviewBox::DrawnRect(QSize(300, 200)), QRect(50, 56, 150, 100));
        QCOMPARE(PreviewBox::DrawnRect(QSize(200, 300)), QRect(75, 31, 100, 150));
        QCOMPARE(PreviewBox::DrawnRect(QSize(64, 64)), QRect(50, 31, 150, 150));
        QCOMPARE(PreviewBox::DrawnRect(QSize(1000, 3)).height(), 0);
    }

    void sizeTexts() {
        QCOMPARE(vistrel::FileSizeText(1023), QStringLiteral("1023.00 Bytes"));
        QCOMPARE(vistrel::FileSizeText(1536), QStringLiteral("1.50 KB"));
        QCOMPARE(vistrel::FileSizeText(1048576), QStringLiteral("1.00 MB"));
        QCOMPARE(vistrel::FileSizeText(1610612736), QStringLiteral("1.50 GB"));
        QCOMPARE(vistrel::FileSizeText(qint64(1) << 50), QStringLiteral("1024.00 TB"));
        QCOMPARE(vistrel::PictureSizeLabel(QSize(1000, 3), 1536),
                 QStringLiteral("Size: 1000x3 (1.50 KB)"));
        QCOMPARE(vistrel::PictureSizeLabel(QSize(5, 7), 0), QStringLiteral("Size: 5x7"));
        QCOMPARE(vistrel::PictureSizeLabel(QSize(5, 7), -1), QStringLiteral("Size: 5x7"));
    }

    void treeFillsTheWindowBelowThePreview() {
        CQRXDlg window;
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget* client = window.centralWidget();
        QVERIFY(window.Tree()->mapTo(&window, QPoint(0, 0)).y() >
                window.Preview()->mapTo(&window, QPoint(0, window.Preview()->height() - 1)).y());
        QCOMPARE(window.Tree()->width(), client->width());
        QCOMPARE(window.Tree()->geometry().bottom() + 1, client->height());
        QCOMPARE(client->mapTo(&window, QPoint(0, client->height())).y(),
                 window.statusBar()->geometry().top());
        window.resize(700, 150);
        QTRY_COMPARE(window.Tree()->height(), 0);
    }

    // The size, position and maximised state at closing are those of the next start.
    void geometryIsKeptFromCloseToStart() {
        {
            CQRXDlg window;
            window.setGeometry(40, 50, 640, 480);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(window.close());
        }
        {
            CQRXDlg window;
            window.RestoreWindowGeometry();
            QCOMPARE(window.geometry(), QRect(40, 50, 640, 480));
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.showMaximized();
            QTRY_VERIFY(window.isMaximized());
            QVERIFY(window.close());
        }
        CQRXDlg window;
        window.RestoreWindowGeometry();
        window.show();
        QVERIFY(window.isMaximized());
        window.showNormal();
        QTRY_COMPARE(window.geometry(), QRect(40, 50, 640, 480));
    }

    void closingAsksAboutUnsavedChanges() {
        CQRXDlg window;
        window.show();
        window.Repository().AddPicture(Picture("keep.png", 10, 10));
        window.RefreshTree();
        QString question;
        AnswerMessageBox(QMessageBox::Cancel, &question);
        QVERIFY(!window.close());
        QCOMPARE(question, QStringLiteral("Do you want to save changes?"));
        QVERIFY(window.isVisible());
        // Ctrl+Q asks the same.
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        question.clear();
        AnswerMessageBox(QMessageBox::Cancel, &question);
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(question, QStringLiteral("Do you want to save changes?"));
        QVERIFY(window.isVisible());
        QApplication::setActiveWindow(&window);  // back from the message box
        QVERIFY(QTest::qWaitForWindowActive(&window));
        AnswerMessageBox(QMessageBox::No);
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window.isVisible());
        // Enter and Escape never close the main window.
        CQRXDlg other;
        other.show();
        QTest::keyClick(&other, Qt::Key_Escape);
        QTest::keyClick(&other, Qt::Key_Return);
        QVERIFY(other.isVisible());
    }
};

VISTREL_WIDGET_TEST_MAIN(MainWindowTest)

#include "MainWindowTest.moc"
