#include "CompareWindow.h"

#include "ComparePanel.h"
#include "FileManagerItem.h"
#include "LatestJob.h"
#include "QRXDlg.h"
#include "SettingsStore.h"
#include "SimilarPairs.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

namespace {

// Where the window's size and place are kept, beside the program settings.
const char* const kGeometryValue = "CompareWindowGeometry";

// The pictures take turns this often in the blinking view: about twice a second each.
constexpr int kBlinkMilliseconds = 500;
// A zoom key zooms by this much; an arrow key pans by this share of the view.
constexpr double kZoomStep = 1.25;
constexpr double kPanShare = 0.125;

QPushButton* MakeButton(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

double FitFor(const QSize& picture, const QSize& box) {
    if (picture.isEmpty() || box.isEmpty()) {
        return 0.0;
    }
    return std::min(static_cast<double>(box.width()) / picture.width(),
                    static_cast<double>(box.height()) / picture.height());
}

}  // namespace

CompareWindow::CompareWindow(CQRXDlg& owner) : QWidget(&owner, Qt::Window), owner(owner) {
    setWindowTitle(tr("Compare Side by Side"));
    for (const Side side : {kLeft, kRight}) {
        loaders[side] = std::make_unique<LatestJob<LoadedPicture>>(
            [this, side](const LoadedPicture& loaded) { PictureLoaded(side, loaded); });
        factReaders[side] = std::make_unique<LatestJob<ReadFacts>>(
            [this, side](const ReadFacts& read) { FactsRead(side, read); });
    }
    differ = std::make_unique<LatestJob<Difference>>(
        [this](const Difference& made) { DifferenceMade(made); });
    connect(&owner, &CQRXDlg::CommandStatesUpdated, this, &CompareWindow::RepositoryChanged);
    blinkTimer.setInterval(kBlinkMilliseconds);
    connect(&blinkTimer, &QTimer::timeout, this, [this] {
        blinkShowsRight = !blinkShowsRight;
        ShowViews();
    });
    BuildControls();
    BuildKeys();

    const QVariant stored =
        QSettings(kSettingsOrganization, kSettingsApplication).value(kGeometryValue);
    if (stored.typeId() != QMetaType::QByteArray || !restoreGeometry(stored.toByteArray())) {
        // The first time: most of the screen the main window is on.
        const QRect screen = owner.screen()->availableGeometry();
        resize(screen.width() * 9 / 10, screen.height() * 9 / 10);
        move(screen.center() - rect().center());
    }
}

CompareWindow::~CompareWindow() {
    if (isVisible()) {
        SaveGeometry();
    }
}

void CompareWindow::BuildControls() {
    factorLabel = new QLabel(this);
    QFont bold = factorLabel->font();
    bold.setBold(true);
    factorLabel->setFont(bold);
    noteLabel = new QLabel(this);
    // A note names a file, and a long name must not widen the window.
    noteLabel->setWordWrap(true);
    previousButton = MakeButton(tr("Previous Pair"), tr("P or Page Up"), this);
    nextButton = MakeButton(tr("Next Pair"), tr("N or Page Down"), this);
    fitButton = MakeButton(tr("Fit"), tr("0"), this);
    actualButton = MakeButton(tr("100 %"), tr("1"), this);
    zoomLabel = new QLabel(this);
    blinkButton = MakeButton(tr("Blink"), tr("B: the two pictures in turn, in one place"), this);
    blinkButton->setCheckable(true);
    differenceButton =
        MakeButton(tr("Difference"), tr("D: where the right picture differs from the left"), this);
    differenceButton->setCheckable(true);
    closeButton = MakeButton(tr("Close"), tr("Escape"), this);
    for (const Side side : {kLeft, kRight}) {
        views[side] = new CompareView(zoom, this);
        connect(views[side], &CompareView::ZoomChanged, this, [this] {
            views[kLeft]->update();
            views[kRight]->update();
            UpdateZoomLabel();
        });
    }
    panels[kLeft] = new ComparePanel(tr("Move &Left to Trash..."), this);
    panels[kRight] = new ComparePanel(tr("Move &Right to Trash..."), this);

    auto* top = new QHBoxLayout;
    top->addWidget(factorLabel);
    top->addWidget(noteLabel, 1);
    auto* tools = new QHBoxLayout;
    tools->addWidget(previousButton);
    tools->addWidget(nextButton);
    tools->addSpacing(16);
    tools->addWidget(fitButton);
    tools->addWidget(actualButton);
    tools->addWidget(zoomLabel);
    tools->addSpacing(16);
    tools->addWidget(blinkButton);
    tools->addWidget(differenceButton);
    tools->addStretch(1);
    tools->addWidget(closeButton);
    grid = new QGridLayout;
    grid->addWidget(views[kLeft], 0, 0);
    grid->addWidget(views[kRight], 0, 1);
    grid->addWidget(panels[kLeft], 1, 0);
    grid->addWidget(panels[kRight], 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(tools);
    layout->addLayout(grid, 1);

    connect(previousButton, &QPushButton::clicked, this, &CompareWindow::PreviousPair);
    connect(nextButton, &QPushButton::clicked, this, &CompareWindow::NextPair);
    connect(fitButton, &QPushButton::clicked, this, &CompareWindow::FitToWindow);
    connect(actualButton, &QPushButton::clicked, this, &CompareWindow::ActualSize);
    connect(blinkButton, &QPushButton::toggled, this, &CompareWindow::SetBlink);
    connect(differenceButton, &QPushButton::toggled, this, &CompareWindow::SetDifference);
    connect(closeButton, &QPushButton::clicked, this, &CompareWindow::close);
    for (const Side side : {kLeft, kRight}) {
        ComparePanel* panel = panels[side];
        connect(panel->OpenButton(), &QPushButton::clicked, this, [this, side] {
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(paths[side]))) {
                QMessageBox::warning(this, tr("Open picture file"),
                                     tr("Could not open file\"%1\"").arg(paths[side]));
            }
        });
        connect(panel->FindButton(), &QPushButton::clicked, this,
                [this, side] { ShowInFileManager(paths[side]); });
        connect(panel->TrashButton(), &QPushButton::clicked, this,
                [this, side] { TrashPicture(side); });
    }
}

