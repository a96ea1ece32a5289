// The folder scan: what it reports, in which order, and how it stops.

#include "scanning/FolderScanner.h"

#include "import/PictureImport.h"
#include "repository/PictureRepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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

    /// Scans `root`; true when the scan walked the whole tree.
    bool Scan(const QString& root, const QStringList& extensions) {
        CFolderScanner scanner(extensions);
        scanner.SetPresentFiles(presentFiles);
        return scanner.Scan(root, recorder.Receiver(), [this] { return stop; });
    }

    /// Scans `root` to its finished message.
    void ScanToEnd(const QString& root, const QStringList& extensions) {
        EXPECT_TRUE(Scan(root, extensions));
    }

    QTemporaryDir folder;
    ScanRecorder recorder;
    QStringList presentFiles;
    bool stop = false;
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
    CFolderScanner scanner(extensions);
    // The caller's list may change or go away once the scanner is made.
    extensions = QStringList{".txt"};
    ASSERT_TRUE(scanner.Scan(folder.path(), recorder.Receiver()));

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

TEST_F(FolderScannerTest, FolderThatCannotBeListedGivesAnErrorAndTheScanGoesOn) {
    MakeFile("open/seen.jpg");
    MakeFile("closed/hidden.jpg");
    const QByteArray closed = QFile::encodeName(PathOf("closed"));
    ASSERT_EQ(::chmod(closed.constData(), 0), 0);
    const auto scanAndCheck = [&] {
        const bool walked = Scan(folder.path(), {".jpg"});
        const QStringList errors = recorder.Errors();
        return walked && recorder.Files() == QStringList{PathOf("open/seen.jpg")} &&
               errors.size() == 1 && errors[0].startsWith(PathOf("closed") + ": ");
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(scanAndCheck()) << recorder.Errors().join('\n').toStdString();
        ::chmod(closed.constData(), 0700);
        return;
    }
    // Root lists any folder: the scan runs in a child that has become an ordinary user.
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    constexpr int kNoOtherUser = 2;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::geteuid() == 0 ||
            ::access(QFile::encodeName(PathOf("open")).constData(), R_OK | X_OK) != 0) {
            ::_exit(kNoOtherUser);
        }
        ::_exit(scanAndCheck() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoOtherUser) {
        GTEST_SKIP() << "running as root, and no other user could reach the test folder";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the scan as another user gave other messages";
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
            stop = true;
        }
    };
    EXPECT_TRUE(Scan(folder.path(), {".jpg"}));

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
    presentFiles = {PathOf("hard.png")};
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

// --- The import of a folder ----------------------------------------------------------------------

/// Counts the reports of an import.
class CountingObserver : public ProgressObserver {
public:
    void Report(const ProgressReport& report) override { last = report; }
    ProgressReport last;
};

TEST_F(FolderScannerTest, ImportAddsOneEntryPerFileInTheScansOrderWithAnyWorkerCount) {
    for (const char* name : {"b.png", "sub/a.png", "sub/deeper/c.png", "z.png", "y.png"}) {
        MakeFile(name);
    }
    ASSERT_EQ(::link(QFile::encodeName(PathOf("b.png")).constData(),
                     QFile::encodeName(PathOf("sub/hard.png")).constData()),
              0);
    // What a serial making gives: the entries held first, then the scan's files one by one.
    const QStringList held = {PathOf("y.png"), PathOf("sub/hard.png")};
    presentFiles = held;
    ScanToEnd(folder.path(), {".png"});
    CPictureRepository serial;
    for (const QString& path : held + recorder.Files()) {
        serial.AddPicture(path);
    }
    ASSERT_EQ(serial.GetCount(), 5);

    for (const int workers : {1, 4}) {
        CPictureRepository imported;
        for (const QString& path : held) {
            imported.AddPicture(path);
        }
        ImportOptions options{{".png"}, {}};
        options.signing.workers = workers;
        options.signing.cache = nullptr;
        CountingObserver observer;
        QStringList unreadable;
        EXPECT_TRUE(ImportFolder(imported, folder.path(), options, observer,
                                 [&](const ImportMessage& message) {
                                     if (message.kind == ImportMessage::Kind::UnreadablePicture) {
                                         unreadable << message.text;
                                     }
                                 }));
        EXPECT_EQ(imported.Paths(), serial.Paths()) << workers;
        // Every file found was handled; only the new entries are told of (none is a picture).
        EXPECT_EQ(observer.last.done, static_cast<std::uint64_t>(recorder.Files().size()));
        EXPECT_EQ(unreadable, serial.Paths().mid(2)) << workers;
    }
}

