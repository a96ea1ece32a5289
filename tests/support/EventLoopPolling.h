#pragma once

// Driving modal windows from a test: a step that runs inside the window's own event loop.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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

/// What a test saw of a message box.
struct SeenMessageBox {
    QString title;
    QString text;
    int buttons = 0;
    bool hasOk = false;
};

/// Records the next message box shown while the event loop runs into `seen`, and clicks its OK.
inline void AcceptNextMessageBox(QObject* context, SeenMessageBox& seen) {
    Poll(context, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return false;
        }
        seen =
            SeenMessageBox{box->windowTitle(), box->text(), static_cast<int>(box->buttons().size()),
                           box->button(QMessageBox::Ok) != nullptr};
        box->button(QMessageBox::Ok)->click();
        return true;
    });
}

}  // namespace vistrel::test
