#include "ModalDriver.h"

#include "dialogs/OperationReportDlg.h"

#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace vistrel::test {

namespace {

constexpr int kLookInterval = 20;  // ms between two looks for a window
constexpr auto kLimitMs = std::chrono::milliseconds(kModalTimeLimit).count();

}  // namespace

void FailAndCloseModal(const QString& message, const std::source_location& where) {
    QTest::qFail(qPrintable(message), where.file_name(), static_cast<int>(where.line()));
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
}

void AwaitWindow(const QString& name, std::function<QWidget*()> find,
                 std::function<void(QWidget&)> answer, QObject* context,
                 const std::source_location& where) {
    auto* timer = new QTimer(context != nullptr ? context : QCoreApplication::instance());
    QElapsedTimer waited;
    waited.start();
    QObject::connect(timer, &QTimer::timeout, timer,
                     [=, find = std::move(find), answer = std::move(answer)]() mutable {
                         if (QWidget* window = find()) {
                             timer->stop();
                             timer->deleteLater();
                             answer(*window);
                         } else if (waited.elapsed() > kLimitMs) {
                             timer->stop();
                             timer->deleteLater();
                             FailAndCloseModal(QStringLiteral("no %1 was shown within %2 s")
                                                   .arg(name)
                                                   .arg(kModalTimeLimit.count()),
                                               where);
                         }
                     });
    timer->start(kLookInterval);
}

void AnswerMessageBox(QMessageBox::StandardButton button, QString* text,
                      const std::source_location& where) {
    WhenShown<QMessageBox>(
        [button, text, where](QMessageBox& box) {
            if (text != nullptr) {
                *text = box.text();
            }
            if (QAbstractButton* answer = box.button(button)) {
                answer->click();
            } else {
                FailAndCloseModal(
                    QStringLiteral("the message box \"%1\" has no such button").arg(box.text()),
                    where);
            }
        },
        nullptr, where);
}

void AcceptNextMessageBox(QObject* context, SeenMessageBox& seen,
                          const std::source_location& where) {
    WhenShown<QMessageBox>(
        [&seen, where](QMessageBox& box) {
            seen = SeenMessageBox{
                box.windowTitle(), box.text(), static_cast<int>(box.buttons().size()),
                box.button(QMessageBox::Ok) != nullptr, box.standardButton(box.defaultButton())};
            if (QAbstractButton* ok = box.button(QMessageBox::Ok)) {
                ok->click();
            } else {
                FailAndCloseModal(
                    QStringLiteral("the message box \"%1\" has no OK").arg(box.text()), where);
            }
        },
        context, where);
}

ModalUser::ModalUser(std::deque<QMessageBox::StandardButton> script,
                     const std::source_location& from)
    : answers(std::move(script)), where(from) {
    connect(&timer, &QTimer::timeout, this, &ModalUser::Look);
    timer.start(kLookInterval);
}

void ModalUser::Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back({box->windowTitle(), box->text(), static_cast<int>(box->buttons().size()),
                         box->button(QMessageBox::Ok) != nullptr,
                         box->standardButton(box->defaultButton())});
        const QMessageBox::StandardButton answer =
            answers.empty() ? QMessageBox::Ok : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        if (QAbstractButton* button = box->button(answer)) {
            button->click();
        } else {
            box->reject();
        }
        return;
    }
    if (auto* report = qobject_cast<COperationReportDlg*>(modal)) {
        reports.push_back(report->PathList()->toPlainText());
        report->reject();
        return;
    }
    for (const auto& handle : handlers) {
        if (modal != nullptr && handle(modal)) {
            return;
        }
    }
    // A modal window left open by everyone: fail rather than wait for ever.
    if (modal == nullptr || modal != unanswered) {
        unanswered = modal;
        unansweredLooks = 0;
    } else if (++unansweredLooks * kLookInterval > kLimitMs) {
        unanswered = nullptr;
        FailAndCloseModal(
            QStringLiteral("nobody answered the modal %1 \"%2\" within %3 s")
                .arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle())
                .arg(kModalTimeLimit.count()),
            where);
    }
}

}  // namespace vistrel::test
