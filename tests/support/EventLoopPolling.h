#pragma once

// A step of a test that runs inside a window's own event loop (ModalDriver.h answers modal
// windows).

#include <QObject>
#include <QTimer>

#include <functional>

namespace vistrel::test {

/// Calls `step` every 20 ms while the event loop runs, until it returns true.
inline void Poll(QObject* context, std::function<bool()> step) {
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
        if (step()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

}  // namespace vistrel::test
