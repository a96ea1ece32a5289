#pragma once

#include "marks/NotSimilarMarks.h"

#include <QDialog>
#include <QSet>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vistrel {

class CThumbnailLoader;

/// "Pairs Marked Not Similar": lists the user's marks, the most recent first, with small
/// pictures of both sides where their last known files still exist, their paths and when they
/// were marked; removes the marks the user selects (Remove, or the Delete key). A removed mark
/// lets the pair be found again by the next test, not at once. Thumbnails are decoded on the
/// shared thread pool as rows come into view. Not modal; one per main window. GUI thread.
class MarkedPairsDlg : public QDialog {
    Q_OBJECT

public:
    MarkedPairsDlg(std::shared_ptr<NotSimilarMarks> store, QWidget* parent = nullptr);
    ~MarkedPairsDlg() override;

    /// Reads the marks from the store again (another window or `vistrel-cli` may have changed
    /// them).
    void Reload();
    /// Removes the marks of the selected rows from the store.
    void RemoveSelected();

    QTreeWidget* List() const { return list; }
    QPushButton* RemoveButton() const { return removeButton; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Asks for the thumbnails of the rows in view that have none yet.
    void RequestVisibleThumbnails();
    void ThumbnailReady(int key, const QImage& thumbnail);

    std::shared_ptr<NotSimilarMarks> store;
    std::vector<NotSimilarMarks::Mark> shown;
    /// Made anew by each Reload, so that no thumbnail of an earlier list lands in this one.
    CThumbnailLoader* thumbnails = nullptr;
    /// Thumbnails asked for (row * 2 + side), answered or not.
    QSet<int> requested;
    QTreeWidget* list = nullptr;
    QLabel* countLabel = nullptr;
    QPushButton* removeButton = nullptr;
};

}  // namespace vistrel
