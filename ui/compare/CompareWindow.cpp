// The compare window's pair: finding it, loading its pictures and facts off the GUI thread,
// stepping to another pair and moving a file of it to the trash.

#include "CompareWindow.h"

#include "ComparePanel.h"
#include "CompareWindowHost.h"
#include "LatestJob.h"
#include "cleanup/CopyCheck.h"
#include "common/FactorText.h"
#include "repository/PairPlace.h"
#include "repository/SimilarPairs.h"
#include "settings/SettingsStore.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace vistrel {

namespace {

// The pictures take turns this often in the blinking view: about twice a second each.
constexpr int kBlinkMilliseconds = 500;

}  // namespace

CompareWindow::CompareWindow(QWidget& parent, CompareWindowHost& host)
    : QWidget(&parent, Qt::Window), host(host) {
    setWindowTitle(tr("Compare Side by Side"));
    for (const Side side : {kLeft, kRight}) {
        loaders[side] = std::make_unique<LatestJob<LoadedPicture>>(
            [this, side](const LoadedPicture& loaded) { PictureLoaded(side, loaded); });
        factReaders[side] = std::make_unique<LatestJob<ReadFacts>>(
            [this, side](const ReadFacts& read) { FactsRead(side, read); });
    }
    differ = std::make_unique<LatestJob<Difference>>(
        [this](const Difference& made) { DifferenceMade(made); });
    enlarger = std::make_unique<LatestJob<Enlargement>>(
        [this](const Enlargement& measured) { EnlargementMeasured(measured); });
    blinkTimer.setInterval(kBlinkMilliseconds);
    connect(&blinkTimer, &QTimer::timeout, this, [this] {
        blinkShowsRight = !blinkShowsRight;
        ShowViews();
    });
    BuildControls();
    BuildKeys();

    const std::optional<QByteArray> stored = LoadWindowGeometry(StoredWindow::Compare);
    if (!stored || !restoreGeometry(*stored)) {
        // The first time: most of the screen the main window is on.
        const QRect screen = parentWidget()->screen()->availableGeometry();
        resize(screen.width() * 9 / 10, screen.height() * 9 / 10);
        move(screen.center() - rect().center());
    }
}

CompareWindow::~CompareWindow() {
    if (isVisible()) {
        SaveGeometry();
    }
}

