#include "AboutDlg.h"

#include "common/DialogUnits.h"
#include "common/ProgramResources.h"
#include "common/WindowTexts.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace vistrel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    EnsureProgramResources();
    setWindowTitle(tr("About %1").arg(ProgramName()));
    setModal(true);
    const auto units = [this](int x, int y, int width, int height) {
        return DialogUnitsToPixels(*this, x, y, width, height);
    };
    const QRect whole = units(0, 0, 255, 150);

    // The banner keeps its own size; the dialog grows to hold it when the font is small.
    auto* banner = new QLabel(this);
    const QPixmap bannerPicture(QStringLiteral(":/images/banner.png"));
    banner->setPixmap(bannerPicture);
    banner->setObjectName(QStringLiteral("banner"));
    const QRect bannerPlace = units(7, 7, 241, 58);
    banner->setGeometry(bannerPlace.x(), bannerPlace.y(),
                        std::max(bannerPlace.width(), bannerPicture.width()),
                        std::max(bannerPlace.height(), bannerPicture.height()));
    const int shift = std::max(0, banner->geometry().bottom() - bannerPlace.bottom());

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(units(8, 72, 240, 48).translated(0, shift));

    auto* icon = new QLabel(this);
    const QRect iconPlace = units(12, 84, 20, 20).translated(0, shift);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/vistrel.png"))
                        .pixmap(std::min(iconPlace.width(), iconPlace.height())));
    icon->setGeometry(iconPlace);

    auto* name = new QLabel(tr("%1 Version %2").arg(ProgramName(), ProgramVersion()), this);
    name->setObjectName(QStringLiteral("nameAndVersion"));
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(units(54, 84, 174, 8).translated(0, shift));
    name->resize(name->width(), std::max(name->height(), name->sizeHint().height()));

    auto* second = new QLabel(SecondLine(), this);
    second->setObjectName(QStringLiteral("secondLine"));
    second->setTextFormat(Qt::PlainText);
    second->setGeometry(units(54, 102, 174, 8).translated(0, shift));
    second->resize(second->width(), std::max(second->height(), second->sizeHint().height()));

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(units(200, 127, 48, 16).translated(0, shift));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const int width = std::max(whole.width(), banner->geometry().right() + bannerPlace.x() + 1);
    setFixedSize(width, whole.height() + shift);
}

QString CAboutDlg::SecondLine() {
    return tr("Finds the pictures that look alike.");
}

}  // namespace vistrel
