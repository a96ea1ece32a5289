// The bulk deletions against a real desktop trash in a private data folder: what goes, what
// stays marked, and how the links that remain are renumbered; what a reference folder keeps;
// and Undo putting files back.

#include "cleanup/BulkDeletion.h"
#include "cleanup/GroupCleanup.h"
#include "cleanup/ProtectedFiles.h"
#include "cleanup/RestoreCopy.h"
#include "cleanup/TrashUndo.h"
#include "repository/PictureRepository.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace vistrel {
namespace {

using Links = std::vector<CSimilarInfo>;

class BulkDeletionTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // The trash lives under the data folder; the pictures sit on the same volume, so they
        // go to this trash and never to the real user's.
        previousDataHome = qgetenv("XDG_DATA_HOME");
        hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("data")));
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("pictures")));
    }
    void TearDown() override {
        if (hadDataHome) {
            qputenv("XDG_DATA_HOME", previousDataHome);
        } else {
            qunsetenv("XDG_DATA_HOME");
        }
    }

    QString PicturePath(const QString& name) const {
        return home.filePath(QStringLiteral("pictures/") + name);
    }
    // A readable picture, different for every seed.
    QString AddReadable(const QString& name, std::uint32_t seed) {
        const QString path = PicturePath(name);
        EXPECT_TRUE(
            test::WritePicture(test::MakePhotoLike(64, 48, seed), test::PictureFormat::Png, path));
        repository.AddPicture(path);
        EXPECT_FALSE(repository.GetPicture(repository.FindPicture(path)).loadError);
        return path;
    }
    // A file that is there but is no picture: its entry gets `loadError`.
    QString AddDamaged(const QString& name) {
        const QString path = PicturePath(name);
        EXPECT_TRUE(test::WriteBytes(path, QByteArray("not a picture at all")));
        repository.AddPicture(path);
        EXPECT_TRUE(repository.GetPicture(repository.FindPicture(path)).loadError);
        return path;
    }
    void Link(int a, int b, float factor) {
        repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, a, b, factor});
    }
    QString TrashDir() const { return home.filePath(QStringLiteral("data/Trash")); }
    // The file is in the trash with an info record that names where it came from.
    void ExpectTrashed(const QString& path) const {
        const QString name = QFileInfo(path).fileName();
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
        EXPECT_TRUE(QFileInfo::exists(TrashDir() + QStringLiteral("/files/") + name))
            << name.toStdString();
        QFile info(TrashDir() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        ASSERT_TRUE(info.open(QIODevice::ReadOnly)) << name.toStdString();
        const QString record = QString::fromUtf8(info.readAll());
        EXPECT_TRUE(record.startsWith(QStringLiteral("[Trash Info]"))) << record.toStdString();
        // The original path: as it is (Qt 6.4) or percent-encoded (later versions).
        const QString encoded =
            QString::fromUtf8(QUrl::toPercentEncoding(path, QByteArrayLiteral("/")));
        EXPECT_TRUE(record.contains(QStringLiteral("Path=") + encoded + QLatin1Char('\n')) ||
                    record.contains(QStringLiteral("Path=") + path + QLatin1Char('\n')))
            << record.toStdString();
    }
    int TrashedCount() const {
        return static_cast<int>(
            QDir(TrashDir() + QStringLiteral("/files")).entryList(QDir::Files).size());
    }

    QTemporaryDir home;
    QByteArray previousDataHome;
    bool hadDataHome = false;
    CPictureRepository repository;
};

TEST_F(BulkDeletionTest, SimilarChainGoesWholeAndAnUnlinkedPictureStays) {
    const QString x = AddReadable(QStringLiteral("x.png"), 1);
    const QString w = AddReadable(QStringLiteral("w.png"), 2);
    const QString y = AddReadable(QStringLiteral("y.png"), 3);
    const QString z = AddReadable(QStringLiteral("z.png"), 4);
    Link(0, 2, 3.5f);  // x - y
    Link(2, 3, 1.0f);  // y - z
    repository.ClearModified();

    DeleteSimilarFiles(repository);

    ASSERT_EQ(repository.GetCount(), 1);
    EXPECT_EQ(repository.GetPicture(0).path, w);
    EXPECT_FALSE(repository.GetPicture(0).marked);
    EXPECT_TRUE(repository.GetPicture(0).similar.empty());
    EXPECT_TRUE(QFileInfo::exists(w));
    EXPECT_TRUE(repository.IsModified());
    EXPECT_FALSE(repository.HasMarked());
    EXPECT_TRUE(MarkedPaths(repository).isEmpty());
    ExpectTrashed(x);
    ExpectTrashed(y);
    ExpectTrashed(z);
    EXPECT_EQ(TrashedCount(), 3);
}

