#include "KeepOneDlg.h"

#include "KeepGroupsModel.h"
#include "ThumbnailLoader.h"
#include "cleanup/KeepFacts.h"
#include "common/FileSizeText.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTreeView>
#include <QVBoxLayout>

namespace vistrel {

/// The facts of the pictures numbered `first` onwards.
struct FactsBatch {
    int first = 0;
    std::vector<PictureFacts> facts;
};

namespace {

constexpr int kThumbnailSide = 64;

// A batch a fifth of a second at most, so that the count moves, and few enough batches that the
// window is not flooded by a hundred thousand results.
constexpr int kBatchFiles = 256;
constexpr qint64 kBatchMilliseconds = 200;

// Reads the facts of the groups' pictures (`groups`, the paths of each group, the pictures
// numbered in order) on the shared thread pool, a group at a time, in batches. Cancelling the
// future stops the reading at the next group.
QFuture<std::shared_ptr<const FactsBatch>> ReadFactsInBackground(std::vector<QStringList> groups) {
    using Promise = QPromise<std::shared_ptr<const FactsBatch>>;
    auto promise = std::make_shared<Promise>();
    auto future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, groups = std::move(groups)] {
        auto batch = std::make_shared<FactsBatch>();
        QElapsedTimer clock;
        clock.start();
        int next = 0;
        for (std::size_t g = 0; g < groups.size() && !promise->isCanceled(); ++g) {
            for (PictureFacts& facts : ReadKeepFacts(groups[g])) {
                batch->facts.push_back(std::move(facts));
            }
            next += static_cast<int>(groups[g].size());
            if (batch->facts.size() >= kBatchFiles || clock.elapsed() >= kBatchMilliseconds ||
                g + 1 == groups.size()) {
                promise->addResult(std::shared_ptr<const FactsBatch>(std::move(batch)));
                batch = std::make_shared<FactsBatch>();
                batch->first = next;
                clock.restart();
            }
        }
        promise->finish();
    });
    return future;
}

const struct {
    const char* name;
    KeepRule rule;
} kRules[] = {
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Best copy"), KeepRule::BestCopy},
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Most pixels"), KeepRule::MostPixels},
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Largest file"), KeepRule::LargestFile},
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Oldest"), KeepRule::Oldest},
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Newest"), KeepRule::Newest},
    {QT_TRANSLATE_NOOP("vistrel::CKeepOneDlg", "Shortest path"), KeepRule::ShortestPath},
};

// Says how many groups are left alone as they are, and why.
QString LeftAloneText(const CKeepGroupsModel::Totals& totals) {
    const int withoutCopies = totals.groupsLeftAlone - totals.groupsLeftOut;
    QString text = CKeepOneDlg::tr("%1 left alone").arg(QLocale().toString(totals.groupsLeftAlone));
    QStringList reasons;
    if (totals.groupsLeftOut > 0) {
        reasons.append(
            CKeepOneDlg::tr("%1 left out by you").arg(QLocale().toString(totals.groupsLeftOut)));
    }
    if (withoutCopies > 0) {
        reasons.append(CKeepOneDlg::tr("%1 with no near-copy of the picture kept")
                           .arg(QLocale().toString(withoutCopies)));
    }
    return text + QStringLiteral(" (") + reasons.join(QStringLiteral(", ")) + QStringLiteral(").");
}

// Says how many pictures stay although their group is cleaned up, and why; empty when none.
QString StayingText(const CKeepGroupsModel::Totals& totals) {
    if (totals.picturesLeftAlone == 0) {
        return {};
    }
    const QString pictures =
        totals.picturesLeftAlone == 1
            ? CKeepOneDlg::tr("1 picture")
            : CKeepOneDlg::tr("%1 pictures").arg(QLocale().toString(totals.picturesLeftAlone));
    const QString groups = totals.groupsWithPicturesLeftAlone == 1
                               ? CKeepOneDlg::tr("1 group")
                               : CKeepOneDlg::tr("%1 groups")
                                     .arg(QLocale().toString(totals.groupsWithPicturesLeftAlone));
    return QLatin1Char(' ') + CKeepOneDlg::tr(
                                  "%1 in %2 stay: they look similar to the picture "
                                  "kept but are no near-copies of it.")
                                  .arg(pictures, groups);
}

}  // namespace

