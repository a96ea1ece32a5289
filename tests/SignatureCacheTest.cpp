// The signature cache: what it gives back is exactly what was stored, for that very file content
// only; a damaged database is replaced and an unusable place leaves the program working.

#include "signature/CacheFolder.h"
#include "signature/PictureSignature.h"
#include "signature/SignatureCache.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace vistrel {
namespace {

constexpr int kSide = 100;

class SignatureCacheTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        database = folder.filePath(QStringLiteral("cache/vistrel/signatures.sqlite"));
        picture = folder.filePath(QStringLiteral("photo.jpg"));
        ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(320, 240, 7), test::PictureFormat::Jpeg,
                                       picture));
        signature = SignatureBytes(ComputeSignature(picture, kSide));
        ASSERT_EQ(signature.size(), std::size_t{3 * kSide * kSide});
    }

    SignatureCache::FileKey KeyOf(const QString& path) const {
        const std::optional<SignatureCache::FileKey> key = SignatureCache::KeyOf(path);
        EXPECT_TRUE(key.has_value()) << path.toStdString();
        return key.value_or(SignatureCache::FileKey{});
    }

    // The names beside the database that a damaged one was set aside under.
    QStringList SetAside() const {
        return QDir(QFileInfo(database).absolutePath())
            .entryList({QStringLiteral("signatures.sqlite.damaged-*")}, QDir::Files);
    }

    // A new cache on the file finds the picture's signature after storing it.
    void ExpectWorkingCache() const {
        {
            SignatureCache cache(database);
            ASSERT_TRUE(cache.IsOpen()) << cache.Problem().toStdString();
            EXPECT_TRUE(cache.Problem().isEmpty());
            cache.Store(KeyOf(picture), picture, kSide, signature);
        }
        SignatureCache again(database);
        const std::optional<SignatureBytes> found = again.Find(KeyOf(picture), kSide);
        ASSERT_TRUE(found.has_value());
        EXPECT_TRUE(*found == signature);
    }

    // Writes `bytes` over the file at `path` in place (the same inode) and puts its times back, as
    // `cp -p` onto an existing file or a backup tool does. Only the change time can tell.
    static void RewriteWithTimesPutBack(const QString& path, const QByteArray& bytes) {
        const QByteArray name = QFile::encodeName(path);
        struct stat before {};
        ASSERT_EQ(stat(name.constData(), &before), 0);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        // The change time has the clock's coarse steps: put the times back until it has moved,
        // as it would have by the time any real copy is made.
        struct stat after {};
        for (int attempt = 0; attempt < 1000; ++attempt) {
            ASSERT_EQ(utimensat(AT_FDCWD, name.constData(), times, 0), 0);
            ASSERT_EQ(stat(name.constData(), &after), 0);
            if (after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
                after.st_ctim.tv_nsec != before.st_ctim.tv_nsec) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        ASSERT_EQ(after.st_size, before.st_size);
    }

    // A database of another program's at `path`: a `signatures` table with one row.
    static void MakeOtherDatabase(const QString& path) {
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &handle), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(handle,
                               "CREATE TABLE signatures(who TEXT, what BLOB);"
                               "INSERT INTO signatures VALUES('a letter', x'0102')",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(handle);
    }

    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    QString database;
    QString picture;
    SignatureBytes signature;
};

