// Vistrel's entry point, `vistrel [FILE.qrx]`: loads the user's settings and runs the main
// window until it closes, opening the file given.

#include "ProgramArguments.h"
#include "common/ProgramResources.h"
#include "common/WindowTexts.h"
#include "mainwindow/QRXDlg.h"
#include "marks/NotSimilarMarks.h"
#include "settings/SettingsStore.h"
#include "signature/SignatureCache.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(vistrel::ProgramName());
    QApplication::setApplicationVersion(vistrel::ProgramVersion());
    QApplication::setDesktopFileName(QStringLiteral("org.vistrel.Vistrel"));
    const vistrel::ProgramArguments arguments =
        vistrel::ParseProgramArguments(QApplication::arguments());
    if (!arguments.message.isEmpty()) {
        std::fputs(qPrintable(arguments.message), arguments.exitStatus == 0 ? stdout : stderr);
        return arguments.exitStatus;
    }
    vistrel::EnsureProgramResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vistrel.png")));
    // Missing or damaged settings leave the defaults in force; nothing to tell the user.
    vistrel::UserSettings settings;
    vistrel::LoadUserSettings(settings);

    // Signatures kept from earlier runs spare decoding unchanged pictures again; without the
    // cache the program works all the same.
    auto cache = std::make_shared<vistrel::SignatureCache>(vistrel::SignatureCache::DefaultPath());
    const bool cacheOpen = cache->IsOpen();
    if (!cacheOpen) {
        qWarning("%s", qPrintable(cache->Problem()));
    }

    // The pairs the user marked not similar; without them every pair is reported, and the user
    // is told once why.
    auto marks = std::make_shared<vistrel::NotSimilarMarks>();
    QString marksWarning;
    if (!marks->IsOpen()) {
        marksWarning = QObject::tr(
                           "Marking pairs as not similar is off, and every similar pair "
                           "is shown.\n\n%1")
                           .arg(marks->Problem());
    } else if (!marks->SetAside().isEmpty()) {
        marksWarning = QObject::tr(
                           "The file of the pairs marked not similar was damaged; it was "
                           "set aside as \"%1\" and the marks begin anew.")
                           .arg(marks->SetAside());
    }

    int status = 0;
    {
        vistrel::CQRXDlg window(settings, cacheOpen ? cache : nullptr, marks);
        window.RestoreWindowGeometry();
        window.show();
        if (!marksWarning.isEmpty()) {
            QTimer::singleShot(0, &window, [&window, marksWarning] {
                QMessageBox::warning(&window, vistrel::ProgramName(), marksWarning);
            });
        }
        if (!arguments.repositoryFile.isEmpty()) {
            window.OpenRepositoryFileLater(arguments.repositoryFile);
        }
        status = QApplication::exec();
    }
    if (cacheOpen) {
        cache->Flush();
        // Storing stopped while the window ran (a full disk, say).
        if (const QString problem = cache->Problem(); !problem.isEmpty()) {
            qWarning("%s", qPrintable(problem));
        }
    }
    return status;
}
