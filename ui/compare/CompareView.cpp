#include "CompareView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// Each notch of the wheel zooms by this much.
constexpr double kWheelStep = 1.25;
// Beyond this scale pixels are drawn as squares, so that the user sees them.
constexpr double kSharpFrom = 2.0;

// The centre along one axis: the middle when the picture fits, else within the range that keeps
// the view covered.
double HeldCentre(double centre, double shown, double view) {
    if (shown <= view) {
        return 0.5;
    }
    const double half = view / (2 * shown);
    return std::clamp(centre, half, 1.0 - half);
}

}  // namespace

CompareView::CompareView(ViewZoom& zoom, QWidget* parent) : QWidget(parent), zoom(zoom) {
    setMinimumSize(120, 90);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::OpenHandCursor);
}

void CompareView::ShowPicture(const PictureLevels& newPicture, const QString& newCaption) {
    picture = newPicture;
    caption = newCaption;
    message.clear();
    update();
}

void CompareView::ShowMessage(const QString& text) {
    picture = PictureLevels();
    caption.clear();
    message = text;
    update();
}

double CompareView::FitScale() const {
    const QSize size = picture.FullSize();
    if (size.isEmpty() || width() <= 0 || height() <= 0) {
        return 0.0;
    }
    return std::min(static_cast<double>(width()) / size.width(),
                    static_cast<double>(height()) / size.height());
}

QPointF CompareView::ShownCentre() const {
    const double scale = FitScale() * zoom.zoom;
    const QSize size = picture.FullSize();
    return {HeldCentre(zoom.centre.x(), size.width() * scale, width()),
            HeldCentre(zoom.centre.y(), size.height() * scale, height())};
}

QRectF CompareView::PictureRect() const {
    const double scale = FitScale() * zoom.zoom;
    const QSizeF shown = QSizeF(picture.FullSize()) * scale;
    const QPointF centre = ShownCentre();
    const QPointF topLeft(width() / 2.0 - centre.x() * shown.width(),
                          height() / 2.0 - centre.y() * shown.height());
    return {topLeft, shown};
}

void CompareView::ZoomBy(double factor, const QPointF& anchor) {
    if (picture.IsNull()) {
        return;
    }
    const QRectF before = PictureRect();
    const QPointF point((anchor.x() - before.left()) / before.width(),
                        (anchor.y() - before.top()) / before.height());
    zoom.zoom = std::clamp(zoom.zoom * factor, kMinZoom, kMaxZoom / std::max(FitScale(), 1e-9));
    const QSizeF shown = QSizeF(picture.FullSize()) * (FitScale() * zoom.zoom);
    // The point under the anchor stays there.
    zoom.centre = QPointF(point.x() + (width() / 2.0 - anchor.x()) / shown.width(),
                          point.y() + (height() / 2.0 - anchor.y()) / shown.height());
    zoom.centre = ShownCentre();
    emit ZoomChanged();
}

void CompareView::PanBy(const QPointF& pixels) {
    if (picture.IsNull()) {
        return;
    }
    const QRectF shown = PictureRect();
    // From where the picture is seen, so that a pan against an edge has no dead stretch.
    const QPointF centre = ShownCentre();
    zoom.centre =
        QPointF(centre.x() - pixels.x() / shown.width(), centre.y() - pixels.y() / shown.height());
    zoom.centre = ShownCentre();
    emit ZoomChanged();
}

void CompareView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    if (picture.IsNull()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         message);
        return;
    }
    const QRectF target = PictureRect();
    const double scale = target.width() / picture.FullSize().width();
    const QImage& level = picture.ForScale(scale);
    // Only the part in view is drawn: at a high zoom the whole picture would be huge.
    const QRectF visible = target.intersected(QRectF(rect()));
    if (!visible.isEmpty()) {
        const double toLevel = static_cast<double>(level.width()) / target.width();
        const QRectF source((visible.left() - target.left()) * toLevel,
                            (visible.top() - target.top()) * toLevel, visible.width() * toLevel,
                            visible.height() * toLevel);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < kSharpFrom);
        painter.drawImage(visible, level, source);
    }
    if (!caption.isEmpty()) {
        const QRect box = painter.fontMetrics().boundingRect(caption).adjusted(-6, -3, 6, 3);
        const QRect place = box.translated(8 - box.left(), 8 - box.top());
        painter.fillRect(place, QColor(0, 0, 0, 160));
        painter.setPen(Qt::white);
        painter.drawText(place, Qt::AlignCenter, caption);
    }
}

void CompareView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0) {
        ZoomBy(std::pow(kWheelStep, notches), event->position());
    }
    event->accept();
}

void CompareView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragFrom = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void CompareView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom) {
        return;
    }
    const QPoint now = event->position().toPoint();
    PanBy(now - *dragFrom);
    dragFrom = now;
}

void CompareView::mouseReleaseEvent(QMouseEvent*) {
    dragFrom.reset();
    setCursor(Qt::OpenHandCursor);
}

}  // namespace vistrel