CKeepOneDlg::CKeepOneDlg(const CPictureRepository& repository, bool shapeOnly, QWidget* parent,
                         const ReferenceFolders& reference)
    : QDialog(parent) {
    setWindowTitle(tr("Keep One of Each Group"));
    model = new CKeepGroupsModel(repository, kThumbnailSide, shapeOnly, this, reference);
    thumbnails = new CThumbnailLoader(kThumbnailSide, this);
    model->SetThumbnailRequester(
        [this](int picture, const QString& path) { thumbnails->Request(picture, path); });
    connect(thumbnails, &CThumbnailLoader::Ready, model, &CKeepGroupsModel::SetThumbnail);
    connect(thumbnails, &CThumbnailLoader::Dropped, model, &CKeepGroupsModel::ForgetRequest);
    connect(model, &CKeepGroupsModel::PlansChanged, this, &CKeepOneDlg::UpdateSummary);
    BuildControls();
    StartReadingFacts();
    UpdateSummary();
}

CKeepOneDlg::~CKeepOneDlg() {
    // The reading stops at its next file; its later results go nowhere.
    factsWatcher.disconnect(this);
    factsWatcher.future().cancel();
}

std::vector<KeepPlan> CKeepOneDlg::Plans() const {
    return model->Plans();
}

void CKeepOneDlg::SetGroupMarker(std::function<bool(const QStringList& paths)> marker) {
    groupMarker = std::move(marker);
    notSimilarButton->setVisible(static_cast<bool>(groupMarker));
}

void CKeepOneDlg::MarkCurrentGroup() {
    const QModelIndex current = view->currentIndex();
    if (!groupMarker || !current.isValid() || model->IsDroppedRow(current.row()) ||
        !groupMarker(model->GroupPaths(current))) {
        return;
    }
    model->DropGroup(current);
    // The rows stay in the model, whose numbers the thumbnails and facts use; they are hidden.
    // The current row goes to the next group left, or the one before when none follows.
    int after = -1;
    int before = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        const bool dropped = model->IsDroppedRow(row);
        view->setRowHidden(row, QModelIndex(), dropped);
        if (dropped || !model->IsGroupRow(model->index(row, 0))) {
            continue;
        }
        if (row > current.row() && after < 0) {
            after = row;
        } else if (row < current.row()) {
            before = row;
        }
    }
    const int next = after >= 0 ? after : before;
    if (next >= 0) {
        view->setCurrentIndex(model->index(next, 0));
    }
    UpdateSummary();
}