TEST_F(SignatureCacheTest, GivesBackTheStoredBytesInALaterCache) {
    const QString unreadable = folder.filePath(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(test::WriteBytes(unreadable, QByteArray("\xff\xd8\xff not a jpeg")));
    {
        SignatureCache cache(database);
        ASSERT_TRUE(cache.IsOpen()) << cache.Problem().toStdString();
        cache.Store(KeyOf(picture), picture, kSide, signature);
        cache.Store(KeyOf(unreadable), unreadable, kSide, SignatureBytes());
        // Still held in memory, and found all the same.
        const std::optional<SignatureBytes> waiting = cache.Find(KeyOf(picture), kSide);
        ASSERT_TRUE(waiting.has_value());
        EXPECT_TRUE(*waiting == signature);
    }
    SignatureCache cache(database);
    const std::optional<SignatureBytes> found = cache.Find(KeyOf(picture), kSide);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(*found == signature);
    const std::optional<SignatureBytes> none = cache.Find(KeyOf(unreadable), kSide);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
    // Another side is another signature.
    EXPECT_FALSE(cache.Find(KeyOf(picture), 50).has_value());

    const SignatureCache::Stats stats = cache.GetStats();
    EXPECT_EQ(stats.entries, 2);
    EXPECT_EQ(stats.unreadable, 1);
    EXPECT_GT(stats.bytesOnDisk, static_cast<std::int64_t>(signature.size()));
    EXPECT_GT(stats.oldestStoredNs, 0);
    EXPECT_TRUE(cache.Clear());
    EXPECT_EQ(cache.GetStats().entries, 0);
    EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
}

TEST_F(SignatureCacheTest, FindsOnlyTheSameContentUnderAnyName) {
    const SignatureCache::FileKey stored = KeyOf(picture);
    {
        SignatureCache cache(database);
        cache.Store(stored, picture, kSide, signature);
    }
    SignatureCache cache(database);

    // A rename keeps the inode and the content (most file systems give it a new change time).
    const QString renamed = folder.filePath(QStringLiteral("renamed.jpg"));
    ASSERT_TRUE(QFile::rename(picture, renamed));
    EXPECT_EQ(KeyOf(renamed).inode, stored.inode);
    EXPECT_TRUE(cache.Find(KeyOf(renamed), kSide).has_value());

    // The same size with another modification time.
    const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(renamed).constData(), times, 0), 0);
    EXPECT_EQ(KeyOf(renamed).size, stored.size);
    EXPECT_FALSE(cache.Find(KeyOf(renamed), kSide).has_value());

    // Rewritten in place: another size.
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(200, 100, 8), test::PictureFormat::Jpeg, renamed));
    const SignatureCache::FileKey rewritten = KeyOf(renamed);
    EXPECT_EQ(rewritten.inode, stored.inode);
    EXPECT_FALSE(cache.Find(rewritten, kSide).has_value());

    // The new content replaces the file's entry; a file that is gone loses its own to Prune.
    const SignatureBytes other(ComputeSignature(renamed, kSide));
    cache.Store(rewritten, renamed, kSide, other);
    const QString gone = folder.filePath(QStringLiteral("gone.jpg"));
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(64, 64, 9), test::PictureFormat::Jpeg, gone));
    cache.Store(KeyOf(gone), gone, kSide, SignatureBytes(ComputeSignature(gone, kSide)));
    cache.Flush();
    EXPECT_EQ(cache.GetStats().entries, 2);
    ASSERT_TRUE(QFile::remove(gone));
    EXPECT_EQ(cache.Prune(), 1);
    EXPECT_EQ(cache.GetStats().entries, 1);
    const std::optional<SignatureBytes> found = cache.Find(rewritten, kSide);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(*found == other);
}

// Rewritten in place with its size kept and its times put back, a file keeps its inode, size and
// modification time: the entry of its earlier content must not be taken for the new one, neither a
// signature nor "cannot be read", and pruning drops it.
TEST_F(SignatureCacheTest, ARewriteWithItsTimesPutBackIsNotTakenForTheOldContent) {
    const QByteArray original = Bytes(picture);
    ASSERT_FALSE(original.isEmpty());
    SignatureCache cache(database);
    cache.Store(KeyOf(picture), picture, kSide, signature);
    cache.Flush();

    // Damaged: as many bytes, none of them a picture.
    RewriteWithTimesPutBack(picture, QByteArray(original.size(), 'x'));
    EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
    cache.Store(KeyOf(picture), picture, kSide, SignatureBytes());
    cache.Flush();
    ASSERT_TRUE(cache.Find(KeyOf(picture), kSide).has_value());

    // Restored from a backup the same way: readable again, whatever the cache says.
    RewriteWithTimesPutBack(picture, original);
    EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
    EXPECT_EQ(cache.Prune(), 1);
    EXPECT_EQ(cache.GetStats().entries, 0);

    // A change of mode moves only the change time: the content is the same, the entry holds.
    cache.Store(KeyOf(picture), picture, kSide, signature);
    cache.Flush();
    ASSERT_EQ(chmod(QFile::encodeName(picture).constData(), 0600), 0);
    const std::optional<SignatureBytes> found = cache.Find(KeyOf(picture), kSide);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(*found == signature);
    EXPECT_EQ(cache.Prune(), 0);

    // Pruning, too, gives an entry whose content held the file's new change time, so that
    // neither a find nor the next prune reads the file again (a key without a name is taken on
    // its change time alone).
    const std::int64_t before = KeyOf(picture).changedNs;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past a coarse clock's tick
    ASSERT_EQ(chmod(QFile::encodeName(picture).constData(), 0644), 0);
    SignatureCache::FileKey unread = KeyOf(picture);
    ASSERT_NE(unread.changedNs, before);
    EXPECT_EQ(cache.Prune(), 0);
    unread.path.clear();
    EXPECT_TRUE(cache.Find(unread, kSide).has_value());
}