TEST_F(BulkDeletionTest, FileThatCannotBeMovedStaysMarkedWithoutLinks) {
    const QString x = AddReadable(QStringLiteral("x.png"), 1);
    const QString y = AddReadable(QStringLiteral("y.png"), 2);
    const QString z = AddReadable(QStringLiteral("z.png"), 3);
    Link(0, 1, 2.0f);
    Link(1, 2, 2.0f);
    Link(0, 2, 2.0f);
    // Y vanishes between the test and the deletion.
    ASSERT_TRUE(QFile::remove(y));
    // The trash is asked for y all the same, as if the check had seen it still there.
    DeleteSimilarFiles(repository, MoveFileToTrash, [](std::int32_t) { return true; });

    ASSERT_EQ(repository.GetCount(), 1);
    EXPECT_EQ(repository.GetPicture(0).path, y);
    EXPECT_TRUE(repository.GetPicture(0).marked);
    EXPECT_TRUE(repository.GetPicture(0).similar.empty());
    EXPECT_TRUE(repository.HasMarked());
    EXPECT_EQ(MarkedPaths(repository), QStringList{y});
    ExpectTrashed(x);
    ExpectTrashed(z);
    EXPECT_EQ(TrashedCount(), 2);
}

TEST_F(BulkDeletionTest, APairGoneStaleSinceTheTestMovesNothing) {
    const QString x = AddReadable(QStringLiteral("x.png"), 1);
    const QString y = AddReadable(QStringLiteral("y.png"), 2);
    const QString z = AddReadable(QStringLiteral("z.png"), 3);
    const QString w = AddReadable(QStringLiteral("w.png"), 4);
    Link(0, 1, 2.0f);
    Link(2, 3, 2.0f);
    // Y is rewritten as another picture after the test: x may be the last copy of its picture.
    ASSERT_TRUE(QFile::remove(y));
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(64, 48, 9), test::PictureFormat::Png, y));

    DeleteSimilarFiles(repository);

    EXPECT_EQ(repository.Paths(), (QStringList{x, y}));
    EXPECT_EQ(MarkedPaths(repository), (QStringList{x, y}));
    ExpectTrashed(z);
    ExpectTrashed(w);
}

TEST_F(BulkDeletionTest, DamagedPicturesGoInOrderAndTheLinksLeftAreRenumbered) {
    const QString first = AddReadable(QStringLiteral("first.png"), 1);
    const QString damagedA = AddDamaged(QStringLiteral("damaged-a.png"));
    const QString damagedB = AddDamaged(QStringLiteral("damaged-b.png"));
    const QString last = AddReadable(QStringLiteral("last.png"), 2);
    Link(0, 3, 7.9f);

    QStringList order;
    DeleteDamagedFiles(repository, [&order](const QString& path) {
        order.append(path);
        return MoveFileToTrash(path);
    });

    EXPECT_EQ(order, (QStringList{damagedA, damagedB}));
    ASSERT_EQ(repository.GetCount(), 2);
    EXPECT_EQ(repository.GetPicture(0).path, first);
    EXPECT_EQ(repository.GetPicture(1).path, last);
    EXPECT_EQ(repository.GetPicture(0).similar, (Links{{1, 7}}));
    EXPECT_EQ(repository.GetPicture(1).similar, (Links{{0, 7}}));
    EXPECT_EQ(repository.FindPicture(last), 1);
    EXPECT_FALSE(repository.HasMarked());
    ExpectTrashed(damagedA);
    ExpectTrashed(damagedB);
    EXPECT_TRUE(QFileInfo::exists(first));
    EXPECT_TRUE(QFileInfo::exists(last));
}

TEST_F(BulkDeletionTest, DamagedPictureThatVanishedOrHealedStaysMarkedAndKeepsItsLinks) {
    AddReadable(QStringLiteral("kept.png"), 1);
    const QString gone = AddDamaged(QStringLiteral("gone.png"));
    const QString damaged = AddDamaged(QStringLiteral("damaged.png"));
    // Damaged when the repository was filled, whole again now (put back from a backup).
    const QString healed = AddDamaged(QStringLiteral("healed.png"));
    Link(0, 1, 4.0f);
    ASSERT_TRUE(QFile::remove(gone));
    ASSERT_TRUE(QFile::remove(healed));
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(64, 48, 9), test::PictureFormat::Png, healed));

    DeleteDamagedFiles(repository);

    ASSERT_EQ(repository.GetCount(), 3);
    EXPECT_EQ(repository.GetPicture(1).path, gone);
    EXPECT_TRUE(repository.GetPicture(1).marked);
    EXPECT_FALSE(repository.GetPicture(0).marked);
    // Only Delete All Similar empties the links.
    EXPECT_EQ(repository.GetPicture(1).similar, (Links{{0, 4}}));
    EXPECT_EQ(MarkedPaths(repository), (QStringList{gone, healed}));
    EXPECT_TRUE(QFileInfo::exists(healed));
    ExpectTrashed(damaged);
}