void CKeepOneDlg::BuildControls() {
    auto* ruleLabel = new QLabel(tr("Keep in each &group the picture with:"), this);
    ruleBox = new QComboBox(this);
    for (const auto& entry : kRules) {
        ruleBox->addItem(tr(entry.name), static_cast<int>(entry.rule));
    }
    ruleLabel->setBuddy(ruleBox);
    auto* ruleRow = new QHBoxLayout;
    ruleRow->addWidget(ruleLabel);
    ruleRow->addWidget(ruleBox);
    ruleRow->addStretch();

    auto* hint = new QLabel(
        tr("Only near-copies of the picture kept go to the trash; pictures that are merely "
           "similar stay unless you tick them (or press Delete). To keep another picture, "
           "double-click it or select it and press Space. Clear a group's box to leave that "
           "group alone."),
        this);
    hint->setWordWrap(true);

    view = new QTreeView(this);
    view->setModel(model);
    view->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    // The end of a path, the file's name, tells pictures apart; the whole path is in its tip.
    view->setTextElideMode(Qt::ElideLeft);
    view->setAllColumnsShowFocus(true);
    view->installEventFilter(this);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(CKeepGroupsModel::PictureColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(view->font());
    const auto fit = [&metrics](const QString& sample) {
        return metrics.horizontalAdvance(sample) + metrics.averageCharWidth() * 3;
    };
    header->resizeSection(CKeepGroupsModel::ActionColumn, fit(tr("To trash")));
    header->resizeSection(CKeepGroupsModel::SizeColumn, fit(QStringLiteral("00000 x 00000")));
    header->resizeSection(CKeepGroupsModel::BytesColumn, fit(QStringLiteral("000.00 MB")));
    header->resizeSection(CKeepGroupsModel::ModifiedColumn,
                          fit(QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)),
                                                 QLocale::ShortFormat)));

    summary = new QLabel(this);
    summary->setWordWrap(true);

    keepButton = new QPushButton(tr("&Keep This Picture"), this);
    moveButton = new QPushButton(tr("&Move to Trash..."), this);
    notSimilarButton = new QPushButton(tr("&Not Similar"), this);
    notSimilarButton->setToolTip(
        tr("Marks the pictures of the selected group as not similar: the group leaves this list "
           "and the results, and no test reports its pairs again"));
    notSimilarButton->setVisible(false);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    // Enter belongs to the list (it keeps the selected picture), never to a button.
    for (QPushButton* button : {keepButton, notSimilarButton, moveButton, cancel}) {
        button->setAutoDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(keepButton);
    buttons->addWidget(notSimilarButton);
    buttons->addStretch();
    buttons->addWidget(moveButton);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ruleRow);
    layout->addWidget(hint);
    layout->addWidget(view, 1);
    layout->addWidget(summary);
    layout->addLayout(buttons);

    connect(model, &CKeepGroupsModel::RowsChanged, view->viewport(), qOverload<>(&QWidget::update));
    connect(ruleBox, &QComboBox::currentIndexChanged, this,
            [this] { model->SetRule(static_cast<KeepRule>(ruleBox->currentData().toInt())); });
    connect(view, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!model->IsGroupRow(index)) {
            KeepCurrentPicture();
        }
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CKeepOneDlg::UpdateKeepButton);
    connect(keepButton, &QPushButton::clicked, this, &CKeepOneDlg::KeepCurrentPicture);
    connect(moveButton, &QPushButton::clicked, this, &CKeepOneDlg::AskAndMove);
    connect(notSimilarButton, &QPushButton::clicked, this, &CKeepOneDlg::MarkCurrentGroup);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this](const QPoint& where) {
        const QModelIndex index = view->indexAt(where);
        if (!groupMarker || !index.isValid()) {
            return;
        }
        view->setCurrentIndex(index);
        QMenu menu(this);
        menu.addAction(tr("Mark Group as &Not Similar"), this, &CKeepOneDlg::MarkCurrentGroup);
        menu.exec(view->viewport()->mapToGlobal(where));
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (model->GroupCount() > 0) {
        view->setCurrentIndex(model->GroupIndex(0));
    }
    view->setFocus();
    // As large as the work deserves, within the screen the window is on.
    QSize size(960, 680);
    if (const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen()
                                                          : QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    }
    resize(size);
}

void CKeepOneDlg::StartReadingFacts() {
    std::vector<QStringList> groups;
    groups.reserve(static_cast<std::size_t>(model->GroupCount()));
    int picture = 0;
    for (int group = 0; group < model->GroupCount(); ++group) {
        QStringList& paths = groups.emplace_back();
        for (int i = 0; i < model->GroupSize(group); ++i, ++picture) {
            paths.append(model->PicturePath(picture));
        }
    }
    connect(&factsWatcher, &QFutureWatcherBase::resultsReadyAt, this, &CKeepOneDlg::TakeFacts);
    factsWatcher.setFuture(ReadFactsInBackground(std::move(groups)));
}