// A run's finds and the stores of the pictures it decodes alternate: the log must not grow with the
// run, as it does when a find's read is still open while the cache's writer commits (the commit's
// checkpoint then stops short of the log's end, and the log is never begun again).
TEST_F(SignatureCacheTest, KeepsItsLogShortWhileFindsAndStoresAlternate) {
    SignatureCache cache(database);
    const SignatureBytes stored(std::vector<std::uint8_t>(std::size_t{3 * kSide * kSide}, 7));
    constexpr int kBatches = 6;
    constexpr int kPerBatch = 256;  // the entries the cache writes in one transaction
    for (int batch = 0; batch < kBatches; ++batch) {
        EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
        for (int i = 0; i < kPerBatch; ++i) {
            const QString file = folder.filePath(QStringLiteral("f%1-%2").arg(batch).arg(i));
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(file.toUtf8());
            out.close();
            cache.Store(KeyOf(file), file, kSide, stored);
        }
        cache.Flush();
    }
    EXPECT_EQ(cache.GetStats().entries, kBatches * kPerBatch);
    // About one batch is in the log at a time.
    EXPECT_LT(QFileInfo(database + QStringLiteral("-wal")).size(),
              std::int64_t{2} * kPerBatch * static_cast<std::int64_t>(stored.size()));
}

// The cache stops writing while its disk has less free than 5 % of it or 1 GiB, whichever is less,
// counting what it is about to write.
TEST_F(SignatureCacheTest, LeavesItsDiskAFloorOfFreeSpace) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
    // A large disk: 1 GiB.
    EXPECT_EQ(FreeSpaceFloor(1000 * kGiB), kGiB);
    EXPECT_TRUE(LeavesFreeSpace(kGiB + 8 * kMiB, 1000 * kGiB, 8 * kMiB));
    EXPECT_FALSE(LeavesFreeSpace(kGiB + 8 * kMiB, 1000 * kGiB, 8 * kMiB + 1));
    // A small one: 5 % of it.
    EXPECT_EQ(FreeSpaceFloor(10 * kGiB), kGiB / 2);
    EXPECT_TRUE(LeavesFreeSpace(kGiB, 10 * kGiB, 100 * kMiB));
    EXPECT_FALSE(LeavesFreeSpace(kGiB / 2 + kMiB, 10 * kGiB, 2 * kMiB));
    // Less free than the batch itself, on a disk too small for a floor worth the name.
    EXPECT_FALSE(LeavesFreeSpace(kMiB, 4 * kMiB, 2 * kMiB));
    EXPECT_TRUE(LeavesFreeSpace(kMiB, 4 * kMiB, kMiB / 2));
    EXPECT_FALSE(LeavesFreeSpace(0, 4 * kMiB, 0));
}

