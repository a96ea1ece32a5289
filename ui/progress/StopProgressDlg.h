#pragma once

#include <QProgressDialog>

class QCloseEvent;

namespace vistrel {

/// The progress dialog of work that moves files: Stop, Escape and the close box ask the work to
/// stop (canceled) and the dialog stays until the work has finished the file in hand, so that
/// no window takes input before the work's results are applied. GUI thread.
class StopProgressDlg : public QProgressDialog {
public:
    StopProgressDlg(const QString& label, QWidget* parent);

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Stopping();
};

}  // namespace vistrel
