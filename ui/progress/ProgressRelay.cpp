#include "ProgressRelay.h"

#include <QMetaObject>

namespace vistrel {

ProgressRelay::ProgressRelay(QObject* parent) : QObject(parent) {}

void ProgressRelay::Report(const ProgressReport& report) {
    {
        const std::lock_guard lock(mutex);
        latest = report;
        if (deliveryPending) {
            return;
        }
        deliveryPending = true;
    }
    QMetaObject::invokeMethod(this, &ProgressRelay::Deliver, Qt::QueuedConnection);
}

bool ProgressRelay::StopRequested() const {
    return stop.load();
}

void ProgressRelay::RequestStop() {
    stop = true;
}

ProgressReport ProgressRelay::Latest() const {
    const std::lock_guard lock(mutex);
    return latest;
}

void ProgressRelay::Deliver() {
    ProgressReport report;
    {
        const std::lock_guard lock(mutex);
        report = latest;
        deliveryPending = false;
    }
    emit Progressed(report);
}

}  // namespace vistrel
