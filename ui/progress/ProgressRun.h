#pragma once

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPromise>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

/// How work run by RunWithProgress says how far it got: the items done and their total; false
/// when the user cancelled, and the work should stop.
using WorkProgress = std::function<bool(int done, int total)>;

/// Runs `work` on the shared thread pool while a window-modal progress dialog over `parent`
/// shows how far it got and offers to cancel; the window keeps painting meanwhile. The result,
/// or nothing when the user cancelled. For checks a command makes before it moves files. GUI
/// thread.
template <typename Result>
std::optional<Result> RunWithProgress(QWidget* parent, const QString& title, const QString& label,
                                      std::function<Result(const WorkProgress&)> work) {
    auto promise = std::make_shared<QPromise<Result>>();
    QFutureWatcher<Result> watcher;
    QProgressDialog progress(label, QObject::tr("Cancel"), 0, 0, parent);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::progressRangeChanged, &progress,
                     &QProgressDialog::setRange);
    QObject::connect(&watcher, &QFutureWatcherBase::progressValueChanged, &progress,
                     &QProgressDialog::setValue);
    QObject::connect(&progress, &QProgressDialog::canceled, &watcher,
                     [&watcher] { watcher.future().cancel(); });
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        Result result = work([&promise](int done, int total) {
            promise->setProgressRange(0, total);
            promise->setProgressValue(done);
            return !promise->isCanceled();
        });
        if (!promise->isCanceled()) {
            promise->addResult(std::move(result));
        }
        promise->finish();
    });
    loop.exec();
    if (watcher.future().isCanceled() || watcher.future().resultCount() == 0) {
        return std::nullopt;
    }
    return watcher.future().result();
}

}  // namespace vistrel
