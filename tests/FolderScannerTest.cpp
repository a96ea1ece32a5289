// The folder scan without any window: what it reports, in which order, and how it stops.

#include "scanning/FolderScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace vistrel {
namespace {

using Kind = CFolderScanner::Message::Kind;
namespace fs = std::filesystem;

/// Collects what a scan hands to its receiver, on the test's own thread.
class ScanRecorder {
public:
    /// Called for every message after it has been recorded.
    std::function<void(const CFolderScanner::Message&)> onMessage;

    CFolderScanner::Receiver Receiver() {
        return [this](const CFolderScanner::Message& message) {
            messages.push_back(message);
            if (onMessage) {
                onMessage(message);
            }
        };
    }

    QStringList Files() const { return TextsOf(Kind::File); }
    QStringList Errors() const { return TextsOf(Kind::Error); }
    QStringList Skipped() const { return TextsOf(Kind::Skipped); }
    int FinishedCount() const {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const auto& m) {
            return m.kind == Kind::Finished;
        }));
    }
    bool EndsWithFinished() const {
        return !messages.empty() && messages.back().kind == Kind::Finished;
    }

    QObject window;
    std::vector<CFolderScanner::Message> messages;

private:
    QStringList TextsOf(Kind kind) const {
        QStringList texts;
        for (const auto& message : messages) {
            if (message.kind == kind) {
                texts << message.text;
            }
        }
        return texts;
    }
};

/// Runs the event loop until `done` holds or a generous safety limit passes; true when it held.
bool PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 30000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void PumpBriefly() {
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

/// A folder kept open for as long as it lives.
struct HeldFolder {
    explicit HeldFolder(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    const int fd;
};

class FolderScannerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    // QTemporaryDir cannot remove names that are not valid in the system's encoding; the file
    // system's own bytes can.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(folder.path()).toStdString(), ignored);
    }

    QString PathOf(const QString& relative) const { return folder.filePath(relative); }

    void MakeFile(const QString& relative) {
        const QString path = PathOf(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not really a picture");
    }

    void MakeFolder(const QString& relative) { ASSERT_TRUE(QDir().mkpath(PathOf(relative))); }

    void MakeLink(const QString& target, const QString& relativeLink) {
        std::error_code error;
        fs::create_symlink(target.toStdString(), PathOf(relativeLink).toStdString(), error);
        ASSERT_FALSE(error) << error.message();
    }

    /// Scans `root` to its finished message.
    void ScanToEnd(const QString& root, const QStringList& extensions) {
        ASSERT_TRUE(scanner.Start(&recorder.window, root, extensions, recorder.Receiver()));
        ASSERT_TRUE(PumpUntil([this] { return recorder.FinishedCount() > 0; }));
        EXPECT_TRUE(scanner.Stop());
    }

    QTemporaryDir folder;
    ScanRecorder recorder;
    CFolderScanner scanner;
};

// --- What is reported -------------------------------------------------------------------------

TEST_F(FolderScannerTest, ScansEverySubFolderCompletelyBeforeGoingOn) {
    const QStringList files = {"r1.jpg",     "a/a1.jpg",   "a/a2.jpg", "a/b/b1.jpg",
                               "a/b/b2.jpg", "a/b/b3.jpg", "c/c1.jpg", "c/c2.jpg"};
    for (const QString& file : files) {
        MakeFile(file);
    }
    ScanToEnd(folder.path(), {".jpg"});

    QStringList expected;
    for (const QString& file : files) {
        expected << PathOf(file);
    }
    QStringList reported = recorder.Files();
    EXPECT_EQ(recorder.FinishedCount(), 1);
    EXPECT_TRUE(recorder.EndsWithFinished());
    EXPECT_TRUE(recorder.Errors().isEmpty());
    // Depth-first: the files under any folder come as one unbroken run.
    for (const QString& sub :
         {QStringLiteral("a/"), QStringLiteral("a/b/"), QStringLiteral("c/")}) {
        std::vector<int> at;
        for (int i = 0; i < reported.size(); ++i) {
            if (reported[i].startsWith(PathOf(sub))) {
                at.push_back(i);
            }
        }
        ASSERT_FALSE(at.empty()) << sub.toStdString();
        EXPECT_EQ(at.back() - at.front() + 1, static_cast<int>(at.size())) << sub.toStdString();
    }
    reported.sort();
    expected.sort();
    EXPECT_EQ(reported, expected);
}

TEST_F(FolderScannerTest, ComparesExtensionsWithoutRegardToCaseAndKeepsItsOwnList) {
    MakeFile("Photo.JPG");
    MakeFile("lower.png");
    MakeFile("photo.jpeg.txt");
    MakeFile("jpg");
    MakeFile("trailing.");
    QStringList extensions = {".jpg", ".PNG"};
    ASSERT_TRUE(scanner.Start(&recorder.window, folder.path(), extensions, recorder.Receiver()));
    // The caller's list may change or go away once the scan has started.
    extensions = QStringList{".txt"};
    ASSERT_TRUE(PumpUntil([this] { return recorder.FinishedCount() > 0; }));

    QStringList reported = recorder.Files();
    reported.sort();
    EXPECT_EQ(reported, (QStringList{PathOf("Photo.JPG"), PathOf("lower.png")}));
}

TEST_F(FolderScannerTest, SkipsEveryNameBeginningWithADot) {
    MakeFile(".thumb.jpg");
    MakeFile(".cache/inside.jpg");
    MakeFile(".cache/deeper/more.jpg");
    MakeFile("shown/.hidden.jpg");
    MakeFile("shown/seen.jpg");
    ScanToEnd(folder.path(), {".jpg"});

    EXPECT_EQ(recorder.Files(), QStringList{PathOf("shown/seen.jpg")});
}

TEST_F(FolderScannerTest, EntersAFolderNamedLikeAPictureWithoutReportingIt) {
    MakeFile("album.jpg/one.jpg");
    MakeFile("album.jpg/two.JPG");
    ScanToEnd(folder.path(), {".jpg"});

    QStringList reported = recorder.Files();
    reported.sort();
    EXPECT_EQ(reported, (QStringList{PathOf("album.jpg/one.jpg"), PathOf("album.jpg/two.JPG")}));
}

TEST_F(FolderScannerTest, WalksTheWholeTreeAndFinishesWithAnEmptyList) {
    MakeFile("a.jpg");
    MakeFile("sub/b.png");
    ScanToEnd(folder.path(), {});

    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].kind, Kind::Finished);
}

