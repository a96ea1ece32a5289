#pragma once

#include "cleanup/PictureFacts.h"

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace vistrel {

/// What the compare window tells under one picture: its path, size in pixels, file size,
/// modification date and format, each in bold where it is the better of the pair (more pixels,
/// a larger file, an older date); and that side's Open File, Find File and trash buttons. GUI
/// thread.
class ComparePanel : public QWidget {
    Q_OBJECT

public:
    /// `trashText` is the label of the trash button ("Move Left to Trash...").
    ComparePanel(const QString& trashText, QWidget* parent);

    /// Shows `path` with its facts, marked against `other`'s (the other side); facts still being
    /// read show as such, with the buttons off.
    void ShowFacts(const QString& path, const std::optional<PictureFacts>& facts,
                   const std::optional<PictureFacts>& other);

    QLabel* PathLabel() const { return pathLabel; }
    QLabel* DimensionsLabel() const { return dimensionsLabel; }
    QLabel* FileSizeLabel() const { return fileSizeLabel; }
    QLabel* ModifiedLabel() const { return modifiedLabel; }
    QLabel* FormatLabel() const { return formatLabel; }
    QPushButton* OpenButton() const { return openButton; }
    QPushButton* FindButton() const { return findButton; }
    QPushButton* TrashButton() const { return trashButton; }

private:
    QLabel* pathLabel = nullptr;
    QLabel* dimensionsLabel = nullptr;
    QLabel* fileSizeLabel = nullptr;
    QLabel* modifiedLabel = nullptr;
    QLabel* formatLabel = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* trashButton = nullptr;
};

}  // namespace vistrel
