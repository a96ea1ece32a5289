#pragma once

#include "progress/ProgressObserver.h"

#include <QObject>

#include <atomic>
#include <mutex>

namespace vistrel {

/// Brings the reports of long work to the GUI thread: the work reports on its own threads, and
/// Progressed is emitted on the relay's thread with the latest report only, so that a fast
/// worker never floods the event queue. Stop is asked for by the window, read by the work.
class ProgressRelay : public QObject, public ProgressObserver {
    Q_OBJECT

public:
    explicit ProgressRelay(QObject* parent = nullptr);

    /// Any thread: keeps the report and schedules one delivery if none is waiting.
    void Report(const ProgressReport& report) override;
    /// Any thread.
    bool StopRequested() const override;

    /// Asks the work to stop. Any thread.
    void RequestStop();
    /// The latest report, whether delivered yet or not. Any thread.
    ProgressReport Latest() const;

signals:
    /// The latest report, on the relay's thread.
    void Progressed(const vistrel::ProgressReport& report);

private:
    void Deliver();

    mutable std::mutex mutex;
    ProgressReport latest;
    bool deliveryPending = false;
    std::atomic<bool> stop{false};
};

}  // namespace vistrel
