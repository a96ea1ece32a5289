#pragma once

#include "ProgressRelay.h"
#include "StopProgressDlg.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace vistrel {

/// Runs `work` on the shared thread pool and waits for its result in a local event loop that
/// processes `events`, so that the windows keep painting. With `reveal`, the wait takes no
/// input for its first `revealAfterMs` (the work is likely over by then), then calls `reveal`
/// (to show a dialog) and processes `events` until the work ends. GUI thread.
template <typename Result>
Result RunOnThreadPool(std::function<Result()> work, QEventLoop::ProcessEventsFlags events,
                       int revealAfterMs = 0, const std::function<void()>& reveal = {}) {
    QEventLoop loop;
    // The work ends by asking the loop to quit, its last touch of anything on this stack; the
    // loop cannot end for good before that, so whatever the work uses from here outlives it.
    auto result = std::make_shared<std::optional<Result>>();
    auto finished = std::make_shared<bool>(false);
    QThreadPool::globalInstance()->start([&loop, result, finished, work = std::move(work)] {
        *result = work();
        QMetaObject::invokeMethod(
            &loop,
            [&loop, finished] {
                *finished = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    if (reveal) {
        // Input that comes meanwhile waits, and reaches the windows once the work is over or
        // the dialog stands in front of them.
        QTimer::singleShot(revealAfterMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (*finished) {
            return std::move(**result);
        }
        reveal();
    }
    while (!*finished) {
        loop.exec(events);
    }
    return std::move(**result);
}

/// Runs `work` on the shared thread pool while the window waits without taking input, painting
/// meanwhile: for work too short to be worth a progress dialog. GUI thread.
template <typename Result>
Result RunWhileWaiting(std::function<Result()> work) {
    return RunOnThreadPool(std::move(work), QEventLoop::ExcludeUserInputEvents);
}

namespace detail {

/// A progress dialog over `parent` that follows `relay`'s reports and asks it to stop when its
/// button is pressed; hidden until shown.
inline void SetUpProgressDialog(QProgressDialog& progress, ProgressRelay& relay,
                                const QString& title) {
    progress.setWindowTitle(title);
    // Shown by the run, never by the dialog's own timer.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QObject::connect(&relay, &ProgressRelay::Progressed, &progress,
                     [&progress](const ProgressReport& report) {
                         constexpr auto kMost = std::uint64_t{std::numeric_limits<int>::max()};
                         progress.setRange(0, static_cast<int>(std::min(report.total, kMost)));
                         progress.setValue(static_cast<int>(std::min(report.done, kMost)));
                     });
    QObject::connect(&progress, &QProgressDialog::canceled, &relay, &ProgressRelay::RequestStop);
}

}  // namespace detail

/// How long work that moves files runs before its progress dialog shows: a moment.
inline constexpr int kFileWorkRevealMs = 500;

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
    progress.setWindowModality(Qt::WindowModal);
    detail::SetUpProgressDialog(progress, relay, title);
    Result result =
        RunOnThreadPool<Result>([&relay, &work] { return work(&relay); }, QEventLoop::AllEvents,
                                300, [&progress] { progress.show(); });
    if (relay.StopRequested()) {
        return std::nullopt;
    }
    return result;
}

/// Runs `work`, which moves files, on the shared thread pool. No window takes input while it
/// runs; once it has taken more than a moment (kFileWorkRevealMs) a progress dialog over
/// `parent` shows how far it got and offers Stop, which the work sees as StopRequested: it
/// finishes the file in hand and returns what it did. Always the work's result. GUI thread.
template <typename Result>
Result RunFileWork(QWidget* parent, const QString& title, const QString& label,
                   std::function<Result(ProgressObserver*)> work) {
    ProgressRelay relay;
    StopProgressDlg progress(label, parent);
    // Every window waits: the repository must stay as planned until the results are applied.
    progress.setWindowModality(Qt::ApplicationModal);
    detail::SetUpProgressDialog(progress, relay, title);
    return RunOnThreadPool<Result>([&relay, &work] { return work(&relay); }, QEventLoop::AllEvents,
                                   kFileWorkRevealMs, [&progress] { progress.show(); });
}

}  // namespace vistrel
