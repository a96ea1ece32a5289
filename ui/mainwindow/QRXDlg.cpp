#include "QRXDlg.h"

#include "CompareCommand.h"
#include "ExportResults.h"
#include "PreviewBox.h"
#include "RecentRepositories.h"
#include "TreeBuild.h"
#include "TreeFactsReader.h"
#include "common/DialogUnits.h"
#include "common/ProgramResources.h"
#include "common/WindowTexts.h"
#include "marks/NotSimilarMarks.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUndoStack>

#include <utility>

namespace vistrel {

namespace {

// The tree fills the client area from this many pixels down to the status bar.
constexpr int kTreeTop = 210;

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& where) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(where);
    button->setAutoDefault(false);
    button->setEnabled(false);
    return button;
}

}  // namespace

CQRXDlg::CQRXDlg(const UserSettings& userSettings, std::shared_ptr<SignatureCache> signatureCache,
                 std::shared_ptr<NotSimilarMarks> notSimilarMarks, QWidget* parent)
    : QMainWindow(parent),
      repository(std::make_unique<CPictureRepository>()),
      settings(userSettings),
      signatureCache(std::move(signatureCache)),
      undoStack(new QUndoStack(this)),
      trashUndo(
          *undoStack, [this]() -> CPictureRepository& { return *repository; },
          [this](const TrashUndoResult& result) { lastUndo = result; },
          [this](CTrashUndo& record) { return PutBackFiles(record); }) {
    // A closed store keeps nothing: the window goes on without marks.
    if (notSimilarMarks != nullptr && notSimilarMarks->IsOpen()) {
        marks = std::move(notSimilarMarks);
    }
    repository = EmptyRepository();  // once the cache is known: the store lies beside it
    setWindowTitle(ProgramName());
    EnsureProgramResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/vistrel.png")));
    client = new QWidget(this);
    setCentralWidget(client);
    // The upper part of the window is laid out in units of an 8-point dialog font, which keeps
    // it above the tree at 210 pixels; the tree itself uses the desktop's font.
    QFont dialogFont = client->font();
    dialogFont.setPointSize(8);
    client->setFont(dialogFont);
    client->installEventFilter(this);
    BuildControls(client);
    actions = BuildMainMenu(*this);
    contextMenu = BuildContextMenu(*this, actions);
    SetUpTreeColumns();
    ConnectCommands();
    UpdateRecentMenu();
    statusText = new QLabel(this);
    statusBar()->addWidget(statusText, 1);
    groupsText = new QLabel(this);
    statusBar()->addPermanentWidget(groupsText);
    SetStatusText(tr("Ready"));

    const QRect clientSize = DialogUnitsToPixels(*client, 0, 0, 465, 247);
    resize(clientSize.width(),
           clientSize.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    showAll->setChecked(true);
    RefreshTree();
}

CQRXDlg::~CQRXDlg() {
    // The tree's notices while it is torn down must change nothing.
    treeEventsEnabled = false;
    factsReader->disconnect(this);
    // The undo history is a child, torn down after this window's own members: its steps go now,
    // while the window they refer to is whole, and its last signals reach nothing of it.
    undoStack->disconnect(this);
    undoStack->clear();
}

void CQRXDlg::BuildControls(QWidget* parent) {
    const auto units = [parent](int x, int y, int width, int height) {
        return DialogUnitsToPixels(*parent, x, y, width, height);
    };
    previewGroup = new QGroupBox(tr("Preview"), parent);
    previewGroup->setGeometry(units(7, 7, 449, 114));
    preview = new PreviewBox(parent);
    deleteButton = MakeButton(parent, tr("Delete file..."), units(162, 24, 80, 14));
    openButton = MakeButton(parent, tr("Open file..."), units(162, 42, 80, 14));
    findButton = MakeButton(parent, tr("Find file..."), units(162, 60, 80, 14));
    nextButton = MakeButton(parent, tr("Next Similar"), units(162, 78, 80, 14));
    deleteSimilarButton = MakeButton(parent, tr("Delete All Similar..."), units(252, 24, 80, 14));
    deleteDamagedButton = MakeButton(parent, tr("Delete All Damaged..."), units(252, 42, 80, 14));
    showAll = new QRadioButton(tr("Show All"), parent);
    showAll->setGeometry(units(342, 24, 43, 10));
    showSimilar = new QRadioButton(tr("Show with similar found only"), parent);
    showSimilar->setGeometry(units(342, 42, 106, 10));
    showLoadError = new QRadioButton(tr("Show with load error"), parent);
    showLoadError->setGeometry(units(342, 60, 82, 10));
    // A text wider than its units in the desktop's font must not be cut off.
    for (QWidget* control : std::initializer_list<QWidget*>{
             deleteButton, openButton, findButton, nextButton, deleteSimilarButton,
             deleteDamagedButton, showAll, showSimilar, showLoadError}) {
        control->resize(std::max(control->width(), control->sizeHint().width()),
                        std::max(control->height(), control->sizeHint().height()));
    }
    sizeLabel = new QLabel(parent);
    sizeLabel->setGeometry(units(143, 103, 127, 8));
    sizeLabel->setAlignment(Qt::AlignCenter);

    tree = new QTreeWidget(parent);
    tree->setFont(QApplication::font());
    factsReader = new TreeFactsReader(this);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setUniformRowHeights(true);
    // Tooltips are made when asked for: each reads a picture file's header.
    tree->viewport()->installEventFilter(this);
    LayOutTree();
}

void CQRXDlg::ConnectCommands() {
    const auto bind = [this](QAction* action, auto slot) {
        connect(action, &QAction::triggered, this, slot);
    };
    bind(actions.newRepository, &CQRXDlg::NewRepository);
    bind(actions.openRepository, &CQRXDlg::OpenRepository);
    bind(actions.saveRepository, &CQRXDlg::SaveRepository);
    connect(actions.exportResults, &QAction::triggered, this,
            [this] { ExportResults(this, *repository, settings.findTurnedCopies); });
    bind(actions.addToRepository, &CQRXDlg::AddToRepository);
    bind(actions.removeFromRepository, &CQRXDlg::RemoveFromRepository);
    bind(actions.programSettings, &CQRXDlg::EditProgramSettings);
    bind(actions.exit, &CQRXDlg::close);
    // Another Vistrel window may have opened or saved a file meanwhile.
    connect(actions.recentRepositories, &QMenu::aboutToShow, this, &CQRXDlg::UpdateRecentMenu);
    bind(actions.searchSimilar, &CQRXDlg::SearchSimilar);
    bind(actions.testRepository, &CQRXDlg::TestRepository);
    bind(actions.nextSimilar, &CQRXDlg::NextSimilar);
    connect(actions.compareSideBySide, &QAction::triggered, this,
            [this] { CompareSelectedPair(*this); });
    bind(actions.deleteAllSimilar, &CQRXDlg::DeleteAllSimilar);
    bind(actions.deleteAllDamaged, &CQRXDlg::DeleteAllDamaged);
    bind(actions.keepOneOfEachGroup, &CQRXDlg::KeepOneOfEachGroup);
    bind(actions.undoTrash, &CQRXDlg::UndoMoveToTrash);
    bind(actions.markNotSimilar, &CQRXDlg::MarkSelectedPair);
    bind(actions.markedPairs, &CQRXDlg::ShowMarkedPairs);
    bind(actions.repositoryOrder, &CQRXDlg::ShowRepositoryOrder);
    // The Undo item names what it takes back; with nothing to undo it keeps its usual name.
    connect(undoStack, &QUndoStack::undoTextChanged, this, [this](const QString& text) {
        actions.undoTrash->setText(text.isEmpty() ? tr("&Undo Move to Trash")
                                                  : tr("&Undo %1").arg(text));
    });
    bind(actions.deleteFile, &CQRXDlg::DeleteFile);
    bind(actions.openFile, &CQRXDlg::OpenFile);
    bind(actions.findFile, &CQRXDlg::FindFile);
    bind(actions.helpFile, &CQRXDlg::HelpFile);
    bind(actions.about, &CQRXDlg::About);

    connect(deleteButton, &QPushButton::clicked, this, &CQRXDlg::DeleteFile);
    connect(openButton, &QPushButton::clicked, this, &CQRXDlg::OpenFile);
    connect(findButton, &QPushButton::clicked, this, &CQRXDlg::FindFile);
    connect(nextButton, &QPushButton::clicked, this, &CQRXDlg::NextSimilar);
    connect(deleteSimilarButton, &QPushButton::clicked, this, &CQRXDlg::DeleteAllSimilar);
    connect(deleteDamagedButton, &QPushButton::clicked, this, &CQRXDlg::DeleteAllDamaged);
    connect(showAll, &QRadioButton::clicked, this, [this] { SetFilter(ViewFilter::All); });
    connect(showSimilar, &QRadioButton::clicked, this,
            [this] { SetFilter(ViewFilter::WithSimilar); });
    connect(showLoadError, &QRadioButton::clicked, this,
            [this] { SetFilter(ViewFilter::WithLoadError); });

    connect(tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (treeEventsEnabled) {
            UpdatePreview();
        }
    });
    connect(tree, &QTreeWidget::customContextMenuRequested, this, &CQRXDlg::ShowContextMenu);
    connect(tree, &QTreeWidget::itemExpanded, this, &CQRXDlg::AddChildItems);
}