TEST_F(BulkDeletionTest, NothingToDeleteTouchesNoFileAndLeavesNoMark) {
    const QString a = AddReadable(QStringLiteral("a.png"), 1);
    const QString b = AddReadable(QStringLiteral("b.png"), 2);
    // A mark left by an earlier deletion is cleared.
    repository.GetPicture(1).marked = true;
    repository.ClearModified();
    int calls = 0;
    const TrashFunction counting = [&calls](const QString&) {
        ++calls;
        return true;
    };

    DeleteSimilarFiles(repository, counting);
    DeleteDamagedFiles(repository, counting);

    EXPECT_EQ(calls, 0);
    EXPECT_EQ(repository.GetCount(), 2);
    EXPECT_FALSE(repository.HasMarked());
    EXPECT_FALSE(repository.IsModified());
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo::exists(b));
    EXPECT_EQ(TrashedCount(), 0);
}

TEST_F(BulkDeletionTest, SimilarFilesAreOfferedInIndexOrderAndRefusalsMarkOnlyThose) {
    const QString a = AddReadable(QStringLiteral("a.png"), 1);
    const QString b = AddReadable(QStringLiteral("b.png"), 2);
    const QString c = AddReadable(QStringLiteral("c.png"), 3);
    const QString d = AddReadable(QStringLiteral("d.png"), 4);
    Link(3, 0, 1.0f);
    Link(1, 2, 1.0f);
    QStringList order;
    // Refuses b; takes the others without touching the disk.
    DeleteSimilarFiles(repository, [&order, &b](const QString& path) {
        order.append(path);
        return path != b;
    });

    EXPECT_EQ(order, (QStringList{a, b, c, d}));
    ASSERT_EQ(repository.GetCount(), 1);
    EXPECT_EQ(repository.GetPicture(0).path, b);
    EXPECT_TRUE(repository.GetPicture(0).marked);
}

