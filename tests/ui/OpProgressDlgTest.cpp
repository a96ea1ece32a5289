// The "Progress" dialog: its result when the run finishes and when the user stops it.

#include "OpProgressDlg.h"
#include "PictureRepository.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <random>

using vistrel::COpProgressDlg;
using vistrel::CPictureRepository;
using vistrel::SignatureBytes;

class OpProgressDlgTest : public QObject {
    Q_OBJECT

private:
    // Entries for paths that do not exist, given signatures directly; every `period`-th entry
    // is a copy of entry 0.
    static void Fill(CPictureRepository& repository, int count, int period) {
        std::mt19937 random(5);
        for (int i = 0; i < count; ++i) {
            repository.AddPicture(QStringLiteral("/nowhere/%1.jpg").arg(i));
            std::vector<std::uint8_t> bytes(30000);
            for (auto& byte : bytes) {
                byte = static_cast<std::uint8_t>(random());
            }
            auto& entry = repository.GetPicture(i);
            entry.signature = i % period == 0 && i > 0 ? repository.GetPicture(0).signature
                                                       : SignatureBytes(std::move(bytes));
            entry.loadError = false;
        }
    }

    // A dialog for a run of `repository` at the default threshold.
    static void Prepare(COpProgressDlg& dialog, CPictureRepository& repository, int workers = 0) {
        dialog.repository = &repository;
        dialog.threshold = 4.0f;
        dialog.workerCount = workers;
    }

    // Runs the dialog modally; `whileOpen` is called once the run is under way.
    static int Exec(COpProgressDlg& dialog, const std::function<void()>& whileOpen = {}) {
        if (whileOpen) {
            QTimer::singleShot(150, &dialog, whileOpen);
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
        QVERIFY(!repository.IsComparing());
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
        // Enough pairs that the run is still going when the user acts.
        CPictureRepository repository;
        Fill(repository, 1500, 7);
        const std::function<void(COpProgressDlg&)> actions[] = {
            [](COpProgressDlg& dialog) { dialog.findChild<QPushButton*>()->click(); },
            [](COpProgressDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
            [](COpProgressDlg& dialog) { dialog.close(); },
        };
        for (const auto& action : actions) {
            COpProgressDlg dialog;
            Prepare(dialog, repository, 2);
            bool wasRunning = false;
            const int result = Exec(dialog, [&] {
                wasRunning = repository.IsComparing();
                action(dialog);
            });
            QVERIFY(wasRunning);
            QCOMPARE(result, int(QDialog::Rejected));
            QVERIFY(!repository.IsComparing());
        }
    }

    void enterDoesNotCloseTheDialog() {
        CPictureRepository repository;
        Fill(repository, 1500, 7);
        COpProgressDlg dialog;
        Prepare(dialog, repository, 1);
        bool stillOpen = false;
        const int result = Exec(dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(&dialog, Qt::Key_Enter);
            stillOpen = dialog.isVisible() && repository.IsComparing();
            dialog.reject();
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, int(QDialog::Rejected));
    }
};

QTEST_MAIN(OpProgressDlgTest)
#include "OpProgressDlgTest.moc"
