#pragma once

#include "repository/RepositoryLoader.h"

#include <QDialog>

#include <functional>
#include <thread>

class QProgressBar;
class QShowEvent;

namespace vistrel {

class ProgressRelay;

/// The "Opening Repository" wait dialog: runs LoadRepositoryThread on its own thread and blocks
/// the window until the load has ended, showing how many pictures are done; the user cannot
/// close it. GUI thread only.
class CLoadWaitDlg : public QDialog {
    Q_OBJECT

public:
    /// The caller fills `params.repository`, `params.path` and `params.cache` (null: no
    /// signature cache), then runs exec(): 1 when the load has ended (`params.succeeded` tells
    /// how), 2 when the loader thread could not start.
    explicit CLoadWaitDlg(QWidget* parent = nullptr);
    /// Waits for a loader that is still running, so that it never outlives `params`.
    ~CLoadWaitDlg() override;

    /// The loader's parameter block; the dialog sets `params.finished` and `params.observer`
    /// itself.
    LoadParams params;

    /// Enter does nothing: only the end of the load closes the dialog.
    void accept() override {}
    /// Escape and the window manager's close do nothing either.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    /// Starts `routine` on a new thread; throws std::system_error when it cannot.
    virtual std::thread StartThread(std::function<void()> routine);

private:
    void StartLoading();
    void OnLoadFinished();
    void ShowProgress(const ProgressReport& report);

    QProgressBar* progressBar;
    ProgressRelay* relay;
    std::thread loader;
    bool started = false;
};

}  // namespace vistrel