TEST_F(BulkDeletionTest, AProtectedPictureSurvivesEveryBulkCommand) {
    QDir root(home.path());
    for (const char* folder : {"archive", "later", "later2"}) {
        ASSERT_TRUE(root.mkpath(QLatin1String(folder)));
    }
    const auto write = [this](const QString& name, std::uint32_t seed) {
        const QString path = home.filePath(name);
        EXPECT_TRUE(
            test::WritePicture(test::MakePhotoLike(64, 48, seed), test::PictureFormat::Png, path));
        return path;
    };
    // Moves a folder into the reference folder and leaves a link at its old place: the files
    // keep their paths, and their identity, but lie in the reference folder now.
    const auto moveIntoArchive = [&root](const QString& folder) {
        ASSERT_TRUE(root.rename(folder, QStringLiteral("archive/") + folder));
        ASSERT_TRUE(
            QFile::link(root.filePath(QStringLiteral("archive/") + folder), root.filePath(folder)));
    };
    const QString archive = home.filePath(QStringLiteral("archive"));

    // Delete All Similar and Delete All Damaged: one group of one picture's copies, one in the
    // archive and one whose folder moves there after the test.
    const QString loose = write(QStringLiteral("pictures/a.png"), 1);
    const QString kept = write(QStringLiteral("archive/a.png"), 1);
    const QString movedIn = write(QStringLiteral("later/a.png"), 1);
    for (const QString& path : {loose, kept, movedIn}) {
        repository.AddPicture(path);
    }
    Link(0, 1, 0.5f);
    Link(0, 2, 0.5f);
    const QString damaged = AddDamaged(QStringLiteral("bad.png"));
    const QString damagedKept = home.filePath(QStringLiteral("archive/bad.png"));
    ASSERT_TRUE(QFile::copy(damaged, damagedKept));
    repository.AddPicture(damagedKept);
    moveIntoArchive(QStringLiteral("later"));
    // The list as it is at the move, not as the test saw it.
    const ReferenceFolders reference(QStringList{archive});

    EXPECT_EQ(DeleteSimilarFiles(repository, MoveFileToTrash, {}, reference),
              (QStringList{kept, movedIn}));
    EXPECT_EQ(DeleteDamagedFiles(repository, MoveFileToTrash, reference), QStringList{damagedKept});
    EXPECT_EQ(repository.Paths(), (QStringList{kept, movedIn, damagedKept}));
    EXPECT_FALSE(repository.HasMarked());
    ExpectTrashed(loose);
    ExpectTrashed(damaged);

    // Keep One of Each Group: the rule prefers the first copy, the archive's is kept instead;
    // of the two copies in the archive neither goes; one planned to go moves there before the
    // move.
    const QStringList group{
        write(QStringLiteral("pictures/k1.png"), 2), write(QStringLiteral("archive/k2.png"), 2),
        write(QStringLiteral("archive/k3.png"), 2), write(QStringLiteral("later2/k4.png"), 2)};
    std::vector<KeepCandidate> candidates;
    const std::size_t count = static_cast<std::size_t>(group.size());
    std::vector<std::vector<NearCopy>> nearCopies(count);
    for (std::size_t i = 0; i < count; ++i) {
        const QString& path = group[static_cast<qsizetype>(i)];
        repository.AddPicture(path);
        candidates.push_back(KeepCandidate{path, ReadPictureFacts(path)});
        for (std::size_t j = 0; j < count; ++j) {
            if (j != i) {
                nearCopies[i].push_back(NearCopy{j});
            }
        }
    }
    const std::vector<bool> isProtected = ProtectedPictures(candidates, reference);
    ASSERT_EQ(ChooseKeptPicture(candidates, KeepRule::MostPixels), 0u);
    const std::size_t keep =
        KeepProtectedPicture(candidates, isProtected, KeepRule::MostPixels,
                             ChooseKeptPicture(candidates, KeepRule::MostPixels));
    std::vector<KeepAction> actions = DecideGroup(candidates, nearCopies, keep);
    SpareProtected(actions, isProtected);
    EXPECT_EQ(actions, (std::vector<KeepAction>{KeepAction::Trash, KeepAction::Keep,
                                                KeepAction::Protected, KeepAction::Trash}));
    const std::optional<KeepPlan> plan = MakeKeepPlan(candidates, nearCopies, actions);
    ASSERT_TRUE(plan);
    moveIntoArchive(QStringLiteral("later2"));

    const KeepOutcome outcome = TrashAllButKept(repository, {*plan}, MoveFileToTrash, reference);
    EXPECT_EQ(outcome.moved, QStringList{group[0]});
    EXPECT_EQ(outcome.spared, QStringList{group[3]});
    for (const QString& path : group.mid(1)) {
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    }

    // Move Left/Right to Trash asks the file, as it is now, which reference folder holds it.
    EXPECT_EQ(ProtectingFolder(reference, group[3]), archive);
    EXPECT_EQ(ProtectingFolder(reference, kept), archive);
    EXPECT_TRUE(ProtectingFolder(reference, group[0]).isEmpty());
    EXPECT_TRUE(ProtectingFolder(ReferenceFolders(), kept).isEmpty());
}

TEST_F(BulkDeletionTest, DataFolderThatDoesNotExistYetStillGetsTheTrash) {
    const QString fresh = home.filePath(QStringLiteral("fresh/share"));
    qputenv("XDG_DATA_HOME", fresh.toLocal8Bit());
    const QString path = AddDamaged(QStringLiteral("first-ever.png"));

    ASSERT_TRUE(MoveFileToTrash(path));

    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QFileInfo::exists(fresh + QStringLiteral("/Trash/files/first-ever.png")));
    EXPECT_TRUE(QFileInfo::exists(fresh + QStringLiteral("/Trash/info/first-ever.png.trashinfo")));
}

TEST_F(BulkDeletionTest, EmptyPathIsNeverTrashed) {
    EXPECT_FALSE(MoveFileToTrash(QString()));
}

TEST_F(BulkDeletionTest, UndoPutsBackAFileWhoseNameHoldsALineFeed) {
    // Qt writes such a name into the trash's record as it is, line feed and all.
    const QString path = AddReadable(QStringLiteral("two\nlines 100%.png"), 1);
    CTrashUndo undo;
    ASSERT_TRUE(undo.RecordingTrash(repository)(path));
    ASSERT_TRUE(repository.RemovePicture(path));
    ASSERT_FALSE(QFileInfo::exists(path));

    EXPECT_EQ(undo.Undo(repository), QStringList());

    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_GE(repository.FindPicture(path), 0);
    EXPECT_EQ(TrashedCount(), 0);
    EXPECT_TRUE(QDir(TrashDir() + QStringLiteral("/info")).isEmpty());
}

