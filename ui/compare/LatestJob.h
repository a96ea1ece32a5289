#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent>

#include <functional>
#include <optional>
#include <utility>

namespace vistrel {

/// Runs work off the GUI thread, one piece at a time: work started while another piece runs
/// waits in its place (replacing any that waited before), so that a user stepping quickly
/// through pictures never has more than one decode of each kind in flight. The result of the
/// last piece reaches `done` on the GUI thread; results of pieces replaced meanwhile are
/// dropped. Destroying the job drops the result of the piece still running, which ends on its
/// own. GUI thread.
template <typename Result>
class LatestJob {
public:
    explicit LatestJob(std::function<void(const Result&)> done) : done(std::move(done)) {
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &watcher, [this] { Finished(); });
    }
    LatestJob(const LatestJob&) = delete;
    LatestJob& operator=(const LatestJob&) = delete;

    void Start(std::function<Result()> work) {
        if (running) {
            waiting = std::move(work);
            return;
        }
        Run(std::move(work));
    }
    /// Forgets the piece that waits and the result of the one that runs.
    void Drop() {
        waiting.reset();
        dropResult = running;
    }
    bool IsBusy() const { return running; }

private:
    void Run(std::function<Result()> work) {
        running = true;
        dropResult = false;
        watcher.setFuture(QtConcurrent::run(std::move(work)));
    }
    void Finished() {
        running = false;
        if (waiting) {
            std::function<Result()> next = std::move(*waiting);
            waiting.reset();
            Run(std::move(next));
            return;
        }
        if (!dropResult) {
            done(watcher.result());
        }
    }

    std::function<void(const Result&)> done;
    QFutureWatcher<Result> watcher;
    std::optional<std::function<Result()>> waiting;
    bool running = false;
    bool dropResult = false;
};

}  // namespace vistrel
