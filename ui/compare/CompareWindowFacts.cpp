// The compare window's facts under each picture: what is read of each file, and which facts are
// the better of the pair.

#include "CompareWindow.h"

#include "ComparePanel.h"
#include "CompareWindowHost.h"
#include "LatestJob.h"
#include "cleanup/BetterFacts.h"
#include "cleanup/KeepPlan.h"
#include "cleanup/PictureDetail.h"

#include <QPushButton>

namespace vistrel {

namespace {

// True when `larger` looks like an enlargement of `smaller`, by the measure Keep One's best copy
// uses (LooksEnlarged decides only at 1.8 times or more per side). Any thread.
bool Enlarges(const QImage& larger, const QImage& smaller) {
    const std::optional<DetailCrop> large = MakeDetailCrop(larger);
    const std::optional<DetailCrop> small = MakeDetailCrop(smaller);
    return large && small && LooksEnlarged(*large, *small);
}

}  // namespace

PictureFacts CompareWindow::ReadShownFacts(const QString& path) {
    PictureFacts facts = ReadPictureFacts(path);
    if (facts.Readable()) {
        facts.camera = ReadCameraData(path);
    }
    return facts;
}

void CompareWindow::MeasureEnlargement() {
    if (enlargements || !pictures[kLeft] || !pictures[kRight]) {
        return;
    }
    const QImage left =
        pictures[kLeft]->picture.IsNull() ? QImage() : pictures[kLeft]->picture.Full();
    const QImage right =
        pictures[kRight]->picture.IsNull() ? QImage() : pictures[kRight]->picture.Full();
    const QString first = paths[kLeft];
    const QString second = paths[kRight];
    // Both lie alike (the right one turned to match), as the measure wants them.
    enlarger->Start([left, right, first, second] {
        return Enlargement{first, second, {Enlarges(left, right), Enlarges(right, left)}};
    });
}

void CompareWindow::EnlargementMeasured(const Enlargement& measured) {
    if (measured.first != paths[kLeft] || measured.second != paths[kRight]) {
        return;
    }
    enlargements = measured.enlarged;
    ShowFacts();
}

void CompareWindow::ShowFacts() {
    std::array<BetterFacts, 2> better;
    if (facts[kLeft] && facts[kRight]) {
        // The best copy's rules, fact by fact. Until the enlargement is measured no size is
        // marked: the larger one may be no better.
        std::array<KeepCandidate, 2> candidates{KeepCandidate{paths[kLeft], *facts[kLeft]},
                                                KeepCandidate{paths[kRight], *facts[kRight]}};
        for (const Side side : {kLeft, kRight}) {
            const Side other = side == kLeft ? kRight : kLeft;
            if (enlargements && (*enlargements)[side]) {
                candidates[side].facts.enlargementOf = {paths[other]};
            }
        }
        const std::optional<SimilarPair> pair =
            FindSimilarPair(host.ShownRepository(), paths[kLeft], paths[kRight]);
        const bool nearCopies = pair && IsNearCopyFactor(static_cast<float>(pair->factor));
        for (const Side side : {kLeft, kRight}) {
            const Side other = side == kLeft ? kRight : kLeft;
            better[side] = MarkBetterFacts(candidates[side], candidates[other], nearCopies);
            better[side].pixels = better[side].pixels && enlargements.has_value();
        }
    }
    for (const Side side : {kLeft, kRight}) {
        const Side other = side == kLeft ? kRight : kLeft;
        panels[side]->ShowFacts(paths[side], facts[side], better[side],
                                enlargements && (*enlargements)[other]);
    }
    if (stale) {
        for (ComparePanel* panel : panels) {
            panel->TrashButton()->setEnabled(false);
        }
    }
    markButton->setEnabled(!stale && host.CanMarkPairs());
}

}  // namespace vistrel