TEST_F(BulkDeletionTest, UndoNeverPutsAFileBackThroughALinkThatReplacedItsFolder) {
    const QString folder = PicturePath(QStringLiteral("album"));
    const QString elsewhere = PicturePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString path = AddReadable(QStringLiteral("album/x.png"), 1);
    CTrashUndo undo;
    ASSERT_TRUE(undo.RecordingTrash(repository)(path));
    ASSERT_TRUE(repository.RemovePicture(path));
    // The folder moves away and a link to another folder takes its name.
    ASSERT_TRUE(QDir().rename(folder, PicturePath(QStringLiteral("album moved"))));
    ASSERT_TRUE(QFile::link(elsewhere, folder));

    EXPECT_EQ(undo.Undo(repository), QStringList{path});

    EXPECT_FALSE(QFileInfo::exists(elsewhere + QStringLiteral("/x.png")));
    EXPECT_EQ(repository.FindPicture(path), -1);
    ExpectTrashed(path);
}

TEST_F(BulkDeletionTest, AStopDuringTheMovesLeavesTheRestAndUndoPutsBackExactlyWhatMoved) {
    // The user presses Stop while the first file is in hand.
    class StopAfterFirst final : public ProgressObserver {
    public:
        void Report(const ProgressReport&) override { stop = true; }
        bool StopRequested() const override { return stop; }

    private:
        bool stop = false;
    };
    const QString a = AddReadable(QStringLiteral("a.png"), 1);
    const QString b = AddReadable(QStringLiteral("b.png"), 2);
    const QString c = AddReadable(QStringLiteral("c.png"), 3);
    Link(0, 1, 1.0f);
    Link(1, 2, 1.0f);
    const PlannedMoves planned = PlanSimilarDeletion(repository, [](std::int32_t) { return true; });
    ASSERT_EQ(planned.paths.size(), 3u);
    StopAfterFirst stop;
    const std::vector<MoveOutcome> outcomes =
        MoveSimilarFiles(planned, MoveFileToTrashTracked, {}, &stop);
    CTrashUndo undo;
    ApplyMoves(repository, planned, outcomes,
               [&undo](const CPictureInfo& entry, const MoveOutcome& outcome) {
                   undo.Record(entry, outcome);
               });

    ExpectTrashed(a);
    EXPECT_EQ(TrashedCount(), 1);
    // The others are untouched: in place, with their entries, and not listed as left behind.
    for (const QString& path : {b, c}) {
        EXPECT_TRUE(QFileInfo::exists(path));
        ASSERT_GE(repository.FindPicture(path), 0);
        EXPECT_FALSE(repository.GetPicture(repository.FindPicture(path)).marked);
    }
    EXPECT_EQ(undo.Count(), 1u);

    EXPECT_EQ(undo.Undo(repository), QStringList());
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_EQ(repository.GetCount(), 3);
    EXPECT_EQ(TrashedCount(), 0);
}

TEST_F(BulkDeletionTest, CopyBackFromAnotherVolumeKeepsTimesAndPermissions) {
    // The copy a restore falls back on when the trash is on another volume than the folder.
    const QString source = PicturePath(QStringLiteral("in trash.png"));
    ASSERT_TRUE(test::WriteBytes(source, QByteArray("picture bytes")));
    const QByteArray encoded = QFile::encodeName(source);
    const struct timespec times[2] = {{1000000000, 250}, {1000000123, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, encoded.constData(), times, 0), 0);
    ASSERT_EQ(chmod(encoded.constData(), 0640), 0);
    const QString back = PicturePath(QStringLiteral("back"));
    ASSERT_TRUE(QDir().mkpath(back));
    const int folder = open(QFile::encodeName(back).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);

    EXPECT_EQ(CopyIntoFolder(encoded, folder, "x.png"), 0);
    EXPECT_EQ(CopyIntoFolder(encoded, folder, "x.png"), EEXIST);
    close(folder);

    struct stat copy {};
    ASSERT_EQ(stat(QFile::encodeName(back + QStringLiteral("/x.png")).constData(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(copy.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    QFile copied(back + QStringLiteral("/x.png"));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("picture bytes"));
    EXPECT_EQ(QDir(back).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("x.png")});
}

}  // namespace
}  // namespace vistrel
