// The repository's entries, its path index and the renumbering of links on removal.

#include "repository/PictureRepository.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

#include <unistd.h>

namespace vistrel {
namespace {

using Links = std::vector<CSimilarInfo>;

class RepositoryTest : public testing::Test {
protected:
    // Entries for files that do not exist: cheap, and each gets `loadError`.
    void AddEntries(int count) {
        for (int i = 0; i < count; ++i) {
            repository.AddPicture(folder.filePath(QStringLiteral("picture%1.png").arg(i)));
        }
    }
    void Link(int a, int b, float factor) {
        repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, a, b, factor});
    }
    const Links& LinksOf(int index) { return repository.GetPicture(index).similar; }

    QTemporaryDir folder;
    CPictureRepository repository;
};

TEST_F(RepositoryTest, StartsEmptyAndUnmodified) {
    EXPECT_EQ(repository.GetCount(), 0);
    EXPECT_TRUE(repository.IsEmpty());
    EXPECT_FALSE(repository.IsModified());
    EXPECT_EQ(repository.Side(), 100);
    EXPECT_EQ(repository.FindPicture(QStringLiteral("/any")), -1);
    EXPECT_FALSE(repository.HasMarked() || repository.HasLoadErrors() || repository.HasSimilar());
}

TEST_F(RepositoryTest, MissingFileIsAnEntryWithLoadError) {
    const QString path = folder.filePath(QStringLiteral("absent.jpg"));
    EXPECT_TRUE(repository.AddPicture(path));
    ASSERT_EQ(repository.GetCount(), 1);
    const CPictureInfo& entry = repository.GetPicture(0);
    EXPECT_EQ(entry.path, path);
    EXPECT_TRUE(entry.loadError);
    EXPECT_TRUE(entry.signature.empty());
    EXPECT_EQ(entry.SignatureData(), nullptr);
    EXPECT_TRUE(repository.IsModified());
    EXPECT_TRUE(repository.HasLoadErrors());
}

TEST_F(RepositoryTest, SamePathTwiceIsOneEntryAndLeavesModifiedAlone) {
    const QString path = folder.filePath(QStringLiteral("a.png"));
    repository.AddPicture(path);
    repository.ClearModified();
    EXPECT_TRUE(repository.AddPicture(path));
    EXPECT_EQ(repository.GetCount(), 1);
    EXPECT_FALSE(repository.IsModified());
}

TEST_F(RepositoryTest, PathsThatDifferInCaseAreDifferentEntries) {
    repository.AddPicture(QStringLiteral("/photos/Holiday.JPG"));
    repository.AddPicture(QStringLiteral("/photos/holiday.jpg"));
    EXPECT_EQ(repository.GetCount(), 2);
    EXPECT_EQ(repository.FindPicture(QStringLiteral("/photos/holiday.jpg")), 1);
    EXPECT_EQ(repository.FindPicture(QStringLiteral("/photos/HOLIDAY.jpg")), -1);
    EXPECT_EQ(repository.FindPicture(QStringLiteral("/photos/Holiday.JP")), -1);
}

// A file reached through a linked folder, a link to the file or a hard link is one entry, under
// the first path it came by; an entry's removal frees its file for another path.
TEST_F(RepositoryTest, SameFileUnderAnotherPathIsOneEntry) {
    const QString real = folder.filePath(QStringLiteral("photos/a.png"));
    ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("photos"))));
    ASSERT_TRUE(test::WriteBytes(real, QByteArray("not decoded, only stat'ed")));
    const QString throughFolder = folder.filePath(QStringLiteral("linked/a.png"));
    const QString throughLink = folder.filePath(QStringLiteral("a-link.png"));
    const QString hardLink = folder.filePath(QStringLiteral("a-hard.png"));
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("photos")),
                            folder.filePath(QStringLiteral("linked"))));
    ASSERT_TRUE(QFile::link(real, throughLink));
    ASSERT_EQ(::link(QFile::encodeName(real).constData(), QFile::encodeName(hardLink).constData()),
              0);

    EXPECT_TRUE(repository.AddPicture(real));
    repository.ClearModified();
    for (const QString& other : {throughFolder, throughLink, hardLink}) {
        SCOPED_TRACE(other.toStdString());
        EXPECT_FALSE(repository.AddPicture(other));
        EXPECT_FALSE(repository.AddSignedPicture(other, {}));
        EXPECT_EQ(repository.FindFile(other), 0);
        EXPECT_EQ(repository.FindPicture(other), -1);
    }
    repository.AddPictures({throughLink, hardLink}, {1});
    EXPECT_EQ(repository.GetCount(), 1);
    EXPECT_FALSE(repository.IsModified());

    AddEntries(2);  // files that cannot be stat'ed are known by their paths alone
    repository.RemovePictures({0, 1});
    EXPECT_EQ(repository.FindFile(real), -1);
    EXPECT_TRUE(repository.AddPicture(throughFolder));
    EXPECT_EQ(repository.FindFile(hardLink), 1);
    EXPECT_FALSE(repository.AddPicture(real));
    EXPECT_EQ(repository.GetCount(), 2);
}

