// The user's marks of pairs as not similar: a damaged database is set aside and reported, never
// silently emptied; processes that mark pairs at the same time lose none.

#include "marks/NotSimilarMarks.h"
#include "support/TestPictures.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

namespace vistrel {
namespace {

class NotSimilarMarksTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        database = folder.filePath(QStringLiteral("data/vistrel/marks.sqlite"));
    }

    // A digest of its own for each number.
    static SignatureDigest DigestOf(std::uint32_t n) {
        return SignatureDigest::OfBytes(&n, sizeof n);
    }

    QTemporaryDir folder;
    QString database;
};

TEST_F(NotSimilarMarksTest, ADamagedDatabaseIsSetAsideAndReported) {
    {
        NotSimilarMarks marks(database);
        ASSERT_TRUE(marks.IsOpen()) << marks.Problem().toStdString();
        EXPECT_TRUE(marks.SetAside().isEmpty());
    }
    const QByteArray garbage(8192, '\x5a');
    ASSERT_TRUE(QFile::remove(database));
    ASSERT_TRUE(test::WriteBytes(database, garbage));

    NotSimilarMarks marks(database);
    ASSERT_TRUE(marks.IsOpen()) << marks.Problem().toStdString();
    // The damaged file is kept, byte for byte, where the warning says.
    const QString aside = marks.SetAside();
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_NE(aside, database);
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << aside.toStdString();
    EXPECT_EQ(kept.readAll(), garbage);
    // A new, empty store in its place that keeps marks.
    EXPECT_EQ(marks.Count(), 0);
    EXPECT_TRUE(marks.Snapshot().IsEmpty());
    EXPECT_TRUE(
        marks.Add(DigestOf(1), QStringLiteral("/a.jpg"), DigestOf(2), QStringLiteral("/b.jpg")));
    EXPECT_TRUE(NotSimilarMarks(database).Snapshot().Contains(DigestOf(2), DigestOf(1)));
}

TEST_F(NotSimilarMarksTest, TwoProcessesMarkingAtOnceLoseNoMark) {
    constexpr std::uint32_t kEach = 300;
    ASSERT_TRUE(NotSimilarMarks(database).IsOpen());
    // Each process marks its own pairs, one transaction each, while the other does.
    const auto markPairs = [this](std::uint32_t first) {
        NotSimilarMarks marks(database);
        bool all = marks.IsOpen();
        for (std::uint32_t n = first; n < first + kEach; ++n) {
            all = marks.Add(DigestOf(2 * n), QStringLiteral("/a.jpg"), DigestOf(2 * n + 1),
                            QStringLiteral("/b.jpg")) &&
                  all;
        }
        return all;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(markPairs(kEach) ? 0 : 1);
    }
    EXPECT_TRUE(markPairs(0));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process could not keep every mark";

    NotSimilarMarks marks(database);
    EXPECT_EQ(marks.Count(), 2 * kEach);
    const MarkedPairs snapshot = marks.Snapshot();
    for (std::uint32_t n = 0; n < 2 * kEach; ++n) {
        EXPECT_TRUE(snapshot.Contains(DigestOf(2 * n + 1), DigestOf(2 * n))) << n;
    }
}

}  // namespace
}  // namespace vistrel