bool CQRXDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client && event->type() == QEvent::Resize) {
        LayOutTree();
    }
    if (event->type() == QEvent::ToolTip && tree != nullptr && watched == tree->viewport()) {
        ShowItemToolTip(static_cast<QHelpEvent&>(*event));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CQRXDlg::LayOutTree() {
    // The client widget already ends at the status bar's top.
    const int height = std::max(0, client->height() - kTreeTop);
    tree->setGeometry(0, kTreeTop, client->width(), height);
}

QString CQRXDlg::StatusText() const {
    return statusText->text();
}

void CQRXDlg::SetStatusText(const QString& text) {
    statusText->setText(text);
    // Repainted at once, so that "Processing..." shows before the work that follows it.
    statusText->repaint();
}

void CQRXDlg::UpdateCommandStates() {
    const bool empty = repository->IsEmpty();
    const bool similar = !empty && repository->HasSimilar();
    const bool damaged = !empty && repository->HasLoadErrors();
    for (QAction* action :
         {actions.removeFromRepository, actions.deleteFile, actions.openFile, actions.findFile,
          actions.testRepository, actions.saveRepository, actions.searchSimilar}) {
        action->setEnabled(!empty);
    }
    for (QPushButton* button : {deleteButton, openButton, findButton}) {
        button->setEnabled(!empty);
    }
    actions.nextSimilar->setEnabled(similar);
    actions.deleteAllSimilar->setEnabled(similar);
    actions.keepOneOfEachGroup->setEnabled(similar);
    actions.exportResults->setEnabled(similar);
    nextButton->setEnabled(similar);
    deleteSimilarButton->setEnabled(similar);
    actions.deleteAllDamaged->setEnabled(damaged);
    deleteDamagedButton->setEnabled(damaged);
    actions.undoTrash->setEnabled(undoStack->canUndo());
    actions.compareSideBySide->setEnabled(IsSimilarItemSelected(*tree));
    actions.markNotSimilar->setEnabled(CanMarkSelectedPair());
    actions.markedPairs->setEnabled(marks != nullptr);
    UpdateWindowModified();
    emit CommandStatesUpdated();
}

void CQRXDlg::SetRepositoryFile(const QString& path) {
    if (!path.isEmpty()) {
        AddRecentRepository(path);
        UpdateRecentMenu();
    }
    setWindowFilePath(path);
    setWindowTitle(MainWindowTitle(path));
    UpdateWindowModified();
}

void CQRXDlg::UpdateWindowModified() {
    // Qt warns when a title without "[*]" is marked modified.
    setWindowModified(!windowFilePath().isEmpty() && repository->IsModified());
}

bool CQRXDlg::MayDropRepository() {
    if (!repository->IsModified()) {
        return true;
    }
    const auto answer = QMessageBox::question(
        this, ProgramName(), tr("Do you want to save changes?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    return answer == QMessageBox::No || (answer == QMessageBox::Yes && SaveRepository());
}

bool CQRXDlg::DiscardRepository() {
    if (!MayDropRepository()) {
        return false;
    }
    repository = EmptyRepository();
    factsReader->Forget();
    // The items keep facts the reader has forgotten: a rebuild must not take them over.
    entryItems.clear();
    SetRepositoryFile(QString());
    return true;
}

void CQRXDlg::closeEvent(QCloseEvent* event) {
    if (!MayDropRepository()) {
        event->ignore();
        return;
    }
    treeEventsEnabled = false;
    SaveWindowGeometry(StoredWindow::Main, saveGeometry());
    event->accept();
}

void CQRXDlg::RestoreWindowGeometry() {
    // A missing or damaged value leaves the size the window was made with.
    if (const std::optional<QByteArray> stored = LoadWindowGeometry(StoredWindow::Main)) {
        restoreGeometry(*stored);
    }
}

}  // namespace vistrel
