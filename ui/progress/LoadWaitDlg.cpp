#include "LoadWaitDlg.h"

#include "ProgressRelay.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <system_error>

namespace vistrel {

CLoadWaitDlg::CLoadWaitDlg(QWidget* parent)
    // A caption without a system menu, and so without a close box.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      progressBar(new QProgressBar(this)),
      cancelButton(new QPushButton(tr("Cancel"), this)),
      relay(new ProgressRelay(this)) {
    setWindowTitle(tr("Opening Repository"));
    auto* text = new QLabel(
        tr("Loading is in progress. Please wait.") + u'\n' + tr("This can take a few minutes."),
        this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(45, 20, 45, 20);
    layout->addWidget(text);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 0);  // busy until the file is read and the total known
    progressBar->setFormat(tr("%v of %m pictures"));
    layout->addWidget(progressBar);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    // Enter must not cancel a load: Cancel is never the default button.
    cancelButton->setAutoDefault(false);
    cancelButton->setDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &CLoadWaitDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(relay, &ProgressRelay::Progressed, this, &CLoadWaitDlg::ShowProgress);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CLoadWaitDlg::~CLoadWaitDlg() {
    relay->RequestStop();
    if (loader.joinable()) {
        loader.join();
    }
}

void CLoadWaitDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started) {
        started = true;
        // From the modal loop, not from inside show(): closing the dialog before exec() has
        // started its loop would leave that loop running.
        QMetaObject::invokeMethod(this, &CLoadWaitDlg::StartLoading, Qt::QueuedConnection);
    }
}

std::thread CLoadWaitDlg::StartThread(std::function<void()> routine) {
    return std::thread(std::move(routine));
}

void CLoadWaitDlg::StartLoading() {
    if (cancelled) {
        QDialog::done(0);
        return;
    }
    // The loader calls this on its own thread as its last action; the dialog learns of it on
    // the GUI thread, in order with everything else the modal loop does.
    params.finished = [this](bool) {
        QMetaObject::invokeMethod(this, &CLoadWaitDlg::OnLoadFinished, Qt::QueuedConnection);
    };
    params.observer = relay;
    try {
        loader = StartThread([this] { LoadRepositoryThread(&params); });
    } catch (const std::system_error&) {
        params.finished = nullptr;
        params.observer = nullptr;
        QMessageBox::critical(this, tr("Error"), tr("Unable to start process"));
        QDialog::done(2);
    }
}

void CLoadWaitDlg::ShowProgress(const ProgressReport& report) {
    if (report.total > 0) {
        const auto clamp = [](std::uint64_t n) {
            return static_cast<int>(std::min<std::uint64_t>(n, std::numeric_limits<int>::max()));
        };
        progressBar->setRange(0, clamp(report.total));
        progressBar->setValue(clamp(report.done));
    }
}

void CLoadWaitDlg::reject() {
    if (cancelled) {
        return;
    }
    cancelled = true;
    relay->RequestStop();
    cancelButton->setEnabled(false);
    // The dialog ends from its modal loop: when the loader returns, or at once in StartLoading
    // when it has not started yet.
}

void CLoadWaitDlg::OnLoadFinished() {
    ShowProgress(relay->Latest());
    // The loader has nothing left to do but return; joining here keeps no thread behind.
    if (loader.joinable()) {
        loader.join();
    }
    // A Cancel that came while the last picture was done still counts: the user asked for the
    // repository as it was.
    QDialog::done(cancelled ? 0 : 1);
}

}  // namespace vistrel