void CompareWindow::BuildKeys() {
    const auto key = [this](std::initializer_list<QKeySequence> keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcuts(QList<QKeySequence>(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    key({QKeySequence(Qt::Key_N), QKeySequence(Qt::Key_PageDown)}, &CompareWindow::NextPair);
    key({QKeySequence(Qt::Key_P), QKeySequence(Qt::Key_PageUp)}, &CompareWindow::PreviousPair);
    key({QKeySequence(Qt::Key_B)}, [this] { blinkButton->toggle(); });
    key({QKeySequence(Qt::Key_D)}, [this] { differenceButton->toggle(); });
    key({QKeySequence(Qt::Key_0)}, &CompareWindow::FitToWindow);
    key({QKeySequence(Qt::Key_1)}, &CompareWindow::ActualSize);
    const auto zoomBy = [this](double factor) {
        CompareView* view = views[kLeft];
        view->ZoomBy(factor, QPointF(view->width() / 2.0, view->height() / 2.0));
    };
    key({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn},
        [zoomBy] { zoomBy(kZoomStep); });
    key({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut}, [zoomBy] { zoomBy(1 / kZoomStep); });
    const auto pan = [this](double x, double y) {
        CompareView* view = views[kLeft];
        view->PanBy(QPointF(x * view->width() * kPanShare, y * view->height() * kPanShare));
    };
    key({QKeySequence(Qt::Key_Left)}, [pan] { pan(1, 0); });
    key({QKeySequence(Qt::Key_Right)}, [pan] { pan(-1, 0); });
    key({QKeySequence(Qt::Key_Up)}, [pan] { pan(0, 1); });
    key({QKeySequence(Qt::Key_Down)}, [pan] { pan(0, -1); });
    key({QKeySequence(Qt::Key_Escape)}, &CompareWindow::close);
}

void CompareWindow::ShowPair(const QString& leftPath, const QString& rightPath,
                             const QString& note) {
    const std::array<std::optional<LoadedPicture>, 2> before = pictures;
    const std::array<std::optional<PictureFacts>, 2> factsBefore = facts;
    const std::array<QString, 2> pathsBefore = paths;
    paths = {leftPath, rightPath};
    difference.reset();
    differ->Drop();
    for (const Side side : {kLeft, kRight}) {
        // A picture of the pair shown before is not decoded again.
        const auto same = std::find(pathsBefore.begin(), pathsBefore.end(), paths[side]);
        const auto k = static_cast<std::size_t>(same - pathsBefore.begin());
        const bool reuse = same != pathsBefore.end() && before[k].has_value() && factsBefore[k];
        StartLoading(side, reuse ? &*before[k] : nullptr,
                     reuse ? factsBefore[k] : std::optional<PictureFacts>());
    }
    zoom = ViewZoom();
    noteLabel->setText(note);
    stale = false;
    ShowFactor();
    ShowFacts();
    ShowViews();
    UpdateZoomLabel();
    setWindowTitle(tr("%1 and %2 - Compare Side by Side")
                       .arg(QFileInfo(leftPath).fileName(), QFileInfo(rightPath).fileName()));
    show();
    raise();
    activateWindow();
}

void CompareWindow::StartLoading(Side side, const LoadedPicture* reuse,
                                 const std::optional<PictureFacts>& known) {
    const QString path = paths[side];
    facts[side] = known;
    if (reuse != nullptr) {
        pictures[side] = *reuse;
        loaders[side]->Drop();
    } else {
        pictures[side].reset();
        loaders[side]->Start([path] { return LoadComparePicture(path); });
    }
    if (known) {
        factReaders[side]->Drop();
    } else {
        factReaders[side]->Start([path] { return ReadFacts{path, ReadPictureFacts(path)}; });
    }
}

void CompareWindow::ReadFactsAgain(Side side) {
    const QString path = paths[side];
    facts[side].reset();
    factReaders[side]->Start([path] { return ReadFacts{path, ReadPictureFacts(path)}; });
}

void CompareWindow::PictureLoaded(Side side, const LoadedPicture& loaded) {
    if (loaded.path != paths[side] || pictures[side]) {
        return;  // a picture of a pair no longer shown
    }
    pictures[side] = loaded;
    ShowViews();
    UpdateZoomLabel();
}

void CompareWindow::FactsRead(Side side, const ReadFacts& read) {
    if (read.path != paths[side] || facts[side]) {
        return;
    }
    facts[side] = read.facts;
    ShowFacts();
}

void CompareWindow::DifferenceMade(const Difference& made) {
    if (made.first != paths[kLeft] || made.second != paths[kRight]) {
        return;
    }
    difference = made.map;
    ShowViews();
}

bool CompareWindow::IsLoading() const {
    const bool differenceDue = differenceButton->isChecked() && !difference && pictures[kLeft] &&
                               pictures[kRight] && !pictures[kLeft]->picture.IsNull() &&
                               !pictures[kRight]->picture.IsNull();
    return !pictures[kLeft] || !pictures[kRight] || !facts[kLeft] || !facts[kRight] ||
           differenceDue;
}

void CompareWindow::ShowViews() {
    const bool single = blinkButton->isChecked() || differenceButton->isChecked();
    if (single != singleView) {
        // In the blinking and the difference view one picture takes the place of both.
        singleView = single;
        grid->removeWidget(views[kLeft]);
        grid->addWidget(views[kLeft], 0, 0, 1, single ? 2 : 1);
        views[kRight]->setVisible(!single);
    }
    if (differenceButton->isChecked()) {
        const bool both = pictures[kLeft] && pictures[kRight];
        if (!both) {
            views[kLeft]->ShowMessage(tr("Loading..."));
        } else if (pictures[kLeft]->picture.IsNull() || pictures[kRight]->picture.IsNull()) {
            views[kLeft]->ShowMessage(tr("The difference view needs both pictures."));
        } else if (difference) {
            views[kLeft]->ShowPicture(*difference, tr("Difference"));
        } else {
            views[kLeft]->ShowMessage(tr("Working out where the pictures differ..."));
            const QImage first = pictures[kLeft]->picture.Full();
            const QImage second = pictures[kRight]->picture.Full();
            const QString firstPath = paths[kLeft];
            const QString secondPath = paths[kRight];
            differ->Start([first, second, firstPath, secondPath] {
                return Difference{firstPath, secondPath, MakeDifferenceMap(first, second)};
            });
        }
    } else if (blinkButton->isChecked()) {
        const Side shown = blinkShowsRight ? kRight : kLeft;
        const QString name = QFileInfo(paths[shown]).fileName();
        ShowSide(views[kLeft], shown,
                 shown == kLeft ? tr("Left: %1").arg(name) : tr("Right: %1").arg(name));
    } else {
        ShowSide(views[kLeft], kLeft, QString());
        ShowSide(views[kRight], kRight, QString());
    }
}

void CompareWindow::ShowSide(CompareView* view, Side side, const QString& caption) {
    const std::optional<LoadedPicture>& loaded = pictures[side];
    if (!loaded) {
        view->ShowMessage(tr("Loading..."));
    } else if (loaded->picture.IsNull()) {
        view->ShowMessage(tr("Cannot show this picture: %1").arg(loaded->error));
    } else {
        view->ShowPicture(loaded->picture, caption);
    }
}

void CompareWindow::ShowFacts() {
    panels[kLeft]->ShowFacts(paths[kLeft], facts[kLeft], facts[kRight]);
    panels[kRight]->ShowFacts(paths[kRight], facts[kRight], facts[kLeft]);
    if (stale) {
        for (ComparePanel* panel : panels) {
            panel->TrashButton()->setEnabled(false);
        }
    }
}

void CompareWindow::ShowFactor() {
    const std::optional<SimilarPair> pair =
        FindSimilarPair(owner.Repository(), paths[kLeft], paths[kRight]);
    stale = !pair;
    if (!pair) {
        factorLabel->setText(tr("Not a similar pair"));
        return;
    }
    // As the threshold: the factor in percent of its 0..255 scale.
    factorLabel->setText(tr("Difference factor: %1 (%2 %)")
                             .arg(pair->factor)
                             .arg(pair->factor * 100.0 / 256.0, 0, 'f', 1));
}

void CompareWindow::RepositoryChanged() {
    if (trashing || !isVisible()) {
        return;
    }
    const bool wasStale = stale;
    ShowFactor();
    if (stale && !wasStale) {
        noteLabel->setText(
            tr("This pair is no longer among the similar pictures; Next Pair "
               "starts again from the first pair."));
        // A file of the pair may have gone with its entry.
        for (const Side side : {kLeft, kRight}) {
            ReadFactsAgain(side);
        }
    }
    ShowFacts();
}

void CompareWindow::NextPair() {
    Step(true);
}

void CompareWindow::PreviousPair() {
    Step(false);
}

void CompareWindow::Step(bool forward) {
    const CPictureRepository& repository = owner.Repository();
    const PairStep step = StepSimilarPair(
        repository, FindSimilarPair(repository, paths[kLeft], paths[kRight]), forward);
    if (!step.pair) {
        noteLabel->setText(tr("The repository has no similar pairs."));
        return;
    }
    QString note;
    if (step.wrapped) {
        note = forward ? tr("Back at the first pair.") : tr("Back at the last pair.");
    }
    ShowPair(repository.GetPicture(step.pair->first).path,
             repository.GetPicture(step.pair->second).path, note);
}

void CompareWindow::TrashPicture(Side side) {
    const CPictureRepository& repository = owner.Repository();
    const std::optional<SimilarPair> pair =
        FindSimilarPair(repository, paths[kLeft], paths[kRight]);
    if (!pair) {
        RepositoryChanged();
        return;
    }
    // The pair to show next is found before the file goes: its entries' indices change then,
    // their paths do not.
    const std::int32_t going = side == kLeft ? pair->first : pair->second;
    const PairStep next = StepSimilarPair(repository, pair, true, going);
    QString nextPaths[2];
    if (next.pair) {
        nextPaths[kLeft] = repository.GetPicture(next.pair->first).path;
        nextPaths[kRight] = repository.GetPicture(next.pair->second).path;
    }
    const QString path = paths[side];
    trashing = true;
    const bool went = owner.TrashPictureFile(path, this);
    trashing = false;
    if (!went) {
        // The main window has said why, if the trash refused it; the file may also have gone
        // meanwhile, which its facts will show.
        noteLabel->setText(
            tr("\"%1\" was not moved to the trash.").arg(QFileInfo(path).fileName()));
        ReadFactsAgain(side);
        RepositoryChanged();
        return;
    }
    if (!next.pair || !FindSimilarPair(owner.Repository(), nextPaths[kLeft], nextPaths[kRight])) {
        close();
        return;
    }
    ShowPair(nextPaths[kLeft], nextPaths[kRight],
             tr("Moved \"%1\" to the trash.").arg(QFileInfo(path).fileName()));
}

void CompareWindow::SetBlink(bool on) {
    if (on && differenceButton->isChecked()) {
        differenceButton->setChecked(false);
    }
    blinkShowsRight = false;
    if (on) {
        blinkTimer.start();
    } else {
        blinkTimer.stop();
    }
    ShowViews();
}

void CompareWindow::SetDifference(bool on) {
    if (on && blinkButton->isChecked()) {
        blinkButton->setChecked(false);
    }
    ShowViews();
}

double CompareWindow::SmallestFit() const {
    const QSize box = views[kLeft]->size();
    double smallest = 0.0;
    for (const std::optional<LoadedPicture>& loaded : pictures) {
        const double fit = loaded ? FitFor(loaded->picture.FullSize(), box) : 0.0;
        if (fit > 0.0 && (smallest == 0.0 || fit < smallest)) {
            smallest = fit;
        }
    }
    return smallest;
}

void CompareWindow::FitToWindow() {
    zoom = ViewZoom();
    views[kLeft]->update();
    views[kRight]->update();
    UpdateZoomLabel();
}

void CompareWindow::ActualSize() {
    const double fit = SmallestFit();
    if (fit <= 0.0) {
        return;
    }
    zoom.zoom = std::clamp(1.0 / fit, CompareView::kMinZoom, CompareView::kMaxZoom / fit);
    views[kLeft]->update();
    views[kRight]->update();
    UpdateZoomLabel();
}

void CompareWindow::UpdateZoomLabel() {
    const double fit = SmallestFit();
    zoomLabel->setText(fit > 0.0 ? tr("%1 %").arg(qRound(fit * zoom.zoom * 100)) : QString());
}

void CompareWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateZoomLabel();
}

void CompareWindow::StopWork() {
    blinkButton->setChecked(false);
    for (const Side side : {kLeft, kRight}) {
        loaders[side]->Drop();
        factReaders[side]->Drop();
        // Full-size pictures are large; a hidden window keeps none.
        pictures[side].reset();
        facts[side].reset();
    }
    differ->Drop();
    difference.reset();
    paths = {};
    for (CompareView* view : views) {
        view->ShowMessage(QString());
    }
}

void CompareWindow::SaveGeometry() const {
    QSettings(kSettingsOrganization, kSettingsApplication).setValue(kGeometryValue, saveGeometry());
}

void CompareWindow::closeEvent(QCloseEvent* event) {
    SaveGeometry();
    StopWork();
    event->accept();
}

}  // namespace vistrel
