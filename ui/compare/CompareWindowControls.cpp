// The compare window's controls and keys, and the zoom that its views share.

#include "CompareWindow.h"

#include "ComparePanel.h"
#include "CompareWindowHost.h"
#include "common/FileManagerItem.h"

#include <QAction>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

namespace {

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

void CompareWindow::BuildControls() {
    factorLabel = new QLabel(this);
    QFont bold = factorLabel->font();
    bold.setBold(true);
    factorLabel->setFont(bold);
    pairLabel = new QLabel(this);
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
    markButton = MakeButton(tr("Not Similar"),
                            tr("M: mark this pair as not similar, and show the next one"), this);
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
    top->addWidget(pairLabel);
    top->addSpacing(16);
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
    tools->addWidget(markButton);
    tools->addSpacing(16);
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
    connect(markButton, &QPushButton::clicked, this, &CompareWindow::MarkNotSimilar);
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
    key({QKeySequence(Qt::Key_M)}, &CompareWindow::MarkNotSimilar);
    // The program has one undo history, the main window's: Undo here takes back a move or a
    // mark made here or there, and the host tells this window of the pairs that come back.
    QList<QKeySequence> undoKeys = QKeySequence::keyBindings(QKeySequence::Undo);
    if (undoKeys.isEmpty()) {
        undoKeys.append(QKeySequence(QStringLiteral("Ctrl+Z")));
    }
    auto* undo = new QAction(this);
    undo->setShortcuts(undoKeys);
    undo->setShortcutContext(Qt::WindowShortcut);
    connect(undo, &QAction::triggered, this, [this] { host.UndoLastStep(); });
    addAction(undo);
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

}  // namespace vistrel
