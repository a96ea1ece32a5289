#pragma once

#include "ProgressRelay.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace vistrel {

/// Runs `work` on the shared thread pool and waits for its result in a local event loop that
/// processes `events`, so that the windows keep painting. GUI thread.
template <typename Result>
Result RunOnThreadPool(std::function<Result()> work, QEventLoop::ProcessEventsFlags events) {
    QEventLoop loop;
    // The work ends by asking the loop to quit, its last touch of anything on this stack; the
    // loop cannot end before that, so whatever the work uses from here outlives it.
    auto result = std::make_shared<std::optional<Result>>();
    QThreadPool::globalInstance()->start([&loop, result, work = std::move(work)] {
        *result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(events);
    return std::move(**result);
}

/// Runs `work` on the shared thread pool while the window waits without taking input, painting
/// meanwhile: for work too short to be worth a progress dialog. GUI thread.
template <typename Result>
Result RunWhileWaiting(std::function<Result()> work) {
    return RunOnThreadPool(std::move(work), QEventLoop::ExcludeUserInputEvents);
}

/// Runs `work` on the shared thread pool while a window-modal progress dialog over `parent`
/// shows how far it got (the work reports to the observer it is given) and offers to cancel,
/// which the work sees as StopRequested; the window keeps painting meanwhile. The result, or
/// nothing when the user cancelled. For checks a command makes before it moves files. GUI
/// thread.
template <typename Result>
std::optional<Result> RunWithProgress(QWidget* parent, const QString& title, const QString& label,
                                      std::function<Result(ProgressObserver*)> work) {
    ProgressRelay relay;
    QProgressDialog progress(label, QObject::tr("Cancel"), 0, 0, parent);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    QObject::connect(&relay, &ProgressRelay::Progressed, &progress,
                     [&progress](const ProgressReport& report) {
                         constexpr auto kMost = std::uint64_t{std::numeric_limits<int>::max()};
                         progress.setRange(0, static_cast<int>(std::min(report.total, kMost)));
                         progress.setValue(static_cast<int>(std::min(report.done, kMost)));
                     });
    QObject::connect(&progress, &QProgressDialog::canceled, &relay, &ProgressRelay::RequestStop);
    Result result =
        RunOnThreadPool<Result>([&relay, &work] { return work(&relay); }, QEventLoop::AllEvents);
    if (relay.StopRequested()) {
        return std::nullopt;
    }
    return result;
}

}  // namespace vistrel
