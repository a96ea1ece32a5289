#pragma once

#include "repository/RepositoryLoader.h"

#include <QDialog>

#include <functional>
#include <thread>

class QProgressBar;
class QPushButton;
class QShowEvent;

namespace vistrel {

class ProgressRelay;

/// The "Opening Repository" wait dialog: runs LoadRepositoryThread on its own thread and blocks
/// the window until the load has ended, showing how many pictures are done. Cancel (or Escape)
/// stops the load between two pictures; the dialog ends once the loader has returned. GUI
/// thread only.
class CLoadWaitDlg : public QDialog {
    Q_OBJECT

public:
    /// The caller fills `params.repository`, `params.path` and `params.cache` (null: no
    /// signature cache), then runs exec(): 1 when the load has ended (`params.succeeded` tells
    /// how), 2 when the loader thread could not start, 0 (Rejected) when the user cancelled:
    /// the repository given then holds part of the file or nothing, and is to be thrown away
    /// (load into a repository of its own and keep it only on 1).
    explicit CLoadWaitDlg(QWidget* parent = nullptr);
    /// Waits for a loader that is still running, so that it never outlives `params`.
    ~CLoadWaitDlg() override;

    /// The loader's parameter block; the dialog sets `params.finished` and `params.observer`
    /// itself.
    LoadParams params;

    /// Enter does nothing: only the end of the load, or Cancel, closes the dialog.
    void accept() override {}
    /// Cancel, Escape and the window manager's close: asks the loader to stop; the dialog ends
    /// with 0 once it has returned, also when it had finished meanwhile.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    /// Starts `routine` on a new thread; throws std::system_error when it cannot.
    virtual std::thread StartThread(std::function<void()> routine);

private:
    void StartLoading();
    void OnLoadFinished();
    void ShowProgress(const ProgressReport& report);

    QProgressBar* progressBar;
    QPushButton* cancelButton;
    ProgressRelay* relay;
    std::thread loader;
    bool started = false;
    bool cancelled = false;
};

}  // namespace vistrel
