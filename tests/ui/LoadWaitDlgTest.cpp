// The "Opening Repository" wait dialog: its result codes, that Enter does not end a load while
// Cancel and Escape stop it, and the message when the loader cannot start.

#include "progress/LoadWaitDlg.h"
#include "repository/PictureRepository.h"
#include "support/EventLoopPolling.h"
#include "support/ModalDriver.h"
#include "support/TestPictures.h"
#include "support/Utf16Text.h"
#include "support/WidgetTestMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <future>
#include <system_error>

namespace vistrel {
namespace {

using test::Poll;
using test::Utf16Le;

// A loader that the system refuses to start.
class UnstartableLoadWaitDlg : public CLoadWaitDlg {
protected:
    std::thread StartThread(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

// A loader that starts reading only once the test lets it go.
class HeldLoadWaitDlg : public CLoadWaitDlg {
public:
    std::promise<void> release;

protected:
    std::thread StartThread(std::function<void()> routine) override {
        return std::thread([routine = std::move(routine), held = release.get_future()] {
            held.wait();
            routine();
        });
    }
};

}  // namespace

class LoadWaitDlgTest : public QObject {
    Q_OBJECT

private slots:
    void showsItsTitleAndTextWithoutCloseBox() {
        CLoadWaitDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Opening Repository"));
        const auto* label = dialog.findChild<QLabel*>();
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), QStringLiteral("Loading is in progress. Please wait.\n"
                                               "This can take a few minutes."));
        const Qt::WindowFlags flags = dialog.windowFlags();
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
        const QList<QAbstractButton*> buttons = dialog.findChildren<QAbstractButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first()->text(), QStringLiteral("Cancel"));
    }

    void finishedLoadReturnsOne() {
        QTemporaryDir folder;
        const QString picture = folder.filePath(QStringLiteral("p.png"));
        QVERIFY(
            test::WritePicture(test::MakePhotoLike(40, 30, 3), test::PictureFormat::Png, picture));
        CPictureRepository written;
        written.AddPicture(picture);
        written.AddPicture(folder.filePath(QStringLiteral("gone.jpg")));
        written.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, 0, 1, 7.0f});
        const QString file = folder.filePath(QStringLiteral("set.qrx"));
        QVERIFY(written.SaveToFile(file));

        CPictureRepository repository;
        CLoadWaitDlg dialog;
        dialog.params.repository = &repository;
        dialog.params.path = file;
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(dialog.params.succeeded);
        QCOMPARE(repository.GetCount(), 2);
        QCOMPARE(repository.GetPicture(0).path, picture);
        QVERIFY(!repository.GetPicture(0).signature.empty());
        QVERIFY(repository.GetPicture(1).loadError);
        QCOMPARE(repository.GetPicture(1).similar.size(), std::size_t{1});
        // The bar ends on every picture done, out of those the file names.
        const auto* bar = dialog.findChild<QProgressBar*>("progressBar");
        QVERIFY(bar != nullptr);
        QCOMPARE(bar->maximum(), 2);
        QCOMPARE(bar->value(), 2);
    }

    void failedLoadAlsoReturnsOneAndSaysSo() {
        QTemporaryDir folder;
        CPictureRepository repository;
        CLoadWaitDlg dialog;
        dialog.params.repository = &repository;
        dialog.params.path = folder.filePath(QStringLiteral("missing.qrx"));
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(!dialog.params.succeeded);
        QVERIFY(repository.IsEmpty());
    }

    // The loader is held until the test has pressed Enter and then Escape, so it is certainly
    // still at work while they arrive: Enter changes nothing, Escape cancels, and the dialog
    // waits for the loader, which stops before it reads anything.
    void enterDoesNotEndTheLoadAndEscapeCancelsIt() {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("slow.qrx"));
        QVERIFY(test::WriteBytes(file, Utf16Le(QStringLiteral("1\n8\n/x/y.png\n0\n"))));

        CPictureRepository repository;
        HeldLoadWaitDlg dialog;
        dialog.params.repository = &repository;
        dialog.params.path = file;
        bool openAfterEnter = false;
        bool openAfterEscape = false;
        Poll(&dialog, [&] {
            if (!dialog.isVisible()) {
                return false;
            }
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(&dialog, Qt::Key_Enter);
            QCoreApplication::processEvents();
            openAfterEnter = dialog.isVisible() && dialog.result() == 0;
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QCoreApplication::processEvents();
            openAfterEscape = dialog.isVisible();
            dialog.release.set_value();
            return true;
        });
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(openAfterEnter);
        QVERIFY(openAfterEscape);
        QVERIFY(!dialog.params.succeeded);
        QVERIFY(repository.IsEmpty());
    }

    void loaderThatCannotStartShowsErrorAndReturnsTwo() {
        CPictureRepository repository;
        repository.AddPicture(QStringLiteral("/kept.jpg"));
        UnstartableLoadWaitDlg dialog;
        dialog.params.repository = &repository;
        dialog.params.path = QStringLiteral("/any.qrx");
        test::SeenMessageBox box;
        test::AcceptNextMessageBox(&dialog, box);
        QCOMPARE(dialog.exec(), 2);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, QStringLiteral("Unable to start process"));
        QCOMPARE(box.buttons, 1);
        QCOMPARE(repository.GetCount(), 1);
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::LoadWaitDlgTest)
#include "LoadWaitDlgTest.moc"