TEST_F(FolderScannerTest, ReportsOnlyRegularFiles) {
    MakeFile("real.jpg");
    const QString pipe = PathOf("pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ScanToEnd(folder.path(), {".jpg"});

    EXPECT_EQ(recorder.Files(), QStringList{PathOf("real.jpg")});
}

TEST_F(FolderScannerTest, RootEndingInASeparatorGivesSingleSeparators) {
    MakeFile("x.jpg");
    MakeFile("sub/y.jpg");
    ScanToEnd(folder.path() + "/", {".jpg"});

    QStringList reported = recorder.Files();
    reported.sort();
    EXPECT_EQ(reported, (QStringList{PathOf("sub/y.jpg"), PathOf("x.jpg")}));
}

// --- Links and folders that cannot be read ----------------------------------------------------

TEST_F(FolderScannerTest, WalksALinkLoopOnce) {
    MakeFile("a/p.jpg");
    MakeLink("..", "a/up");
    MakeLink(".", "a/self");
    MakeLink(PathOf("a"), "again");
    ScanToEnd(folder.path(), {".jpg"});

    EXPECT_EQ(recorder.FinishedCount(), 1);
    const QStringList reported = recorder.Files();
    ASSERT_EQ(reported.size(), 1) << reported.join(' ').toStdString();
    EXPECT_TRUE(reported[0].endsWith("/p.jpg"));
}

TEST_F(FolderScannerTest, FollowsLinksToAFolderOutsideTheTreeOnce) {
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    QFile file(outside.filePath("far.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    MakeLink(outside.path(), "first");
    MakeLink(outside.path(), "second");
    ScanToEnd(folder.path(), {".jpg"});

    const QStringList reported = recorder.Files();
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0] == PathOf("first/far.jpg") || reported[0] == PathOf("second/far.jpg"))
        << reported[0].toStdString();
}

TEST_F(FolderScannerTest, SkipsADanglingLinkAndGoesOn) {
    MakeFile("kept.jpg");
    MakeLink(PathOf("nowhere"), "gone.jpg");
    ScanToEnd(folder.path(), {".jpg"});

    EXPECT_EQ(recorder.Files(), QStringList{PathOf("kept.jpg")});
    EXPECT_EQ(recorder.Errors().size(), 1);
}

TEST_F(FolderScannerTest, SkipsFoldersThatVanishDuringTheScanAndGoesOn) {
    const QStringList kSubFolders = {"a", "b", "c"};
    MakeFile("top.jpg");
    for (const QString& sub : kSubFolders) {
        MakeFile(sub + "/in.jpg");
    }
    // The first sub-folder entered removes its two siblings before the walk reaches them.
    bool removed = false;
    recorder.onMessage = [&](const CFolderScanner::Message& message) {
        if (removed || message.kind != Kind::File || message.text == PathOf("top.jpg")) {
            return;
        }
        removed = true;
        for (const QString& sub : kSubFolders) {
            if (!message.text.startsWith(PathOf(sub) + "/")) {
                ASSERT_TRUE(QDir(PathOf(sub)).removeRecursively());
            }
        }
    };
    ScanToEnd(folder.path(), {".jpg"});

    ASSERT_TRUE(removed);
    const QStringList reported = recorder.Files();
    EXPECT_EQ(reported.size(), 2) << reported.join(' ').toStdString();
    EXPECT_TRUE(reported.contains(PathOf("top.jpg")));
    EXPECT_EQ(recorder.Errors().size(), 2);
    EXPECT_TRUE(recorder.EndsWithFinished());
}

TEST_F(FolderScannerTest, RootThatCannotBeListedGivesAnErrorThenFinished) {
    ScanToEnd(PathOf("missing"), {".jpg"});

    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].kind, Kind::Error);
    EXPECT_TRUE(recorder.messages[0].text.contains(PathOf("missing")));
    EXPECT_EQ(recorder.messages[1].kind, Kind::Finished);
}

