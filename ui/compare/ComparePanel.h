#pragma once

#include "cleanup/BetterFacts.h"
#include "cleanup/PictureFacts.h"

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace vistrel {

/// What the compare window tells under one picture: its path, size in pixels, file size,
/// modification date and format, and from the photo's own data the date taken, the camera and
/// the lens where it has them; each in bold where it is the better of the pair (BetterFacts);
/// and that side's Open File, Find File and trash buttons. GUI thread.
class ComparePanel : public QWidget {
    Q_OBJECT

public:
    /// `trashText` is the label of the trash button ("Move Left to Trash...").
    ComparePanel(const QString& trashText, QWidget* parent);

    /// Shows `path` with its facts, those in `better` marked; facts still being read show as
    /// such, with the buttons off. `enlarged`: the other picture is an enlargement of this one.
    void ShowFacts(const QString& path, const std::optional<PictureFacts>& facts,
                   const BetterFacts& better, bool enlarged = false);

    QLabel* PathLabel() const { return pathLabel; }
    QLabel* DimensionsLabel() const { return dimensionsLabel; }
    QLabel* FileSizeLabel() const { return fileSizeLabel; }
    QLabel* ModifiedLabel() const { return modifiedLabel; }
    QLabel* FormatLabel() const { return formatLabel; }
    QLabel* TakenLabel() const { return takenLabel; }
    QLabel* CameraLabel() const { return cameraLabel; }
    QLabel* LensLabel() const { return lensLabel; }
    QPushButton* OpenButton() const { return openButton; }
    QPushButton* FindButton() const { return findButton; }
    QPushButton* TrashButton() const { return trashButton; }

private:
    void ShowWhenSet();

    QLabel* pathLabel = nullptr;
    QLabel* dimensionsLabel = nullptr;
    QLabel* fileSizeLabel = nullptr;
    QLabel* modifiedLabel = nullptr;
    QLabel* formatLabel = nullptr;
    QLabel* takenLabel = nullptr;
    QLabel* cameraLabel = nullptr;
    QLabel* lensLabel = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* trashButton = nullptr;
};

}  // namespace vistrel
