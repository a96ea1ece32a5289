#pragma once

#include "cleanup/GroupCleanup.h"
#include "settings/ReferenceFolders.h"

#include <QDialog>
#include <QFutureWatcher>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace vistrel {

class CKeepGroupsModel;
class CPictureRepository;
class CThumbnailLoader;
struct FactsBatch;

/// "Keep One of Each Group": shows every group of similar pictures with thumbnails, marks the
/// picture each group keeps by a rule or by the user's choice, lets groups be left alone, and
/// asks before anything moves. Accepted once the user agreed; the window then carries out
/// Plans(). The pictures' facts and thumbnails are read on worker threads. GUI thread.
class CKeepOneDlg : public QDialog {
    Q_OBJECT

public:
    /// Shows the groups of `repository` as they are now; the dialog keeps no reference to it.
    /// The groups of `repository`; `shapeOnly` is the mode its links were found in. The
    /// pictures in a folder of `reference` are kept where their group has one, and never move.
    CKeepOneDlg(const CPictureRepository& repository, bool shapeOnly, QWidget* parent = nullptr,
                const ReferenceFolders& reference = {});
    ~CKeepOneDlg() override;

    /// What to move: one plan per group that is included and has a picture to keep.
    std::vector<KeepPlan> Plans() const;
    /// Offers "Not Similar" for a group: `marker` marks every linked pair among the paths of a
    /// group's pictures as not similar and says whether it did; the group then leaves the list.
    /// Without a marker the command is not offered.
    void SetGroupMarker(std::function<bool(const QStringList& paths)> marker);
    /// Not Similar on the group of the current row.
    void MarkCurrentGroup();

    CKeepGroupsModel* Model() const { return model; }
    QTreeView* GroupView() const { return view; }
    QComboBox* RuleBox() const { return ruleBox; }
    QPushButton* MoveButton() const { return moveButton; }
    QPushButton* NotSimilarButton() const { return notSimilarButton; }
    QLabel* Summary() const { return summary; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void StartReadingFacts();
    void TakeFacts(int begin, int end);
    void UpdateSummary();
    /// Keep This Picture works on a picture row once the facts are in.
    void UpdateKeepButton();
    void KeepCurrentPicture();
    void AskAndMove();

    CKeepGroupsModel* model = nullptr;
    CThumbnailLoader* thumbnails = nullptr;
    QTreeView* view = nullptr;
    QComboBox* ruleBox = nullptr;
    QLabel* summary = nullptr;
    QPushButton* keepButton = nullptr;
    QPushButton* moveButton = nullptr;
    QPushButton* notSimilarButton = nullptr;
    std::function<bool(const QStringList&)> groupMarker;
    QFutureWatcher<std::shared_ptr<const FactsBatch>> factsWatcher;
};

}  // namespace vistrel
