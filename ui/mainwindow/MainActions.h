#pragma once

class QAction;
class QMainWindow;
class QMenu;

namespace vistrel {

/// The main window's commands, each one QAction shared by the menu, its key and the context
/// menu; built with the menu bar by BuildMainMenu. Owned by the window.
struct MainActions {
    QAction* newRepository = nullptr;
    QAction* openRepository = nullptr;
    /// "Recent Repositories": filled by the window with the files and "Clear Menu".
    QMenu* recentRepositories = nullptr;
    QAction* saveRepository = nullptr;
    /// "Export Results...": the similar pairs as CSV or JSON.
    QAction* exportResults = nullptr;
    QAction* addToRepository = nullptr;
    QAction* removeFromRepository = nullptr;
    QAction* programSettings = nullptr;
    /// "Exit", with the Quit key: closes the window as its close button does.
    QAction* exit = nullptr;
    /// "Undo Move to Trash", with the Undo key: puts back what the last clean-up moved.
    QAction* undoTrash = nullptr;
    /// "Pairs Marked Not Similar...": the window listing the marks.
    QAction* markedPairs = nullptr;
    /// "Repository Order": the tree unsorted again, in the repository's own order; enabled
    /// while the tree is sorted by a column.
    QAction* repositoryOrder = nullptr;
    QAction* searchSimilar = nullptr;
    QAction* testRepository = nullptr;
    QAction* nextSimilar = nullptr;
    /// Shows the selected similar picture and its parent item's picture side by side.
    QAction* compareSideBySide = nullptr;
    /// Marks the selected similar picture and its parent item's picture as not similar.
    QAction* markNotSimilar = nullptr;
    QAction* deleteAllSimilar = nullptr;
    /// Moves all but one picture of each group of similar pictures to the trash.
    QAction* keepOneOfEachGroup = nullptr;
    QAction* deleteAllDamaged = nullptr;
    QAction* deleteFile = nullptr;
    QAction* openFile = nullptr;
    QAction* findFile = nullptr;
    QAction* helpFile = nullptr;
    QAction* about = nullptr;
};

/// Fills the menu bar of `window` with the "&File", "&Edit", "&View", "&Action" and "&Help" menus
/// and returns their actions, with their keys. GUI thread.
MainActions BuildMainMenu(QMainWindow& window);

/// The tree's context menu: "Next Similar", "Compare Side by Side", "Mark as Not Similar", a
/// separator, "Delete File...",
/// "Open File...", "Find File...", sharing the main menu's actions. Owned by `window`.
QMenu* BuildContextMenu(QMainWindow& window, const MainActions& actions);

}  // namespace vistrel
