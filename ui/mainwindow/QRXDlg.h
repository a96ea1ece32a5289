#pragma once

#include "MainActions.h"
#include "TrashUndoCommand.h"
#include "TreePlace.h"
#include "compare/CompareWindowHost.h"
#include "repository/PictureRepository.h"
#include "settings/UserSettings.h"

#include <QHash>
#include <QList>
#include <QMainWindow>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QGroupBox;
class QHelpEvent;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QUndoStack;

namespace vistrel {

class NotSimilarMarks;
class PreviewBox;
class PictureTreeItem;
class PreviewLoader;
struct PreviewPicture;
class SignatureCache;
class TreeFactsReader;
struct TreeBuild;

/// Which entries the picture tree shows.
enum class ViewFilter : std::int32_t { All = 0, WithSimilar = 1, WithLoadError = 2 };

/// The main window: owns the one repository, shows it as a tree of pictures with their similar
/// pictures, previews the selected picture, and carries out every command of the menus, keys
/// and buttons. GUI thread.
class CQRXDlg : public QMainWindow, public CompareWindowHost {
    Q_OBJECT

public:
    /// `userSettings`: the user's choices as loaded at start; the window keeps them, and
    /// Program Settings edits them. `signatureCache`: where every adding of pictures (Add To
    /// Repository, Search Similar, Open) looks signatures up and keeps them; null for none.
    /// `notSimilarMarks`: the user's pairs marked not similar, which every run leaves out and
    /// Mark as Not Similar adds to; null (or a closed store) for none, and the marking commands
    /// are then off.
    explicit CQRXDlg(const UserSettings& userSettings = {},
                     std::shared_ptr<SignatureCache> signatureCache = nullptr,
                     std::shared_ptr<NotSimilarMarks> notSimilarMarks = nullptr,
                     QWidget* parent = nullptr);
    ~CQRXDlg() override;

    /// Gives the window the size, position and maximised state it had when it last closed.
    void RestoreWindowGeometry();

    CPictureRepository& Repository() { return *repository; }
    const MainActions& Actions() const { return actions; }
    /// The user's choices every command reads.
    const UserSettings& Settings() const { return settings; }
    QTreeWidget* Tree() const { return tree; }
    PreviewBox* Preview() const { return preview; }
    QLabel* SizeLabel() const { return sizeLabel; }
    ViewFilter Filter() const { return viewFilter; }
    /// False while a rebuild of the tree is under way: a tree of more entries than a piece is
    /// made a piece per turn of the event loop, and shows its items once they are all made.
    bool TreeBuilt() const { return treeBuild == nullptr; }
    /// How many entries a rebuild makes items for per turn of the event loop; a tree of no more
    /// is rebuilt within the call. For tests.
    void SetTreePieceSize(std::int32_t entries) { treePiece = std::max<std::int32_t>(1, entries); }

