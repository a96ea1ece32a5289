#include "MarkedPairsDlg.h"

#include "common/DialogUnits.h"
#include "groups/ThumbnailLoader.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace vistrel {

namespace {

constexpr int kThumbnailSide = 64;
// Rows keep the number of their mark in `shown`.
constexpr int kMarkRole = Qt::UserRole;

}  // namespace

MarkedPairsDlg::MarkedPairsDlg(std::shared_ptr<NotSimilarMarks> store, QWidget* parent)
    : QDialog(parent), store(std::move(store)) {
    setWindowTitle(tr("Pairs Marked Not Similar"));
    auto* explanation =
        new QLabel(tr("These pairs of pictures are never reported as similar. Removing a mark "
                      "does not bring its pair back at once: the next Test Repository For "
                      "Similar finds it again."),
                   this);
    explanation->setWordWrap(true);
    list = new QTreeWidget(this);
    list->setColumnCount(3);
    list->setHeaderLabels({tr("Picture"), tr("Marked not similar to"), tr("Marked on")});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
    list->setUniformRowHeights(true);
    // The file's name, at the end of a long path, tells the pictures apart.
    list->setTextElideMode(Qt::ElideMiddle);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    list->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(false);
    countLabel = new QLabel(this);
    removeButton = new QPushButton(tr("&Remove Mark"), this);
    removeButton->setAutoDefault(false);
    removeButton->setEnabled(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(removeButton, QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(list, 1);
    layout->addWidget(countLabel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(removeButton, &QPushButton::clicked, this, &MarkedPairsDlg::RemoveSelected);
    connect(list, &QTreeWidget::itemSelectionChanged, this,
            [this] { removeButton->setEnabled(!list->selectedItems().isEmpty()); });
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &MarkedPairsDlg::RequestVisibleThumbnails);
    const QRect size = DialogUnitsToPixels(*this, 0, 0, 420, 260);
    resize(size.width(), size.height());
}

MarkedPairsDlg::~MarkedPairsDlg() = default;

void MarkedPairsDlg::Reload() {
    delete thumbnails;
    thumbnails = new CThumbnailLoader(kThumbnailSide, this);
    connect(thumbnails, &CThumbnailLoader::Ready, this, &MarkedPairsDlg::ThumbnailReady);
    connect(thumbnails, &CThumbnailLoader::Dropped, this,
            [this](int key) { requested.remove(key); });
    requested.clear();
    shown = store->List();
    list->clear();
    QList<QTreeWidgetItem*> items;
    const QLocale locale;
    QPixmap clear(kThumbnailSide, kThumbnailSide);
    clear.fill(Qt::transparent);
    const QIcon blank(clear);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const NotSimilarMarks::Mark& mark = shown[i];
        auto* item = new QTreeWidgetItem(QStringList{
            mark.firstPath, mark.secondPath, locale.toString(mark.marked, QLocale::ShortFormat)});
        item->setData(0, kMarkRole, static_cast<int>(i));
        for (const int side : {0, 1}) {
            // Every row has the thumbnails' height before they come.
            item->setIcon(side, blank);
            item->setToolTip(side, item->text(side));
            if (!QFileInfo::exists(item->text(side))) {
                // The mark holds for the pictures wherever they are; this place is only the last
                // one known.
                item->setForeground(side, palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(side,
                                 tr("%1\nNot found at this place any more").arg(item->text(side)));
            }
        }
        items.append(item);
    }
    list->addTopLevelItems(items);
    countLabel->setText(shown.size() == 1 ? tr("1 pair marked not similar")
                                          : tr("%1 pairs marked not similar").arg(shown.size()));
    if (!store->Problem().isEmpty()) {
        countLabel->setText(countLabel->text() + QStringLiteral(" - ") + store->Problem());
    }
    removeButton->setEnabled(false);
    RequestVisibleThumbnails();
}

void MarkedPairsDlg::RemoveSelected() {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    for (const QTreeWidgetItem* item : selected) {
        const NotSimilarMarks::Mark& mark =
            shown[static_cast<std::size_t>(item->data(0, kMarkRole).toInt())];
        store->Remove(mark.pair.first, mark.pair.second);
    }
    if (!selected.isEmpty()) {
        Reload();
    }
}

void MarkedPairsDlg::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Delete) {
        RemoveSelected();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MarkedPairsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RequestVisibleThumbnails();
}

void MarkedPairsDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    RequestVisibleThumbnails();
}

void MarkedPairsDlg::RequestVisibleThumbnails() {
    if (thumbnails == nullptr) {
        return;
    }
    const QRect view = list->viewport()->rect();
    // The rows in view are asked for last, so that the loader, latest first, does them first.
    QList<std::pair<int, QString>> wanted;
    for (QTreeWidgetItem* item = list->itemAt(view.topLeft()); item != nullptr;
         item = list->itemBelow(item)) {
        if (list->visualItemRect(item).top() > view.bottom()) {
            break;
        }
        const int row = list->indexOfTopLevelItem(item);
        for (const int side : {0, 1}) {
            const int key = row * 2 + side;
            if (!requested.contains(key) && QFileInfo::exists(item->text(side))) {
                wanted.prepend({key, item->text(side)});
            }
        }
    }
    for (const auto& [key, path] : wanted) {
        requested.insert(key);
        thumbnails->Request(key, path);
    }
}

void MarkedPairsDlg::ThumbnailReady(int key, const QImage& thumbnail) {
    QTreeWidgetItem* item = list->topLevelItem(key / 2);
    if (item != nullptr && !thumbnail.isNull()) {
        item->setIcon(key % 2, QIcon(QPixmap::fromImage(thumbnail)));
    }
}

}  // namespace vistrel
