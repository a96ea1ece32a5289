#include "KeepCheckProgress.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPromise>
#include <QThreadPool>

#include <memory>

namespace vistrel {

std::optional<KeepCheck> CheckKeepPlansWithProgress(const std::vector<KeepPlan>& plans,
                                                    bool shapeOnly, QWidget* parent) {
    auto promise = std::make_shared<QPromise<KeepCheck>>();
    QFutureWatcher<KeepCheck> watcher;
    QProgressDialog progress(QObject::tr("Checking the pictures before they move..."),
                             QObject::tr("Cancel"), 0, 0, parent);
    progress.setWindowTitle(QObject::tr("Keep One of Each Group"));
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
    QThreadPool::globalInstance()->start([promise, plans, shapeOnly] {
        KeepCheck check = CheckKeepPlans(plans, shapeOnly, [&promise](int done, int total) {
            promise->setProgressRange(0, total);
            promise->setProgressValue(done);
            return !promise->isCanceled();
        });
        if (!promise->isCanceled()) {
            promise->addResult(std::move(check));
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