    /// Enables the commands by the state of the repository: empty, any links, any load errors;
    /// marks the title modified or not by the repository.
    void UpdateCommandStates();
    /// Replaces the repository by an empty one, first offering to save a modified one. False,
    /// with the repository kept, when the user cancels or the save does not happen.
    bool DiscardRepository();
    /// Rebuilds the tree from the repository under the view filter, then the command states,
    /// the totals and the preview. Selects the first item. The tree stays sorted as the user
    /// chose.
    void RefreshTree();
    /// Rebuilds the tree as RefreshTree does, after a command that took pictures out or put
    /// them back (Delete File, Remove, Undo): the user stays where they were, the selected item
    /// kept or, when it is gone, its neighbour selected (the next one, or the previous one at
    /// the end), the open items open and the scroll position as it was.
    void RefreshTreeKeepingPlace();
    /// Rebuilds the tree as RefreshTree does, then selects the item of `entry` when it is shown.
    void RefreshTreeSelecting(std::int32_t entry);
    /// Adds `note` to the status bar beside the totals, until they are next written; during a
    /// rebuild, beside the totals it writes.
    void AddStatusNote(const QString& note);
    /// Writes "Total items: N" (with the filter's wording) into the status bar, and marks the
    /// title modified or not by the repository.
    void UpdateTotals();
    /// Shows the selected item's size from its file's header at once, and its picture once a
    /// worker has decoded it; a picture that cannot be decoded then marks its entry unreadable
    /// and rebuilds the tree.
    void UpdatePreview();
    /// Chooses the view filter, as its radio button does.
    void SetFilter(ViewFilter filter);
    /// The text of the status bar: the totals, or what a command is doing.
    QString StatusText() const;
    /// The status bar's summary of the links: "N pictures have near-copies, in G groups", or
    /// nothing when there are no links.
    QString GroupsText() const;
    void SetStatusText(const QString& text);
    /// The path of the tree's selected item (a top-level or a child item), or an empty string.
    QString SelectedPath() const;
    /// Asks whether to move `path` to the trash (the question parented to `asker`), moves it,
    /// records it for Undo Move to Trash, drops its entry and rebuilds the tree. Says so when
    /// the trash refuses the file, which then keeps its entry. True when the file went.
    /// `lastCopyWarning`, when given, is added to the question, and No is then the default.
    /// A file in a reference folder, before the question or after it, stays (the user is told
    /// why): Move Left/Right to Trash never moves one.
    bool TrashPictureFile(const QString& path, QWidget* asker,
                          const QString& lastCopyWarning = QString()) override;
    const CPictureRepository& ShownRepository() const override { return *repository; }
    /// The window's one undo history: moves to the trash and marks as not similar.
    QUndoStack* UndoStack() const { return undoStack; }
    /// The store of pairs marked not similar; null when the window has none.
    const std::shared_ptr<NotSimilarMarks>& Marks() const { return marks; }
    /// Marks each pair of entries (by their paths) as not similar, as one step of the undo
    /// history, and takes their links out of the repository and the tree. Pairs whose entries
    /// are gone or cannot be read are passed over. Says so (parented to `asker`) when the marks
    /// could not be kept, and then nothing changes. True when the pairs were marked.
    bool MarkPairsNotSimilar(const std::vector<std::pair<QString, QString>>& pairs, QWidget* asker);
    bool CanMarkPairs() const override { return marks != nullptr; }
    bool MarkPairNotSimilar(const QString& firstPath, const QString& secondPath,
                            QWidget* asker) override;
    void UndoLastStep() override { UndoMoveToTrash(); }
    /// Marks every linked pair among the entries at `paths` (a group of Keep One of Each
    /// Group), as one step of the undo history.
    bool MarkGroupNotSimilar(const QStringList& paths, QWidget* asker);

public slots:
    // Repository commands.
    void NewRepository();
    /// Asks for a repository file and opens it with OpenRepositoryFile.
    void OpenRepository();
    /// Opens `path` as File > Open does once a file was chosen: refuses a file that is not a
    /// regular one, offers to save a modified repository, loads behind the "Opening
    /// Repository" dialog and says so when the file cannot be read (the repository is then
    /// empty). Its Cancel leaves the repository, its file name and the tree as they were. True
    /// when the file was opened.
    bool OpenRepositoryFile(const QString& path);
    /// Opens a file of Recent Repositories as OpenRepositoryFile does; a file that is gone is
    /// taken off the list, and the user is told.
    void OpenRecentRepository(const QString& path);
    /// Opens `path` with OpenRepositoryFile once the event loop runs, so that the wait dialog
    /// has its parent on screen: the file given on the command line.
    void OpenRepositoryFileLater(const QString& path);
    /// Asks for a file and saves; true when the repository was written.
    bool SaveRepository();
    void AddToRepository();
    void RemoveFromRepository();
    void EditProgramSettings();
    void TestRepository();
    void SearchSimilar();
    void NextSimilar();
    // File actions, help and About.
    void DeleteFile();
    void OpenFile();
    void FindFile();
    void DeleteAllSimilar();
    void DeleteAllDamaged();
    /// Lets the user choose one picture to keep of each group of similar pictures and moves
    /// the others to the trash, recorded for Undo Move to Trash; reports what stayed.
    void KeepOneOfEachGroup();
    /// Edit > Undo: takes back the last step of the undo history. A clean-up's moves to the
    /// trash: puts the files back, adds their entries again and lists the files that could not
    /// come back. A mark as not similar: removes the mark and links the pair again.
    void UndoMoveToTrash();
    /// Mark as Not Similar: the selected similar picture and its parent item's picture.
    void MarkSelectedPair();
    /// Shows the window "Pairs Marked Not Similar".
    void ShowMarkedPairs();
    /// View > Repository Order: the tree in the repository's own order again, unsorted.
    void ShowRepositoryOrder();
    void HelpFile();
    void About();

signals:
    /// The commands were enabled anew: the repository, its links or the selection may have
    /// changed.
    void CommandStatesUpdated();

protected:
    /// Offers to save a modified repository; Cancel, or a save that did not happen, keeps the
    /// window open.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The user's reference folders as they are now, for a command about to move files.
    ReferenceFolders References() const { return ReferenceFolders(settings.referenceFolders); }
    /// Tells the user, and returns true, when `path` lies in a reference folder now.
    bool RefuseProtected(const QString& path, QWidget* asker);
    /// Moves `path` to the trash with no question, records it for Undo, drops its entry and
    /// rebuilds the tree; says so when the trash refuses it. True when the file went.
    bool MovePictureFile(const QString& path, QWidget* asker);
    /// Undo's moves of `record`'s files back from the trash, off the GUI thread, with progress
    /// and Stop when they take more than a moment.
    CTrashUndo::PutBack PutBackFiles(CTrashUndo& record);
    /// Colours the items of the pictures in a reference folder and counts them for the status
    /// bar (by path alone).
    void MarkProtectedItems();
    /// Asks whether to save a modified repository: true when it may go (saved, or the user said
    /// No), false on Cancel or when the save was cancelled or failed.
    bool MayDropRepository();
    /// Records the repository file last opened or saved (its name in the title, windowFilePath);
    /// an empty path for none.
    void SetRepositoryFile(const QString& path);
    /// Fills Recent Repositories from the stored list: one entry per file, then "Clear Menu".
    void UpdateRecentMenu();
    /// The title's "[*]" follows the repository's modified flag; a title without a file has none.
    void UpdateWindowModified();
    /// Tells the user, once after a scan, what it left out on purpose.
    void ShowSkippedFiles(const QStringList& skipped);
    /// An empty repository whose signatures go to a store beside the signature cache.
    std::unique_ptr<CPictureRepository> EmptyRepository() const;
    /// Tells the user, once, that signatures are held in memory for want of their store's
    /// file, and after each adding that ran out of memory that it stopped.
    void TellOfSignatureStore();
    void BuildControls(QWidget* client);
    void ConnectCommands();
    void LayOutTree();
    void ShowContextMenu();
    /// Shows the tooltip of the item under the mouse: a picture's facts, and for a similar
    /// picture the difference factor of its link.
    void ShowItemToolTip(const QHelpEvent& event);
    /// Begins a rebuild of the tree, in place of any under way: empties the tree and makes
    /// the first piece of items; a tree of no more than a piece is finished within the call.
    /// `place`: where to bring the user back to; none selects the first item.
    void StartTreeBuild(std::optional<TreePlace> place);
    /// Takes the rebuild under way a turn further (all of it for a tree of no more than a
    /// piece): the items are made a piece per turn; then they go into the tree, the user's
    /// place is restored, the facts not read are asked for, the totals and groups are counted
    /// and the selection previewed, a turn each.
    void ContinueTreeBuild();
    void StepTreeBuild(TreeBuild& build);
    /// Takes the old items out of the tree; they are deleted a piece per turn.
    void TakeOutTreeItems();
    /// Deletes up to `count` of the items taken out of the tree by rebuilds.
    void RetireTreeItems(std::size_t count);
    /// Sorts the tree by `column` as the header shows it (a click on a title).
    void SortTree(int column, Qt::SortOrder order);
    /// Where the user is, or, during a rebuild, where the rebuild will bring them back to.
    /// `neighbours`: as SaveTreePlace takes it.
    std::optional<TreePlace> CurrentPlace(bool neighbours = true) const;
    /// The item of entry `index`, with the facts read of its file.
    PictureTreeItem* MakeEntryItem(std::int32_t index) const;
    /// Writes the totals for `count` items, as UpdateTotals does.
    void ShowTotals(int count);
    /// The tree's columns, their widths and the sorting by a click on a title.
    void SetUpTreeColumns();
    /// Gives the items of `paths` the facts of their files just read; `done`: nothing waits to
    /// be read any more, so a tree sorted by facts is sorted again.
    void FillInFacts(const QStringList& paths, bool done);
    /// Reads the marks again into the window "Pairs Marked Not Similar", when it is open.
    void ReloadMarkedPairs();
    /// Whether Mark as Not Similar works on the tree's selection: a similar picture of two
    /// readable pictures, and a store to keep the mark.
    bool CanMarkSelectedPair() const;
    /// Counts the groups of linked pictures into the status bar's right end.
    void UpdateGroupsText();
    /// Gives a top-level item its child items, one per similar picture, the first time it is
    /// expanded: at a lax threshold a repository has millions of links, too many items to
    /// make at once.
    void AddChildItems(QTreeWidgetItem* item);
    /// True when the item has child items, made or still to be made.
    bool HasChildItems(const QTreeWidgetItem* item) const;
    /// The number of items, child items still to be made included.
    int CountItems() const;
    /// Shows what the preview's worker decoded, when it is still the selected item's picture;
    /// a damaged picture marks its entry unreadable and rebuilds the tree.
    void ShowPreview(const PreviewPicture& loaded);
    std::unique_ptr<CPictureRepository> repository;
    bool storeWarned = false;
    UserSettings settings;
    std::shared_ptr<SignatureCache> signatureCache;
    QUndoStack* undoStack = nullptr;
    /// What the last Undo Move to Trash did, for its report.
    TrashUndoResult lastUndo;
    /// Records each clean-up's moves to the trash as a step of the undo history.
    TrashRecorder trashUndo;
    std::shared_ptr<NotSimilarMarks> marks;
    MainActions actions;
    QMenu* contextMenu = nullptr;
    QWidget* client = nullptr;
    QGroupBox* previewGroup = nullptr;
    PreviewBox* preview = nullptr;
    /// Decodes the selected picture off the GUI thread; made with the first preview.
    PreviewLoader* previewLoader = nullptr;
    QLabel* sizeLabel = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* deleteSimilarButton = nullptr;
    QPushButton* deleteDamagedButton = nullptr;
    QRadioButton* showAll = nullptr;
    QRadioButton* showSimilar = nullptr;
    QRadioButton* showLoadError = nullptr;
    QTreeWidget* tree = nullptr;
    /// Reads the sizes and dates the tree's columns show, off the GUI thread.
    TreeFactsReader* factsReader = nullptr;
    /// The top-level item of each entry, null for an entry the filter leaves out, as the tree
    /// was last rebuilt; and the child items made without their file's facts, by path. A batch
    /// of facts read reaches its own items through them, so that filling in a tree of hundreds
    /// of thousands costs what the batch holds. Emptied as the tree is cleared.
    std::vector<PictureTreeItem*> entryItems;
    QHash<QString, QList<PictureTreeItem*>> childrenAwaitingFacts;
    /// The rebuild of the tree under way, null when none; the timer that makes its next piece.
    std::unique_ptr<TreeBuild> treeBuild;
    QTimer* treeBuildTimer = nullptr;
    std::int32_t treePiece = 4096;
    std::vector<std::unique_ptr<QTreeWidgetItem>> retiredItems;
    /// A permanent label: a temporary status message would be wiped by menu hovering.
    QLabel* statusText = nullptr;
    /// The right end of the status bar: how many pictures have near-copies, in how many groups.
    QLabel* groupsText = nullptr;
    ViewFilter viewFilter = ViewFilter::All;
    /// How many entries lie in a reference folder, as MarkProtectedItems last counted.
    std::int32_t protectedCount = 0;
    /// The tree's selection changes are acted on only while true (not during a rebuild).
    bool treeEventsEnabled = true;
};

}  // namespace vistrel