TEST_F(RepositoryTest, IndexOutsideTheEntriesIsAnError) {
    AddEntries(2);
    EXPECT_THROW(repository.GetPicture(2), std::out_of_range);
    EXPECT_THROW(repository.GetPicture(-1), std::out_of_range);
    EXPECT_THROW(repository.RemovePictureAt(5), std::out_of_range);
    EXPECT_EQ(repository.GetCount(), 2);
}

TEST_F(RepositoryTest, SimilarPairGivesTwoLinksWithTruncatedFactor) {
    AddEntries(3);
    repository.ClearModified();
    Link(0, 2, 4.9f);
    EXPECT_EQ(LinksOf(0), (Links{{2, 4}}));
    EXPECT_EQ(LinksOf(2), (Links{{0, 4}}));
    EXPECT_TRUE(LinksOf(1).empty());
    EXPECT_TRUE(repository.HasSimilar());
    EXPECT_FALSE(repository.IsModified());
}

TEST_F(RepositoryTest, RemovalDropsLinksAndRenumbersWithoutSkipping) {
    // Entry 0 links to 2 then 3; removing 2 moves the link to 3 into the removed link's place,
    // and that link must still be renumbered.
    AddEntries(4);
    Link(0, 2, 1.0f);
    Link(0, 3, 2.0f);
    const QString formerThird = repository.GetPicture(3).path;
    repository.ClearModified();

    EXPECT_TRUE(repository.RemovePictureAt(2));
    ASSERT_EQ(repository.GetCount(), 3);
    EXPECT_TRUE(repository.IsModified());
    EXPECT_EQ(LinksOf(0), (Links{{2, 2}}));
    EXPECT_EQ(repository.GetPicture(2).path, formerThird);
    EXPECT_EQ(LinksOf(2), (Links{{0, 2}}));
    EXPECT_TRUE(LinksOf(1).empty());
    // The path index follows the renumbering.
    EXPECT_EQ(repository.FindPicture(formerThird), 2);
}

TEST_F(RepositoryTest, RemovingTheLastEntryOnlyDropsLinksToIt) {
    AddEntries(4);
    Link(0, 1, 3.0f);
    Link(1, 3, 5.0f);
    Link(2, 3, 7.0f);
    repository.RemovePictureAt(3);
    EXPECT_EQ(LinksOf(0), (Links{{1, 3}}));
    EXPECT_EQ(LinksOf(1), (Links{{0, 3}}));
    EXPECT_TRUE(LinksOf(2).empty());
}

TEST_F(RepositoryTest, RemoveByPath) {
    AddEntries(3);
    const QString first = repository.GetPicture(0).path;
    const QString last = repository.GetPicture(2).path;
    repository.ClearModified();

    EXPECT_TRUE(repository.RemovePicture(QStringLiteral("/not/there.png")));
    EXPECT_EQ(repository.GetCount(), 3);
    EXPECT_FALSE(repository.IsModified());

    EXPECT_TRUE(repository.RemovePicture(first));
    EXPECT_EQ(repository.GetCount(), 2);
    EXPECT_EQ(repository.FindPicture(first), -1);
    EXPECT_EQ(repository.FindPicture(last), 1);
    // The removed path may be added again, as a new last entry.
    repository.AddPicture(first);
    EXPECT_EQ(repository.FindPicture(first), 2);
}

TEST_F(RepositoryTest, RemoveAllKeepsModifiedAsItWas) {
    AddEntries(3);
    repository.RemoveAllPictures();
    EXPECT_TRUE(repository.IsEmpty());
    EXPECT_TRUE(repository.IsModified());
    EXPECT_EQ(repository.FindPicture(QStringLiteral("/x")), -1);

    CPictureRepository fresh;
    fresh.RemoveAllPictures();
    EXPECT_FALSE(fresh.IsModified());
}

TEST_F(RepositoryTest, MarkedFlagIsReported) {
    AddEntries(2);
    EXPECT_FALSE(repository.HasMarked());
    repository.GetPicture(1).marked = true;
    EXPECT_TRUE(repository.HasMarked());
}

}  // namespace
}  // namespace vistrel
