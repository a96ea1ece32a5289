#include "PreviewBox.h"

#include <QPainter>

namespace vistrel {

namespace {

const QColor kFrameColour(128, 64, 0);

}  // namespace

PreviewBox::PreviewBox(QWidget* parent) : QWidget(parent) {
    setGeometry(kFrame);
}

QRect PreviewBox::DrawnRect(const QSize& size) {
    const int side = kPictureBox.width();
    if (size.width() <= 0 || size.height() <= 0) {
        return {};
    }
    int width = side;
    int height = side;
    if (size.width() > size.height()) {
        height = size.height() * side / size.width();
    } else {
        width = size.width() * side / size.height();
    }
    return QRect(kPictureBox.left() + (side - width) / 2, kPictureBox.top() + (side - height) / 2,
                 width, height);
}

void PreviewBox::Show(const QImage& newPicture, const QSize& newFullSize) {
    picture = newPicture;
    fullSize = newPicture.isNull() ? QSize() : newFullSize;
    loading = false;
    update();
}

void PreviewBox::ShowLoading() {
    Clear();
    loading = true;
}

void PreviewBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFrameColour);
    // A one-pixel frame along the inside edge of the widget.
    const QRect all = rect();
    painter.drawRect(QRect(all.left(), all.top(), all.width(), 1));
    painter.drawRect(QRect(all.left(), all.bottom(), all.width(), 1));
    painter.drawRect(QRect(all.left(), all.top(), 1, all.height()));
    painter.drawRect(QRect(all.right(), all.top(), 1, all.height()));
    if (loading) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(all, Qt::AlignCenter, tr("Loading..."));
        return;
    }
    if (picture.isNull()) {
        return;
    }
    const QRect target = DrawnRect(fullSize).translated(-kFrame.topLeft());
    if (target.isEmpty()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}

}  // namespace vistrel
