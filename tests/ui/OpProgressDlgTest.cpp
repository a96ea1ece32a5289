// The "Progress" dialog: its result when the run finishes and when the user stops it.

#include "progress/OpProgressDlg.h"
#include "repository/PictureRepository.h"
#include "support/EventLoopPolling.h"
#include "support/RandomEntries.h"
#include "support/WidgetTestMain.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using vistrel::COpProgressDlg;
using vistrel::CPictureRepository;
using vistrel::SignatureBytes;

class OpProgressDlgTest : public QObject {
    Q_OBJECT

private:
    // Random entries; every `period`-th entry is a copy of entry 0.
    static void Fill(CPictureRepository& repository, int count, int period) {
        vistrel::test::AddRandomEntries(repository, count, 5, period);
    }

    // A dialog for a run of `repository` at the default threshold.
    static void Prepare(COpProgressDlg& dialog, CPictureRepository& repository, int workers = 0,
                        float threshold = 4.0f) {
        dialog.repository = &repository;
        dialog.options.threshold = threshold;
        dialog.options.workers = workers;
    }

    // A run that lasts long enough for a user to act on: at the highest threshold every pair
    // is compared in full, since no bound can rule one out.
    static void FillForALongRun(CPictureRepository& repository) { Fill(repository, 3000, 7); }

    // Runs the dialog modally; `whileOpen` is called once the run is under way.
    static int Exec(COpProgressDlg& dialog, const std::function<void()>& whileOpen = {}) {
        if (whileOpen) {
            // As soon as the run is under way: it must not have ended by then.
            vistrel::test::Poll(&dialog, [&dialog, whileOpen] {
                if (!dialog.IsComparing()) {
                    return false;
                }
                whileOpen();
                return true;
            });
        }
        return dialog.exec();
    }

private slots:
    void finishedRunClosesWithOkAndRecordsLinks() {
        CPictureRepository repository;
        Fill(repository, 40, 10);
        COpProgressDlg dialog;
        Prepare(dialog, repository);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Progress"));
        QCOMPARE(Exec(dialog), int(QDialog::Accepted));
        QCOMPARE(repository.GetPicture(0).similar.size(), size_t(3));  // entries 10, 20 and 30
        QCOMPARE(repository.GetPicture(10).similar.size(), size_t(3));
        QVERIFY(repository.GetPicture(1).similar.empty());
        QVERIFY(!dialog.IsComparing());
    }

    // The repository file keeps the links of the last save: a run that changes them leaves
    // something to save, one that finds the same links does not.
    void runThatChangesTheLinksMarksTheRepositoryModified() {
        CPictureRepository repository;
        Fill(repository, 40, 10);
        // Links found, the same links again, every link gone.
        const std::pair<float, bool> runs[] = {{4.0f, true}, {4.0f, false}, {0.0f, true}};
        for (const auto& [threshold, changes] : runs) {
            repository.ClearModified();
            COpProgressDlg dialog;
            Prepare(dialog, repository, 0, threshold);
            QCOMPARE(Exec(dialog), int(QDialog::Accepted));
            QCOMPARE(repository.IsModified(), changes);
        }
        QVERIFY(!repository.HasSimilar());
    }

    void nothingToCompareClosesAtOnce() {
        CPictureRepository repository;
        Fill(repository, 1, 10);
        COpProgressDlg dialog;
        Prepare(dialog, repository);
        QCOMPARE(Exec(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.workersLeft, 0);
    }

    void stopButtonEscapeAndCloseBoxStopTheRun() {
        CPictureRepository repository;
        FillForALongRun(repository);
        const std::function<void(COpProgressDlg&)> actions[] = {
            [](COpProgressDlg& dialog) { dialog.findChild<QPushButton*>()->click(); },
            [](COpProgressDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
            [](COpProgressDlg& dialog) { dialog.close(); },
        };
        for (const auto& action : actions) {
            COpProgressDlg dialog;
            Prepare(dialog, repository, 2, 99.0f);
            bool wasRunning = false;
            const int result = Exec(dialog, [&] {
                wasRunning = dialog.IsComparing();
                action(dialog);
            });
            QVERIFY(wasRunning);
            QCOMPARE(result, int(QDialog::Rejected));
            QVERIFY(!dialog.IsComparing());
        }
    }

    void enterDoesNotCloseTheDialog() {
        CPictureRepository repository;
        FillForALongRun(repository);
        COpProgressDlg dialog;
        Prepare(dialog, repository, 1, 99.0f);
        bool stillOpen = false;
        const int result = Exec(dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(&dialog, Qt::Key_Enter);
            stillOpen = dialog.isVisible() && dialog.IsComparing();
            dialog.reject();
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, int(QDialog::Rejected));
    }
};

VISTREL_WIDGET_TEST_MAIN(OpProgressDlgTest)
#include "OpProgressDlgTest.moc"
