// The signature cache: what it gives back is exactly what was stored, for that very file content
// only; a damaged database is replaced and an unusable place leaves the program working.

#include "PictureSignature.h"
#include "SignatureCache.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

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

    // A rename keeps the inode and the content.
    const QString renamed = folder.filePath(QStringLiteral("renamed.jpg"));
    ASSERT_TRUE(QFile::rename(picture, renamed));
    EXPECT_EQ(KeyOf(renamed), stored);
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

TEST_F(SignatureCacheTest, SetsADamagedDatabaseAsideAndMakesANewOne) {
    // A sound database with entries, cut short.
    {
        SignatureCache cache(database);
        for (int i = 0; i < 20; ++i) {
            SignatureCache::FileKey key = KeyOf(picture);
            key.inode += static_cast<std::uint64_t>(i) + 1;
            cache.Store(key, picture, kSide, signature);
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
