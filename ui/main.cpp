// Vistrel's entry point: loads the user's settings and runs the main window until it closes.

#include "ProgramResources.h"
#include "QRXDlg.h"
#include "SettingsStore.h"
#include "WindowTexts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(vistrel::ProgramName());
    QApplication::setApplicationVersion(vistrel::ProgramVersion());
    QApplication::setDesktopFileName(QStringLiteral("vistrel"));
    vistrel::EnsureProgramResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vistrel.png")));
    // Missing or damaged settings leave the defaults in force; nothing to tell the user.
    vistrel::LoadSettings();

    vistrel::CQRXDlg window;
    window.show();
    return QApplication::exec();
}