TEST_F(FolderScannerTest, NeverEntersVirtualFileSystemsBehindLinks) {
    // A folder outside the tree that only the entries of /proc lead to (this process's open
    // folder in /proc/self/fd), so a scan that walks /proc finds a picture there.
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    QFile far(outside.filePath("far.jpg"));
    ASSERT_TRUE(far.open(QIODevice::WriteOnly));
    far.close();
    const HeldFolder held(outside.path());
    ASSERT_GE(held.fd, 0);
    MakeFile("near.jpg");
    MakeLink("/proc", "proc");
    MakeLink("/sys", "sys");
    // Whatever comes through a link ends the scan, rather than a walk of the whole machine.
    recorder.onMessage = [&](const CFolderScanner::Message& message) {
        if (message.kind == Kind::File && message.text != PathOf("near.jpg")) {
            scanner.Stop();
        }
    };
    ASSERT_TRUE(scanner.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    ASSERT_TRUE(PumpUntil([this] { return recorder.FinishedCount() > 0 || !scanner.IsRunning(); }));
    EXPECT_TRUE(scanner.Stop());

    EXPECT_EQ(recorder.Files(), QStringList{PathOf("near.jpg")});
    EXPECT_EQ(recorder.FinishedCount(), 1);
    // Each link left alone is named in a warning.
    const QStringList errors = recorder.Skipped();
    for (const QString& link : {PathOf("proc"), PathOf("sys")}) {
        EXPECT_EQ(errors.filter(link + ": ").size(), 1) << errors.join('\n').toStdString();
    }
}

// --- Each file once, and only names that can be told apart -------------------------------------

TEST_F(FolderScannerTest, ReportsAFileOnceWhateverNamesLeadToIt) {
    MakeFile("a.png");
    ASSERT_EQ(::link(QFile::encodeName(PathOf("a.png")).constData(),
                     QFile::encodeName(PathOf("hard.png")).constData()),
              0);
    MakeLink(PathOf("a.png"), "soft.png");
    MakeFile("other.png");
    ScanToEnd(folder.path(), {".png"});

    const QStringList reported = recorder.Files();
    EXPECT_EQ(reported.size(), 2) << reported.join(' ').toStdString();
    EXPECT_TRUE(reported.contains(PathOf("other.png")));
    EXPECT_TRUE(recorder.Errors().isEmpty());

    // A file the receiver already holds is reported under that name alone, whichever name the
    // listing meets first.
    recorder.messages.clear();
    scanner.SetPresentFiles({PathOf("hard.png")});
    ScanToEnd(folder.path(), {".png"});
    QStringList again = recorder.Files();
    again.sort();
    EXPECT_EQ(again, (QStringList{PathOf("hard.png"), PathOf("other.png")}));
}

TEST_F(FolderScannerTest, SkipsNamesThatAreNotValidUtf8WithAWarningNamingTheirFolder) {
    // Both names would read back as the same text; neither may be reported, nor entered.
    MakeFile("sub/kept.png");
    const QByteArray sub = QFile::encodeName(PathOf("sub"));
    for (const char* name : {"/a\xff.png", "/a\xfe.png"}) {
        const int fd = ::open((sub + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
    }
    ASSERT_EQ(::mkdir((sub + "/caf\xe9").constData(), 0700), 0);
    const int inside = ::open((sub + "/caf\xe9/in.png").constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(inside, 0);
    ::close(inside);
    ScanToEnd(folder.path(), {".png"});

    EXPECT_EQ(recorder.Files(), QStringList{PathOf("sub/kept.png")});
    const QStringList errors = recorder.Skipped();
    EXPECT_EQ(errors.size(), 3) << errors.join('\n').toStdString();
    EXPECT_EQ(errors.filter(PathOf("sub") + ": ").size(), 3) << errors.join('\n').toStdString();
}

// --- Stopping and a receiver that does not answer ---------------------------------------------

TEST_F(FolderScannerTest, StopFromTheReceiverEndsTheScanAtOnce) {
    for (int i = 0; i < 30; ++i) {
        MakeFile(QString("many/%1.jpg").arg(i));
    }
    recorder.onMessage = [&](const CFolderScanner::Message&) {
        if (recorder.Files().size() == 3) {
            EXPECT_TRUE(scanner.Stop());
        }
    };
    ASSERT_TRUE(scanner.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    ASSERT_TRUE(PumpUntil([this] { return !scanner.IsRunning(); }));
    PumpBriefly();

    EXPECT_EQ(recorder.Files().size(), 3);
    EXPECT_EQ(recorder.FinishedCount(), 0);
    EXPECT_FALSE(scanner.IsScanning());
}

TEST_F(FolderScannerTest, StopWakesAScanWaitingForItsReceiverAndDropsWhatItSent) {
    MakeFile("a.jpg");
    MakeFile("b.jpg");
    // The scan could wait for its receiver far longer than Stop waits for the scan.
    CFolderScanner patient(CFolderScanner::Limits{std::chrono::hours(1), std::chrono::seconds(20)});
    ASSERT_TRUE(patient.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    EXPECT_TRUE(patient.IsRunning());

    EXPECT_TRUE(patient.Stop());  // the thread ended and was joined, not left behind
    EXPECT_FALSE(patient.IsRunning());
    EXPECT_FALSE(patient.IsScanning());
    PumpBriefly();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(patient.Stop());  // again: nothing left to stop
}

TEST_F(FolderScannerTest, GoesOnWhenTheReceiverStopsAnsweringAndDeliversLaterInOrder) {
    for (int i = 0; i < 5; ++i) {
        MakeFile(QString("%1.jpg").arg(i));
    }
    CFolderScanner hasty(
        CFolderScanner::Limits{std::chrono::milliseconds(10), std::chrono::milliseconds(5000)});
    ASSERT_TRUE(hasty.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    // No event is handled here, so no message is answered: the scan must end on its own.
    QElapsedTimer clock;
    clock.start();
    while (hasty.IsScanning() && clock.elapsed() < 30000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(hasty.IsScanning());
    EXPECT_TRUE(recorder.messages.empty());

    PumpBriefly();
    EXPECT_EQ(recorder.Files().size(), 5);
    EXPECT_EQ(recorder.FinishedCount(), 1);
    EXPECT_TRUE(recorder.EndsWithFinished());
    EXPECT_TRUE(hasty.Stop());
}

TEST_F(FolderScannerTest, AScanLeftBehindByStopNeverReachesItsReceiver) {
    for (int i = 0; i < 20; ++i) {
        MakeFile(QString("d%1/p.jpg").arg(i));
    }
    // Stop gives the thread no time at all, so it is normally abandoned rather than joined.
    CFolderScanner impatient(
        CFolderScanner::Limits{std::chrono::milliseconds(1), std::chrono::milliseconds(0)});
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(
            impatient.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
        impatient.Stop();
        EXPECT_FALSE(impatient.IsRunning());
    }
    // What the left-behind threads posted before the stop, or try to post after it, is dropped.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PumpBriefly();
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FolderScannerTest, StartOnARunningScannerStopsItAndFails) {
    MakeFile("a.jpg");
    ASSERT_TRUE(scanner.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    EXPECT_FALSE(scanner.Start(&recorder.window, folder.path(), {".jpg"}, recorder.Receiver()));
    EXPECT_FALSE(scanner.IsRunning());
    PumpBriefly();
    EXPECT_TRUE(recorder.messages.empty());

    // Stopped, it starts again.
    ScanToEnd(folder.path(), {".jpg"});
    EXPECT_EQ(recorder.Files(), QStringList{PathOf("a.jpg")});
}

TEST_F(FolderScannerTest, StartWithoutAWindowFails) {
    EXPECT_FALSE(scanner.Start(nullptr, folder.path(), {".jpg"}, recorder.Receiver()));
    EXPECT_FALSE(scanner.IsRunning());
}

TEST_F(FolderScannerTest, NothingArrivesOnceTheWindowIsGone) {
    MakeFile("a.jpg");
    std::vector<CFolderScanner::Message> received;
    {
        QObject window;
        CFolderScanner::Limits quick{std::chrono::milliseconds(10), std::chrono::seconds(5)};
        CFolderScanner shortLived(quick);
        ASSERT_TRUE(shortLived.Start(
            &window, folder.path(), {".jpg"},
            [&](const CFolderScanner::Message& message) { received.push_back(message); }));
    }
    PumpBriefly();
    EXPECT_TRUE(received.empty());
}

}  // namespace
}  // namespace vistrel
