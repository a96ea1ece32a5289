#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace vistrel {

/// The framed 150 x 150 box of the main window in which the selected picture is drawn, scaled
/// to fit with its aspect ratio kept and centred. It covers the frame rectangle (48, 29)-(202,
/// 183) of the window's client area. GUI thread.
class PreviewBox : public QWidget {
    Q_OBJECT

public:
    /// The frame rectangle and the picture box inside it, in client-area pixels.
    static constexpr QRect kFrame{48, 29, 154, 154};
    static constexpr QRect kPictureBox{50, 31, 150, 150};

    explicit PreviewBox(QWidget* parent);

    /// Where a picture of `size` is drawn, in client-area pixels: the longer side becomes 150
    /// (integer arithmetic, so a very thin picture may get no height at all).
    static QRect DrawnRect(const QSize& size);

    /// Shows `picture` as a picture of `fullSize` pixels (the picture may have been decoded
    /// smaller); a null picture clears the box.
    void Show(const QImage& picture, const QSize& fullSize);
    void Clear() { Show(QImage(), QSize()); }
    /// Clears the box and writes a quiet "Loading..." in it, until Show or Clear.
    void ShowLoading();

    bool HasPicture() const { return !picture.isNull(); }
    QSize PictureSize() const { return fullSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture;
    QSize fullSize;
    bool loading = false;
};

}  // namespace vistrel