void CKeepOneDlg::TakeFacts(int begin, int end) {
    for (int i = begin; i < end; ++i) {
        const std::shared_ptr<const FactsBatch> batch = factsWatcher.resultAt(i);
        const int count = static_cast<int>(batch->facts.size());
        for (int j = 0; j < count; ++j) {
            model->SetFacts(batch->first + j, batch->facts[static_cast<std::size_t>(j)]);
        }
    }
    model->FactsBatchDone();
    UpdateSummary();
}

void CKeepOneDlg::UpdateKeepButton() {
    const QModelIndex current = view->currentIndex();
    keepButton->setEnabled(model->AllFactsRead() && current.isValid() &&
                           !model->IsGroupRow(current));
}

void CKeepOneDlg::UpdateSummary() {
    UpdateKeepButton();
    if (!model->AllFactsRead()) {
        summary->setText(tr("Reading the pictures' files: %1 of %2...")
                             .arg(QLocale().toString(model->FactsReadCount()))
                             .arg(QLocale().toString(model->PictureCount())));
        moveButton->setEnabled(false);
        return;
    }
    const CKeepGroupsModel::Totals totals = model->PlannedTotals();
    // Groups marked not similar are no groups any more.
    const int shown = model->ShownGroupCount();
    notSimilarButton->setEnabled(shown > 0);
    QString groups = shown == 1
                         ? tr("1 group of similar pictures")
                         : tr("%1 groups of similar pictures").arg(QLocale().toString(shown));
    groups += totals.groupsLeftAlone == 0 ? tr(".") : tr(", ") + LeftAloneText(totals);
    groups += StayingText(totals);
    QString plan;
    if (totals.files == 0) {
        plan = tr("Nothing will go to the trash.");
    } else if (totals.files == 1) {
        plan = tr("1 file will go to the trash (%1).").arg(FileSizeText(totals.bytes));
    } else {
        plan = tr("%1 files will go to the trash (%2).")
                   .arg(QLocale().toString(totals.files), FileSizeText(totals.bytes));
    }
    summary->setText(groups + QLatin1Char(' ') + plan);
    moveButton->setEnabled(totals.files > 0);
}

void CKeepOneDlg::KeepCurrentPicture() {
    if (!model->KeepPicture(view->currentIndex())) {
        QApplication::beep();
    }
}

void CKeepOneDlg::AskAndMove() {
    const CKeepGroupsModel::Totals totals = model->PlannedTotals();
    if (!model->AllFactsRead() || totals.files == 0) {
        return;
    }
    // Nothing has moved yet: the trash asks nothing, so the question is ours.
    const QString files =
        totals.files == 1 ? tr("Move 1 file to the trash?")
                          : tr("Move %1 files to the trash?").arg(QLocale().toString(totals.files));
    QString question =
        files + QLatin1Char(' ') + tr("This frees %1.").arg(FileSizeText(totals.bytes));
    if (totals.groupsLeftAlone > 0) {
        question += QLatin1Char('\n') +
                    tr("Of %1 groups, ").arg(QLocale().toString(model->GroupCount())) +
                    LeftAloneText(totals);
    }
    question += StayingText(totals);
    QMessageBox box(QMessageBox::Question, windowTitle(), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes) {
        accept();
    }
}

bool CKeepOneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = view->currentIndex();
        if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
            current.isValid()) {
            if (model->IsGroupRow(current)) {
                const QModelIndex group = current.siblingAtColumn(0);
                model->SetGroupIncluded(
                    group, model->data(group, Qt::CheckStateRole).toInt() != Qt::Checked);
            } else {
                KeepCurrentPicture();
            }
            return true;
        }
        if (key == Qt::Key_Delete && current.isValid() && !model->IsGroupRow(current)) {
            if (!model->SetPictureMoved(current,
                                        model->PictureAction(current) != KeepAction::Trash)) {
                QApplication::beep();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vistrel
