#pragma once

#include "ComparePicture.h"

#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <optional>

namespace vistrel {

/// How the compare window's pictures are zoomed and panned, the same for all of them: `zoom`
/// times the scale at which a picture fits its view, and the point of the picture (as a
/// fraction of its width and height) at the view's centre.
struct ViewZoom {
    double zoom = 1.0;
    QPointF centre{0.5, 0.5};
};

/// One picture of the compare window, scaled to fit the view and then zoomed and panned by the
/// window's shared ViewZoom; or a message in its place. The mouse wheel zooms about the pointer,
/// dragging pans. GUI thread.
class CompareView : public QWidget {
    Q_OBJECT

public:
    CompareView(ViewZoom& zoom, QWidget* parent);

    /// Shows `picture` with `caption` in its corner (empty for none).
    void ShowPicture(const PictureLevels& picture, const QString& caption = {});
    /// Shows `text` instead of a picture.
    void ShowMessage(const QString& text);

    const PictureLevels& Picture() const { return picture; }
    QString Message() const { return message; }
    /// The scale at which the picture fits the view; 0 without a picture.
    double FitScale() const;
    /// Zooms by `factor` keeping the picture's point under `anchor` (view pixels) in place.
    void ZoomBy(double factor, const QPointF& anchor);
    /// Moves the pictures by `pixels` as this view shows them.
    void PanBy(const QPointF& pixels);

    /// The smallest and largest zoom the window allows, over the fitting scale.
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 64.0;

signals:
    /// The user zoomed or panned in this view; every view must be drawn again.
    void ZoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// Where the picture is drawn at the shared zoom, with the centre held so that a picture
    /// larger than the view never leaves an empty border.
    QRectF PictureRect() const;
    QPointF ShownCentre() const;

    ViewZoom& zoom;
    PictureLevels picture;
    QString caption;
    QString message;
    std::optional<QPoint> dragFrom;
};

}  // namespace vistrel