// --- Exclusions -------------------------------------------------------------------------------

TEST_F(FolderScannerTest, ExclusionsLeaveOutNamesAndPatternsWithoutEnteringAndCountThem) {
    MakeFile("kept/a.jpg");
    MakeFile("@eaDir/x.jpg");
    // Entered, the folder would give an error for its dangling link.
    MakeLink(PathOf("gone"), "@eaDir/dangling.jpg");
    MakeFile("sub/@eaDir/y.jpg");
    MakeFile("sub/b.tmp.jpg");
    MakeFile("sub/b.tmp.txt");
    MakeFile("old/2019/c.jpg");
    MakeFile("sub/older/d.jpg");
    // A folder chosen by its path is that folder alone, whatever wildcards its name holds.
    MakeFile("odd [1]*/e.jpg");
    MakeFile("odd 1x/f.jpg");
    CFolderScanner scanner({".jpg"});
    scanner.SetExclusions(
        {"@eaDir", "", "*.tmp.*", "*/old", ScanExclusions::PatternForFolder(PathOf("odd [1]*"))});
    ASSERT_TRUE(scanner.Scan(folder.path(), recorder.Receiver()));

    QStringList reported = recorder.Files();
    reported.sort();
    EXPECT_EQ(reported, (QStringList{PathOf("kept/a.jpg"), PathOf("odd 1x/f.jpg"),
                                     PathOf("sub/older/d.jpg")}));
    EXPECT_TRUE(recorder.Errors().isEmpty()) << recorder.Errors().join('\n').toStdString();
    ASSERT_TRUE(recorder.EndsWithFinished());
    // Folders: both @eaDir, old and the odd one; files: the one picture the pattern names.
    EXPECT_EQ(recorder.messages.back().excludedFolders, 4);
    EXPECT_EQ(recorder.messages.back().excludedFiles, 1);
}

TEST_F(FolderScannerTest, ImportWhoseExclusionsMatchEverythingAddsNothingAndSaysWhatItLeftOut) {
    MakeFile("a.png");
    MakeFile("b.png");
    MakeFile("sub/c.png");
    CPictureRepository imported;
    ImportOptions options;
    options.extensions = {".png"};
    options.exclusions = {"*"};
    CountingObserver observer;
    std::vector<ImportMessage> messages;
    EXPECT_TRUE(ImportFolder(imported, folder.path(), options, observer,
                             [&](const ImportMessage& message) { messages.push_back(message); }));

    EXPECT_EQ(imported.GetCount(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, ImportMessage::Kind::Excluded);
    EXPECT_EQ(messages[0].excludedFiles, 2);
    EXPECT_EQ(messages[0].excludedFolders, 1);
}

// --- Stopping ---------------------------------------------------------------------------------

TEST_F(FolderScannerTest, StopFromTheReceiverEndsTheScanAtOnce) {
    for (int i = 0; i < 30; ++i) {
        MakeFile(QString("many/%1.jpg").arg(i));
    }
    recorder.onMessage = [&](const CFolderScanner::Message&) {
        if (recorder.Files().size() == 3) {
            stop = true;
        }
    };
    EXPECT_FALSE(Scan(folder.path(), {".jpg"}));

    EXPECT_EQ(recorder.Files().size(), 3);
    EXPECT_EQ(recorder.FinishedCount(), 0);
}

}  // namespace
}  // namespace vistrel
