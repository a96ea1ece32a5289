// Vistrel's entry point. The main window is still to come; until then the program loads the
// user's settings and shows a window that says what it can already do.

#include "SettingsStore.h"
#include "WindowTexts.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(vistrel::ProgramName());
    QApplication::setApplicationVersion(vistrel::ProgramVersion());
    vistrel::LoadSettings();

    QMainWindow window;
    window.setWindowTitle(vistrel::ProgramName());
    auto* notice = new QLabel(
        QStringLiteral("Vistrel %1\n\nThe picture engine is in place; the main window with its "
                       "repository commands comes in a later version.")
            .arg(vistrel::ProgramVersion()),
        &window);
    notice->setAlignment(Qt::AlignCenter);
    notice->setMargin(24);
    window.setCentralWidget(notice);
    window.resize(520, 240);
    window.show();
    return QApplication::exec();
}
