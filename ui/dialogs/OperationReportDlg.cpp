#include "OperationReportDlg.h"

#include "common/DialogUnits.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vistrel {

COperationReportDlg::COperationReportDlg(QStringList paths, QWidget* parent)
    : QDialog(parent), failedPaths(std::move(paths)) {
    setWindowTitle(tr("Delete Operation Status"));
    setModal(true);
    const auto units = [this](int x, int y, int width, int height) {
        return DialogUnitsToPixels(*this, x, y, width, height);
    };
    setFixedSize(units(0, 0, 262, 237).size());

    message = new QLabel(tr("Could not delete the files:"), this);
    message->setGeometry(units(6, 6, 84, 8));
    message->resize(std::max(message->width(), message->sizeHint().width()), message->height());

    pathList = new QPlainTextEdit(this);
    pathList->setGeometry(units(7, 18, 248, 192));
    // Long paths scroll sideways rather than wrap, so that each stays on its own line.
    pathList->setLineWrapMode(QPlainTextEdit::NoWrap);
    pathList->setPlainText(JoinPaths(failedPaths));

    auto* close = new QPushButton(tr("Close"), this);
    close->setGeometry(units(205, 216, 50, 14));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void COperationReportDlg::SetMessage(const QString& text) {
    message->setText(text);
    message->resize(std::max(message->width(), message->sizeHint().width()), message->height());
}

QString COperationReportDlg::JoinPaths(const QStringList& paths) {
    QString text;
    for (const QString& path : paths) {
        text += path;
        text += QLatin1Char('\n');
    }
    return text;
}

}  // namespace vistrel
