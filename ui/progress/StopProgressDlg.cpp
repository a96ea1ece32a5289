#include "StopProgressDlg.h"

#include <QCloseEvent>

namespace vistrel {

StopProgressDlg::StopProgressDlg(const QString& label, QWidget* parent)
    : QProgressDialog(label, tr("Stop"), 0, 0, parent) {
    // The dialog's own cancel() would hide it at once, and let the windows take input while
    // the file in hand is still moving.
    disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
    connect(this, &QProgressDialog::canceled, this, &StopProgressDlg::Stopping);
}

void StopProgressDlg::reject() {
    emit canceled();
}

void StopProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit canceled();
}

void StopProgressDlg::Stopping() {
    setLabelText(tr("Stopping after the file in hand..."));
}

}  // namespace vistrel
