#include "OpProgressDlg.h"

#include "common/DialogUnits.h"
#include "repository/PictureRepository.h"
#include "run/ComparisonRun.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace vistrel {

namespace {

// The bar counts in steps of its own, so that runs of billions of pairs fit its int range.
constexpr int kProgressSteps = 1000;
// A few updates a second keep the bar lively without flooding the window with work.
constexpr int kCollectIntervalMs = 100;

// Shows how many of the run's pairs have been walked. The run reports on the GUI thread, from
// the dialog's own collecting.
class BarObserver final : public ComparisonObserver {
public:
    explicit BarObserver(QProgressBar& bar) : bar(bar) {}

    void Report(const ProgressReport& report) override {
        if (report.total > 0) {
            bar.setValue(static_cast<int>(report.done * kProgressSteps / report.total));
        }
    }

private:
    QProgressBar& bar;
};

}  // namespace

COpProgressDlg::COpProgressDlg(QWidget* parent)
    : QDialog(parent),
      progressBar(new QProgressBar(this)),
      stopButton(new QPushButton(tr("Stop"), this)),
      collectTimer(new QTimer(this)),
      barObserver(std::make_unique<BarObserver>(*progressBar)) {
    setWindowTitle(tr("Progress"));
    setModal(true);
    setFixedSize(DialogUnitsToPixels(*this, 0, 0, 299, 49).size());
    progressBar->setGeometry(DialogUnitsToPixels(*this, 7, 7, 285, 14));
    progressBar->setRange(0, kProgressSteps);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    stopButton->setGeometry(DialogUnitsToPixels(*this, 242, 28, 50, 14));
    // Enter must not stop the run: no button is pressed by it.
    stopButton->setAutoDefault(false);
    stopButton->setDefault(false);
    connect(stopButton, &QPushButton::clicked, this, &COpProgressDlg::reject);
    collectTimer->setInterval(kCollectIntervalMs);
    connect(collectTimer, &QTimer::timeout, this, &COpProgressDlg::CollectNotices);
}

COpProgressDlg::~COpProgressDlg() {
    EndRun();
}

void COpProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started) {
        started = true;
        // After the dialog's own loop has started, so that a run with nothing to do can close it.
        QMetaObject::invokeMethod(this, &COpProgressDlg::StartRun, Qt::QueuedConnection);
    }
}

void COpProgressDlg::StartRun() {
    if (repository == nullptr) {
        done(Rejected);
        return;
    }
    linksBefore = DigestLinks(*repository);
    run = std::make_unique<ComparisonRun>(*repository, options, barObserver.get());
    run->SetMarkedPairs(marked);
    run->StartComparison();
    workersLeft = run->WorkersLeft();
    if (!run->IsComparing()) {
        EndRun();
        done(Accepted);  // nothing to compare
        return;
    }
    collectTimer->start();
}

void COpProgressDlg::CollectNotices() {
    if (!run) {
        return;
    }
    const bool finished = run->Collect();
    workersLeft = run->WorkersLeft();
    if (finished) {
        fault = run->Fault();
        EndRun();
        done(Accepted);
    }
}

void COpProgressDlg::EndRun() {
    collectTimer->stop();
    if (run) {
        // What the workers reported before the stop is recorded, later notices are dropped.
        run->StopComparison();
        run.reset();
        if (repository != nullptr && DigestLinks(*repository) != linksBefore) {
            repository->MarkModified();
        }
    }
}

bool COpProgressDlg::IsComparing() const {
    return run != nullptr && run->IsComparing();
}

void COpProgressDlg::reject() {
    EndRun();
    QDialog::reject();
}

void COpProgressDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vistrel
