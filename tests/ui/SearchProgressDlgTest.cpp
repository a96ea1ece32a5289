// The "Search Progress" dialog over real pictures: what it adds, what it shows, how it ends.

#include "progress/SearchProgressDlg.h"
#include "repository/PictureRepository.h"
#include "settings/PictureFormats.h"
#include "support/TestPictures.h"
#include "support/WidgetTestMain.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <array>
#include <functional>

namespace vistrel {

namespace {

/// What the Add To Repository command passes with every format enabled.
QStringList AllExtensions() {
    std::array<bool, FORMAT_COUNT> enabled{};
    enabled.fill(true);
    QStringList extensions;
    GetEnabledExtensions(enabled, extensions);
    return extensions;
}

const QStringList kAllExtensions = AllExtensions();

QString LabelText(const CSearchProgressDlg& dialog, const char* name) {
    const auto* label = dialog.findChild<QLabel*>(name);
    return label != nullptr ? label->text() : QStringLiteral("<no label %1>").arg(name);
}

/// Calls `step` on every turn of the event loop while the dialog runs, until it returns true.
void WhileRunning(CSearchProgressDlg& dialog, std::function<bool()> step) {
    auto* timer = new QTimer(&dialog);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, &dialog, [timer, step = std::move(step)] {
        if (step()) {
            timer->stop();
        }
    });
    timer->start();
}

}  // namespace

class SearchProgressDlgTest : public QObject {
    Q_OBJECT

private:
    /// Writes `count` small pictures, cycling through every format, into `folder`.
    static QStringList WritePictures(const QString& folder, int count) {
        QStringList paths;
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            const auto format = test::kAllFormats[i % 5];
            const QString path =
                QStringLiteral("%1/picture%2.%3").arg(folder).arg(i).arg(test::ExtensionOf(format));
            const QImage picture = test::Posterize(test::MakePhotoLike(24, 18, i + 1));
            if (!test::WritePicture(picture, format, path)) {
                return {};
            }
            paths << path;
        }
        return paths;
    }

    static QSet<QString> PathsIn(const CPictureRepository& repository) {
        QSet<QString> paths;
        for (int i = 0; i < repository.GetCount(); ++i) {
            paths.insert(repository.GetPicture(i).path);
        }
        return paths;
    }