void CompareWindow::ShowPair(const QString& leftPath, const QString& rightPath,
                             const QString& note) {
    const std::array<std::optional<LoadedPicture>, 2> before = pictures;
    const std::array<std::optional<PictureFacts>, 2> factsBefore = facts;
    const std::array<QString, 2> pathsBefore = paths;
    paths = {leftPath, rightPath};
    difference.reset();
    differ->Drop();
    enlargements.reset();
    enlarger->Drop();
    // A turned or mirrored copy is shown lying as the picture it is compared with.
    const std::optional<SimilarPair> pair =
        FindSimilarPair(host.ShownRepository(), leftPath, rightPath);
    const std::array<Orientation, 2> orientations = {Orientation::None,
                                                     pair ? pair->orientation : Orientation::None};
    for (const Side side : {kLeft, kRight}) {
        // A picture of the pair shown before is not decoded again.
        const auto same = std::find(pathsBefore.begin(), pathsBefore.end(), paths[side]);
        const auto k = static_cast<std::size_t>(same - pathsBefore.begin());
        const bool reuse = same != pathsBefore.end() && before[k].has_value() &&
                           before[k]->orientation == orientations[side] && factsBefore[k];
        StartLoading(side, orientations[side], reuse ? &*before[k] : nullptr,
                     reuse ? factsBefore[k] : std::optional<PictureFacts>());
    }
    MeasureEnlargement();
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

void CompareWindow::StartLoading(Side side, Orientation orientation, const LoadedPicture* reuse,
                                 const std::optional<PictureFacts>& known) {
    const QString path = paths[side];
    facts[side] = known;
    if (reuse != nullptr) {
        pictures[side] = *reuse;
        loaders[side]->Drop();
    } else {
        pictures[side].reset();
        loaders[side]->Start([path, orientation] { return LoadComparePicture(path, orientation); });
    }
    if (known) {
        factReaders[side]->Drop();
    } else {
        factReaders[side]->Start([path] { return ReadFacts{path, ReadShownFacts(path)}; });
    }
}

void CompareWindow::ReadFactsAgain(Side side) {
    const QString path = paths[side];
    facts[side].reset();
    factReaders[side]->Start([path] { return ReadFacts{path, ReadShownFacts(path)}; });
}

void CompareWindow::PictureLoaded(Side side, const LoadedPicture& loaded) {
    if (loaded.path != paths[side] || pictures[side]) {
        return;  // a picture of a pair no longer shown
    }
    pictures[side] = loaded;
    MeasureEnlargement();
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
           !enlargements || differenceDue;
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

void CompareWindow::ShowFactor() {
    const std::optional<SimilarPair> pair =
        FindSimilarPair(host.ShownRepository(), paths[kLeft], paths[kRight]);
    stale = !pair;
    const std::optional<PairPlace> place =
        pair ? PlaceOfPair(host.ShownRepository(), *pair) : std::nullopt;
    pairLabel->setText(place ? tr("Pair %L1 of %L2").arg(place->number).arg(place->count)
                             : QString());
    if (!pair) {
        factorLabel->setText(tr("Not a similar pair"));
        return;
    }
    // On the threshold's scale, as everywhere the user sees a factor.
    QString text = tr("Difference factor: %1").arg(FactorText(static_cast<float>(pair->factor)));
    if (pair->orientation != Orientation::None) {
        text += tr("; the right picture is shown turned to match");
    }
    factorLabel->setText(text);
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
    const CPictureRepository& repository = host.ShownRepository();
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
    const CPictureRepository& repository = host.ShownRepository();
    const std::optional<SimilarPair> pair =
        FindSimilarPair(repository, paths[kLeft], paths[kRight]);
    if (!pair) {
        RepositoryChanged();
        return;
    }
    // The pair to show next is found before the file goes: its entries' indices change then,
    // their paths do not.
    const std::int32_t going = side == kLeft ? pair->first : pair->second;
    const std::array<QString, 2> next = PathsOfStep(StepSimilarPair(repository, pair, true, going));
    const QString path = paths[side];
    // Looked at now, not by the facts read before: the other file may have gone since. Only its
    // header is read.
    QString warning;
    switch (CheckPictureCopy(paths[side == kLeft ? kRight : kLeft])) {
        case CopyState::Missing:
            warning = tr("The other picture of this pair is missing: this may be the last copy.");
            break;
        case CopyState::Unreadable:
            warning =
                tr("The other picture of this pair cannot be read: this may be the last copy.");
            break;
        case CopyState::Readable:
            break;
    }
    trashing = true;
    const bool went = host.TrashPictureFile(path, this, warning);
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
    GoOnTo(next, tr("Moved \"%1\" to the trash.").arg(QFileInfo(path).fileName()));
}

void CompareWindow::MarkNotSimilar() {
    if (!host.CanMarkPairs()) {
        return;
    }
    const CPictureRepository& repository = host.ShownRepository();
    const std::optional<SimilarPair> pair =
        FindSimilarPair(repository, paths[kLeft], paths[kRight]);
    if (!pair) {
        RepositoryChanged();
        return;
    }
    // As for the trash: the next pair is known by its paths, found before the links change.
    const std::array<QString, 2> next = PathsOfStep(StepSimilarPair(repository, pair, true));
    const QString marked =
        tr("Marked \"%1\" and \"%2\" as not similar.")
            .arg(QFileInfo(paths[kLeft]).fileName(), QFileInfo(paths[kRight]).fileName());
    trashing = true;
    const bool done = host.MarkPairNotSimilar(paths[kLeft], paths[kRight], this);
    trashing = false;
    if (!done) {
        RepositoryChanged();
        return;
    }
    GoOnTo(next, marked);
}

std::array<QString, 2> CompareWindow::PathsOfStep(const PairStep& step) const {
    if (!step.pair) {
        return {};
    }
    const CPictureRepository& repository = host.ShownRepository();
    return {repository.GetPicture(step.pair->first).path,
            repository.GetPicture(step.pair->second).path};
}

void CompareWindow::GoOnTo(const std::array<QString, 2>& next, const QString& note) {
    if (next[kLeft].isEmpty() ||
        !FindSimilarPair(host.ShownRepository(), next[kLeft], next[kRight])) {
        close();
        return;
    }
    ShowPair(next[kLeft], next[kRight], note);
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
    enlarger->Drop();
    enlargements.reset();
    paths = {};
    for (CompareView* view : views) {
        view->ShowMessage(QString());
    }
}

void CompareWindow::SaveGeometry() const {
    SaveWindowGeometry(StoredWindow::Compare, saveGeometry());
}

void CompareWindow::closeEvent(QCloseEvent* event) {
    SaveGeometry();
    StopWork();
    event->accept();
}

}  // namespace vistrel