// The cache uses a place only when it is this user's own and no one else may write it, and
// never changes a database that is not its own, linked or not; its own from before it marked its
// databases it takes over, emptied.
TEST_F(SignatureCacheTest, UsesOnlyAPlaceAndADatabaseOfItsOwn) {
    ExpectWorkingCache();
    const QString place = QFileInfo(database).absolutePath();
    const QByteArray placeName = QFile::encodeName(place);
    ASSERT_EQ(chmod(placeName.constData(), 0777), 0);
    {
        SignatureCache cache(database);
        EXPECT_FALSE(cache.IsOpen());
        EXPECT_TRUE(cache.Problem().contains(QStringLiteral("other users may write")))
            << cache.Problem().toStdString();
        EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
    }
    ASSERT_EQ(chmod(placeName.constData(), 0700), 0);

    // Another program's database, in the cache's place and through a link.
    const QString other = folder.filePath(QStringLiteral("other.sqlite"));
    MakeOtherDatabase(other);
    const QByteArray otherBytes = Bytes(other);
    for (const bool linked : {true, false}) {
        SCOPED_TRACE(linked ? "linked" : "in place");
        for (const QString& file : CacheFiles(database)) {
            ASSERT_TRUE(QFile::remove(file));
        }
        ASSERT_TRUE(linked ? QFile::link(other, database) : QFile::copy(other, database));
        {
            SignatureCache cache(database);
            EXPECT_FALSE(cache.IsOpen());
            EXPECT_FALSE(cache.Problem().isEmpty());
        }
        EXPECT_EQ(Bytes(other), otherBytes);
        EXPECT_EQ(Bytes(database), otherBytes);
    }

    // The cache's own tables as they were before: an entry for the picture as it is now.
    ASSERT_TRUE(QFile::remove(database));
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &handle), SQLITE_OK);
    const SignatureCache::FileKey key = KeyOf(picture);
    const std::string earlier =
        "CREATE TABLE meta(name TEXT PRIMARY KEY, value INTEGER);"
        "INSERT INTO meta VALUES('algorithm_version', 1);"
        "CREATE TABLE signatures(device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER "
        "NOT NULL, modified_ns INTEGER NOT NULL, side INTEGER NOT NULL, path BLOB NOT NULL, "
        "stored_ns INTEGER NOT NULL, signature BLOB, PRIMARY KEY(device, inode));"
        "INSERT INTO signatures VALUES(" +
        std::to_string(static_cast<std::int64_t>(key.device)) + ", " +
        std::to_string(static_cast<std::int64_t>(key.inode)) + ", " + std::to_string(key.size) +
        ", " + std::to_string(key.modifiedNs) + ", " + std::to_string(kSide) + ", 'x', 1, NULL)";
    EXPECT_EQ(sqlite3_exec(handle, earlier.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(handle);
    ASSERT_EQ(chmod(QFile::encodeName(database).constData(), 0600), 0);
    {
        SignatureCache cache(database);
        ASSERT_TRUE(cache.IsOpen()) << cache.Problem().toStdString();
        EXPECT_FALSE(cache.Find(key, kSide).has_value());
        EXPECT_EQ(cache.GetStats().entries, 0);
    }
    ExpectWorkingCache();

    // Its folder reached through a link (a cache folder moved to another disk) is its own.
    const QString linked = folder.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(place, linked));
    const SignatureCache throughLink(linked + QStringLiteral("/signatures.sqlite"));
    EXPECT_TRUE(throughLink.IsOpen()) << throughLink.Problem().toStdString();
}

TEST_F(SignatureCacheTest, SetsADamagedDatabaseAsideAndMakesANewOne) {
    // A sound database with entries, cut short.
    {
        SignatureCache cache(database);
        for (int i = 0; i < 20; ++i) {
            const QString copy = folder.filePath(QStringLiteral("copy%1.jpg").arg(i));
            ASSERT_TRUE(QFile::copy(picture, copy));
            cache.Store(KeyOf(copy), copy, kSide, signature);
        }
    }
    ASSERT_GT(QFileInfo(database).size(), 100'000);
    ASSERT_EQ(truncate(QFile::encodeName(database).constData(), QFileInfo(database).size() / 2), 0);
    ExpectWorkingCache();
    EXPECT_EQ(SetAside().size(), 1) << SetAside().join(QLatin1Char(' ')).toStdString();

    // Bytes that were never a database.
    ASSERT_TRUE(QFile::remove(database));
    ASSERT_TRUE(test::WriteBytes(database, QByteArray(8192, '\x5a')));
    ExpectWorkingCache();
    EXPECT_EQ(SetAside().size(), 2) << SetAside().join(QLatin1Char(' ')).toStdString();
}

TEST_F(SignatureCacheTest, AFolderThatCannotBeMadeLeavesTheCacheClosed) {
    // A regular file where the folder should be: no folder can be made, even by root.
    const QString blocker = folder.filePath(QStringLiteral("cache"));
    ASSERT_TRUE(test::WriteBytes(blocker, QByteArray("a file")));
    SignatureCache cache(database);
    EXPECT_FALSE(cache.IsOpen());
    const QString problem = cache.Problem();
    EXPECT_TRUE(problem.contains(database)) << problem.toStdString();
    EXPECT_TRUE(problem.contains(QStringLiteral("working without it"))) << problem.toStdString();

    cache.Store(KeyOf(picture), picture, kSide, signature);
    EXPECT_FALSE(cache.Find(KeyOf(picture), kSide).has_value());
    cache.Flush();
    EXPECT_EQ(cache.GetStats().entries, 0);
    EXPECT_EQ(cache.Prune(), 0);
    EXPECT_FALSE(cache.Clear());
    EXPECT_FALSE(QFileInfo::exists(database));
}

}  // namespace
}  // namespace vistrel