private slots:
    void showsItsTextsBeforeTheScan() {
        CPictureRepository repository;
        CSearchProgressDlg dialog(nullptr, &repository, QStringLiteral("/nowhere"), kAllExtensions);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Search Progress"));
        QCOMPARE(LabelText(dialog, "countLabel"), QStringLiteral("Count:"));
        QCOMPARE(LabelText(dialog, "pathLabel"), QStringLiteral("Path"));
        const auto* stop = dialog.findChild<QPushButton*>("stopButton");
        QVERIFY(stop != nullptr);
        QCOMPARE(stop->text(), QStringLiteral("Stop"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    }

    // --- A scan that runs to its end ---------------------------------------------------------

    void finishedScanOfTwentyFivePicturesEndsAccepted() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QStringList written = WritePictures(folder.path(), 25);
        QCOMPARE(written.size(), 25);
        CPictureRepository repository;

        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));

        QCOMPARE(dialog.FilesSeen(), 25);
        QCOMPARE(repository.GetCount(), 25);
        QCOMPARE(PathsIn(repository), QSet<QString>(written.begin(), written.end()));
        for (int i = 0; i < repository.GetCount(); ++i) {
            QVERIFY2(!repository.GetPicture(i).loadError,
                     qPrintable(repository.GetPicture(i).path));
        }
        // The count moves on every tenth file: 0, 10, 20.
        QCOMPARE(LabelText(dialog, "countLabel"), QStringLiteral("Total count: 20"));
        QCOMPARE(LabelText(dialog, "pathLabel"), "File: " + repository.GetPicture(24).path);
        // The walk ended: the total is known, and the bar is full.
        QCOMPARE(LabelText(dialog, "foundLabel"),
                 QStringLiteral("Signatures made: 25 of 25 files found"));
        const auto* bar = dialog.findChild<QProgressBar*>("progressBar");
        QVERIFY(bar != nullptr);
        QCOMPARE(bar->maximum(), 25);
        QCOMPARE(bar->value(), 25);
    }

    void countLabelShowsTheCountAsEveryTenthFileArrives() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // More than one turn's worth.
        QCOMPARE(WritePictures(folder.path(), 150).size(), 150);
        CPictureRepository repository;
        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        // Pictures arrive in batches; whenever the count has moved, the label names the last
        // tenth file among those added.
        QStringList wrong;
        int lastCount = 0;
        WhileRunning(dialog, [&] {
            if (dialog.FilesSeen() != lastCount) {
                lastCount = dialog.FilesSeen();
                const QString expected =
                    QStringLiteral("Total count: %1").arg((lastCount - 1) / 10 * 10);
                if (LabelText(dialog, "countLabel") != expected) {
                    wrong << LabelText(dialog, "countLabel") + " after " +
                                 QString::number(lastCount);
                }
            }
            return false;
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        QVERIFY(lastCount > 0);
        QCOMPARE(LabelText(dialog, "countLabel"), QStringLiteral("Total count: 140"));
    }

    void fileAlreadyInTheRepositoryIsCountedButKeptOnce() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QStringList written = WritePictures(folder.path(), 3);
        QCOMPARE(written.size(), 3);
        CPictureRepository repository;
        repository.AddPicture(written[1]);

        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.FilesSeen(), 3);
        QCOMPARE(repository.GetCount(), 3);
        QCOMPARE(repository.GetPicture(0).path, written[1]);
    }

    void emptyExtensionListOrMissingFolderAddsNothingAndEndsAccepted() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(WritePictures(folder.path() + "/sub", 4).size(), 4);
        CPictureRepository repository;
        {
            CSearchProgressDlg dialog(nullptr, &repository, folder.path(), QStringList{});
            QCOMPARE(dialog.exec(), int(QDialog::Accepted));
            QCOMPARE(dialog.FilesSeen(), 0);
        }
        {
            CSearchProgressDlg dialog(nullptr, &repository, folder.filePath("missing"),
                                      kAllExtensions);
            QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        }
        QCOMPARE(repository.GetCount(), 0);
    }

    void unreadablePictureIsAddedWithItsError() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QVERIFY(test::WriteBytes(folder.filePath("broken.png"), "no picture here"));
        CPictureRepository repository;
        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(repository.GetCount(), 1);
        QVERIFY(repository.GetPicture(0).loadError);
    }

    // --- Stopping ----------------------------------------------------------------------------

    void stopKeepsWhatWasAddedAndEndsRejected_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Stop button") << false;
        QTest::newRow("Escape key") << true;
    }

    void stopKeepsWhatWasAddedAndEndsRejected() {
        QFETCH(bool, byEscape);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // More pictures than the dialog adds in one turn, so that the stop comes before the end.
        const QStringList written = WritePictures(folder.path(), 300);
        QCOMPARE(written.size(), 300);
        CPictureRepository repository;
        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        WhileRunning(dialog, [&] {
            if (dialog.FilesSeen() < 5) {
                return false;
            }
            if (byEscape) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                QTest::mouseClick(dialog.findChild<QPushButton*>("stopButton"), Qt::LeftButton);
            }
            return true;
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));

        const int added = repository.GetCount();
        QVERIFY(added >= 5);
        QVERIFY(added < 300);
        QCOMPARE(dialog.FilesSeen(), added);
        QTest::qWait(50);  // nothing more may arrive once the dialog has closed
        QCOMPARE(repository.GetCount(), added);
        for (const QString& path : PathsIn(repository)) {
            QVERIFY(written.contains(path));
        }
    }

    void enterDoesNotStopTheScan() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(WritePictures(folder.path(), 150).size(), 150);
        CPictureRepository repository;
        CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
        bool pressed = false;
        WhileRunning(dialog, [&] {
            if (dialog.FilesSeen() < 2) {
                return false;
            }
            dialog.findChild<QPushButton*>("stopButton")->setFocus();
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(dialog.findChild<QPushButton*>("stopButton"), Qt::Key_Enter);
            pressed = true;
            return true;
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(pressed);
        QCOMPARE(repository.GetCount(), 150);
    }

    void destroyingAnOpenDialogStopsItsScan() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(WritePictures(folder.path(), 300).size(), 300);
        CPictureRepository repository;
        int added = 0;
        {
            CSearchProgressDlg dialog(nullptr, &repository, folder.path(), kAllExtensions);
            dialog.show();
            for (int round = 0; round < 3000 && dialog.FilesSeen() == 0; ++round) {
                QCoreApplication::processEvents();
                QThread::msleep(1);
            }
            QVERIFY(dialog.FilesSeen() >= 1);
        }
        // The import runs on the dialog's thread until the dialog is gone.
        added = repository.GetCount();
        QVERIFY(added >= 1);
        QTest::qWait(50);
        QCOMPARE(repository.GetCount(), added);
        QVERIFY(added < 300);
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::SearchProgressDlgTest)
#include "SearchProgressDlgTest.moc"
