#include "MainActions.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace vistrel {

namespace {

QAction* AddAction(QMenu* menu, const QString& text, const QKeySequence& key = {}) {
    QAction* action = menu->addAction(text);
    if (!key.isEmpty()) {
        action->setShortcut(key);
        // The keys work wherever the focus is in the window, as the menu's accelerators do.
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

}  // namespace

MainActions BuildMainMenu(QMainWindow& window) {
    MainActions actions;
    QMenuBar* bar = window.menuBar();

    QMenu* file = bar->addMenu(QObject::tr("&File"));
    actions.newRepository =
        AddAction(file, QObject::tr("&New Repository..."), QKeySequence("Ctrl+N"));
    actions.openRepository =
        AddAction(file, QObject::tr("&Open Repository..."), QKeySequence("Ctrl+O"));
    actions.recentRepositories = file->addMenu(QObject::tr("Recen&t Repositories"));
    actions.saveRepository =
        AddAction(file, QObject::tr("&Save Repository..."), QKeySequence("Ctrl+S"));
    actions.exportResults = AddAction(file, QObject::tr("&Export Results..."));
    file->addSeparator();
    actions.addToRepository = AddAction(file, QObject::tr("&Add To Repository..."));
    actions.removeFromRepository = AddAction(file, QObject::tr("&Remove From Repository"));
    file->addSeparator();
    actions.programSettings = AddAction(file, QObject::tr("&Program Settings..."));
    file->addSeparator();
    // Exit is also the desktop's Quit key, Ctrl+Q on Linux desktops, also where the platform
    // names no key for it.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    actions.exit = AddAction(file, QObject::tr("E&xit"),
                             quitKeys.isEmpty() ? QKeySequence("Ctrl+Q") : quitKeys.first());

    QMenu* edit = bar->addMenu(QObject::tr("&Edit"));
    const QList<QKeySequence> undoKeys = QKeySequence::keyBindings(QKeySequence::Undo);
    actions.undoTrash = AddAction(edit, QObject::tr("&Undo Move to Trash"),
                                  undoKeys.isEmpty() ? QKeySequence("Ctrl+Z") : undoKeys.first());
    edit->addSeparator();
    actions.markedPairs = AddAction(edit, QObject::tr("Pairs &Marked Not Similar..."));

    QMenu* view = bar->addMenu(QObject::tr("&View"));
    actions.repositoryOrder = AddAction(view, QObject::tr("&Repository Order"));
    // The tree starts in the repository's order.
    actions.repositoryOrder->setEnabled(false);

    QMenu* action = bar->addMenu(QObject::tr("&Action"));
    actions.searchSimilar =
        AddAction(action, QObject::tr("&Search Similar..."), QKeySequence("Ctrl+F"));
    actions.testRepository =
        AddAction(action, QObject::tr("&Test Repository For Similar"), QKeySequence("F5"));
    action->addSeparator();
    actions.nextSimilar = AddAction(action, QObject::tr("Next Similar"), QKeySequence("F3"));
    actions.compareSideBySide =
        AddAction(action, QObject::tr("&Compare Side by Side..."), QKeySequence("Ctrl+D"));
    actions.markNotSimilar =
        AddAction(action, QObject::tr("&Mark as Not Similar"), QKeySequence("Ctrl+M"));
    actions.deleteAllSimilar = AddAction(action, QObject::tr("Delete All Similar..."));
    actions.keepOneOfEachGroup = AddAction(action, QObject::tr("&Keep One of Each Group..."));
    actions.deleteAllDamaged = AddAction(action, QObject::tr("Delete All Damaged..."));
    action->addSeparator();
    actions.deleteFile = AddAction(action, QObject::tr("&Delete File..."), QKeySequence("Del"));
    actions.openFile = AddAction(action, QObject::tr("&Open File..."));
    actions.findFile = AddAction(action, QObject::tr("&Find File..."));

    QMenu* help = bar->addMenu(QObject::tr("&Help"));
    actions.helpFile = AddAction(help, QObject::tr("&Help File..."), QKeySequence("F1"));
    actions.about = AddAction(help, QObject::tr("&About..."));
    return actions;
}

QMenu* BuildContextMenu(QMainWindow& window, const MainActions& actions) {
    auto* menu = new QMenu(&window);
    menu->addAction(actions.nextSimilar);
    menu->addAction(actions.compareSideBySide);
    menu->addAction(actions.markNotSimilar);
    menu->addSeparator();
    menu->addAction(actions.deleteFile);
    menu->addAction(actions.openFile);
    menu->addAction(actions.findFile);
    return menu;
}

}  // namespace vistrel
