#pragma once

// Playing the user at the modal windows a widget test opens. A window is answered from inside
// its own event loop (its exec()), found by polling while that loop runs. Waiting is bounded:
// a window that never comes, or one nobody answers, fails the test with a message that names
// it, and the modal window open instead is closed, so that the test ends rather than hangs.
// GUI thread only.

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <source_location>
#include <vector>

namespace vistrel::test {

/// How long a test waits for a modal window it expects, and lets one nobody answers stay open.
inline constexpr std::chrono::seconds kModalTimeLimit{30};

/// Fails the running test at `where` with `message`, and closes the modal window that is open,
/// if any (a dialog is rejected).
void FailAndCloseModal(const QString& message, const std::source_location& where);

/// Calls `answer` once the first window `find` returns (not null) is shown, while the event loop
/// runs; fails as FailAndCloseModal does, saying that no `name` came, after kModalTimeLimit.
/// The wait ends with `context` (no context: with the application).
void AwaitWindow(const QString& name, std::function<QWidget*()> find,
                 std::function<void(QWidget&)> answer, QObject* context,
                 const std::source_location& where);

/// The active modal window if it is a T, else the last visible top-level T; null without one.
template <typename T>
T* ShownWindow() {
    if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
        return modal;
    }
    T* shown = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* candidate = qobject_cast<T*>(widget); candidate && candidate->isVisible()) {
            shown = candidate;
        }
    }
    return shown;
}

/// Calls `answer` on the next window of type T shown (a chooser, a message box, a dialog), once.
/// A T that is not shown within kModalTimeLimit fails the test, naming T and `where`.
template <typename T>
void WhenShown(std::function<void(T&)> answer, QObject* context = nullptr,
               const std::source_location& where = std::source_location::current()) {
    AwaitWindow(
        QString::fromLatin1(T::staticMetaObject.className()), [] { return ShownWindow<T>(); },
        [answer = std::move(answer)](QWidget& window) { answer(static_cast<T&>(window)); }, context,
        where);
}

/// Answers the next message box with `button` (a box without it fails the test and is
/// rejected), and remembers its text in `text` where given.
void AnswerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr,
                      const std::source_location& where = std::source_location::current());

/// What a test saw of a message box.
struct SeenMessageBox {
    QString title;
    QString text;
    int buttons = 0;
    bool hasOk = false;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

/// Records the next message box shown while `context` lives into `seen`, and clicks its OK.
void AcceptNextMessageBox(QObject* context, SeenMessageBox& seen,
                          const std::source_location& where = std::source_location::current());

/// Plays the user at every modal window while it lives: answers each message box with the next
/// button of its script (OK once the script is done; a box without that button is rejected),
/// recording what it said; closes each report of an operation, recording its list of paths;
/// hands the windows of a type given to Handle to their handler. A modal window it has no
/// answer for fails the test, naming it, once it has stayed open for kModalTimeLimit.
class ModalUser : public QObject {
public:
    explicit ModalUser(std::deque<QMessageBox::StandardButton> answers,
                       const std::source_location& where = std::source_location::current());

    /// Hands every modal T to `handle` while the user lives.
    template <typename T>
    void Handle(std::function<void(T&)> handle) {
        handlers.push_back([handle = std::move(handle)](QWidget* modal) {
            auto* window = qobject_cast<T*>(modal);
            if (window != nullptr) {
                handle(*window);
            }
            return window != nullptr;
        });
    }

    std::vector<SeenMessageBox> boxes;
    std::vector<QString> reports;

private:
    void Look();

    std::deque<QMessageBox::StandardButton> answers;
    std::vector<std::function<bool(QWidget*)>> handlers;
    std::source_location where;
    // The modal window nobody answers, and how many looks it has stayed.
    QWidget* unanswered = nullptr;
    int unansweredLooks = 0;
    QTimer timer;
};

}  // namespace vistrel::test
