// The repository file: the bytes SaveToFile writes, the loader's reading of good and broken
// files, and round trips of awkward paths.

#include "PictureRepository.h"
#include "RepositoryLoader.h"
#include "support/TestPictures.h"
#include "support/Utf16Text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <thread>
#include <vector>

namespace vistrel {
namespace {

using Links = std::vector<CSimilarInfo>;

using test::Utf16Le;

QByteArray Bytes(std::initializer_list<unsigned char> values) {
    QByteArray bytes;
    for (const unsigned char v : values) {
        bytes.append(static_cast<char>(v));
    }
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class RepositoryFileTest : public testing::Test {
protected:
    QString PathIn(const QString& name) const { return folder.filePath(name); }

    void Link(CPictureRepository& repository, int a, int b, float factor) {
        repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, a, b, factor});
    }

    // Writes `text` as UTF-16 little-endian and loads it into `loaded`; returns the result that
    // the completion reported, after checking it was reported exactly once and agrees with the
    // routine's exit code.
    bool LoadText(const QString& text) { return LoadBytes(Utf16Le(text)); }

    bool LoadBytes(const QByteArray& bytes) {
        const QString path = PathIn(QStringLiteral("input.qrx"));
        EXPECT_TRUE(test::WriteBytes(path, bytes));
        return LoadFile(path);
    }

    bool LoadFile(const QString& path) {
        LoadParams params;
        params.repository = &loaded;
        params.path = path;
        int calls = 0;
        bool reported = false;
        params.finished = [&](bool succeeded) {
            ++calls;
            reported = succeeded;
        };
        const int exitCode = LoadRepositoryThread(&params);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(params.succeeded, reported);
        EXPECT_EQ(exitCode, reported ? 1 : 0);
        return reported;
    }

    std::vector<QString> PathsOf(const CPictureRepository& repository) const {
        std::vector<QString> paths;
        for (int i = 0; i < repository.GetCount(); ++i) {
            paths.push_back(repository.GetPicture(i).path);
        }
        return paths;
    }

    // Every link names an existing entry other than its owner.
    void ExpectLinksSound(const CPictureRepository& repository) const {
        for (int i = 0; i < repository.GetCount(); ++i) {
            for (const CSimilarInfo& link : repository.GetPicture(i).similar) {
                EXPECT_GE(link.index, 0) << "entry " << i;
                EXPECT_LT(link.index, repository.GetCount()) << "entry " << i;
                EXPECT_NE(link.index, i) << "entry " << i;
            }
        }
    }

    QTemporaryDir folder;
    CPictureRepository saved;
    CPictureRepository loaded;
};

// --- Writing ---------------------------------------------------------------------------------

TEST_F(RepositoryFileTest, EmptyRepositoryIsTheSingleLineZero) {
    const QString path = PathIn(QStringLiteral("empty.qrx"));
    ASSERT_TRUE(saved.SaveToFile(path));
    EXPECT_EQ(ReadAll(path), Bytes({0x30, 0x00, 0x0A, 0x00}));
}

TEST_F(RepositoryFileTest, OneEntryIsWrittenByteForByte) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    const QString path = PathIn(QStringLiteral("one.qrx"));
    ASSERT_TRUE(saved.SaveToFile(path));
    // "1", "6", "/a.jpg", "0": no byte-order mark, no carriage return.
    EXPECT_EQ(ReadAll(path), Bytes({0x31, 0x00, 0x0A, 0x00, 0x36, 0x00, 0x0A, 0x00, 0x2F,
                                    0x00, 0x61, 0x00, 0x2E, 0x00, 0x6A, 0x00, 0x70, 0x00,
                                    0x67, 0x00, 0x0A, 0x00, 0x30, 0x00, 0x0A, 0x00}));
}

TEST_F(RepositoryFileTest, TwoLinkedEntriesAreElevenLines) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    saved.AddPicture(QStringLiteral("/b.jpg"));
    Link(saved, 0, 1, 3.7f);
    const QString path = PathIn(QStringLiteral("two.qrx"));
    ASSERT_TRUE(saved.SaveToFile(path));
    EXPECT_EQ(ReadAll(path),
              Utf16Le(QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3\n")));
}

TEST_F(RepositoryFileTest, NegativeAndLargeNumbersArePlainDecimal) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    saved.AddPicture(QStringLiteral("/b.jpg"));
    saved.GetPicture(0).similar.push_back(CSimilarInfo{1, 2147483647});
    saved.GetPicture(1).similar.push_back(CSimilarInfo{0, -12});
    const QString path = PathIn(QStringLiteral("numbers.qrx"));
    ASSERT_TRUE(saved.SaveToFile(path));
    EXPECT_EQ(ReadAll(path),
              Utf16Le(QStringLiteral("2\n6\n/a.jpg\n1\n1\n2147483647\n6\n/b.jpg\n1\n0\n-12\n")));
}

TEST_F(RepositoryFileTest, ExtensionIsAppendedUnlessPresentInAnyCase) {
    const struct {
        const char* given;
        const char* written;
    } cases[] = {
        {"set", "set.qrx"},         {"set.QRX", "set.QRX"},
        {"other.Qrx", "other.Qrx"}, {"set.qrx.bak", "set.qrx.bak.qrx"},
        {"set.txt", "set.txt.qrx"}, {"a.qrx", "a.qrx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        ASSERT_TRUE(saved.SaveToFile(PathIn(QString::fromUtf8(c.given))));
        EXPECT_TRUE(QFile::exists(PathIn(QString::fromUtf8(c.written))));
        if (QString::fromUtf8(c.given) != QString::fromUtf8(c.written)) {
            EXPECT_FALSE(QFile::exists(PathIn(QString::fromUtf8(c.given))));
        }
    }
}

TEST_F(RepositoryFileTest, PathOfFourCodeUnitsOrFewerIsUsedAsItIs) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const bool ok = saved.SaveToFile(QStringLiteral("abcd"));
    QDir::setCurrent(previous);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(QFile::exists(PathIn(QStringLiteral("abcd"))));
    EXPECT_FALSE(QFile::exists(PathIn(QStringLiteral("abcd.qrx"))));
}

TEST_F(RepositoryFileTest, GoodSaveClearsModified) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    ASSERT_TRUE(saved.IsModified());
    ASSERT_TRUE(saved.SaveToFile(PathIn(QStringLiteral("set"))));
    EXPECT_FALSE(saved.IsModified());
}

TEST_F(RepositoryFileTest, SaveIntoMissingFolderFailsAndKeepsModified) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    EXPECT_FALSE(saved.SaveToFile(PathIn(QStringLiteral("no/such/folder/set"))));
    EXPECT_TRUE(saved.IsModified());
    EXPECT_FALSE(QFile::exists(PathIn(QStringLiteral("no/such/folder/set.qrx"))));
}

TEST_F(RepositoryFileTest, SaveOverDirectoryFailsAndLeavesIt) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("set.qrx")));
    EXPECT_FALSE(saved.SaveToFile(PathIn(QStringLiteral("set"))));
    EXPECT_TRUE(saved.IsModified());
    EXPECT_TRUE(QFileInfo(PathIn(QStringLiteral("set.qrx"))).isDir());
}

// A write that fails half-way (here: the file size limit of the process, which holds even for
// root) must leave the earlier file whole and no temporary file behind.
TEST_F(RepositoryFileTest, FailedWriteLeavesEarlierFileWhole) {
    const QString path = PathIn(QStringLiteral("set.qrx"));
    saved.AddPicture(QStringLiteral("/first.jpg"));
    ASSERT_TRUE(saved.SaveToFile(path));
    const QByteArray earlier = ReadAll(path);
    ASSERT_FALSE(earlier.isEmpty());

    CPictureRepository big;
    for (int i = 0; i < 40; ++i) {
        big.AddPicture(QStringLiteral("/long/%1/").arg(i) + QString(300, u'x'));
    }
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = big.SaveToFile(path);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(big.IsModified());
    EXPECT_EQ(ReadAll(path), earlier);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("set.qrx")});
}

// --- Round trips -----------------------------------------------------------------------------

TEST_F(RepositoryFileTest, RoundTripKeepsPathsOrderAndLinks) {
    const QString picture = PathIn(QStringLiteral("real.png"));
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(64, 48, 7), test::PictureFormat::Png, picture));
    saved.AddPicture(PathIn(QStringLiteral("missing1.jpg")));
    saved.AddPicture(picture);
    saved.AddPicture(PathIn(QStringLiteral("missing2.jpg")));
    Link(saved, 0, 2, 12.0f);
    Link(saved, 1, 0, 40.5f);
    const QString file = PathIn(QStringLiteral("round.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));

    ASSERT_TRUE(LoadFile(file));
    EXPECT_EQ(PathsOf(loaded), PathsOf(saved));
    for (int i = 0; i < saved.GetCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded.GetPicture(i).similar, saved.GetPicture(i).similar);
        EXPECT_EQ(loaded.GetPicture(i).loadError, saved.GetPicture(i).loadError);
        EXPECT_EQ(loaded.GetPicture(i).signature, saved.GetPicture(i).signature);
    }
    EXPECT_FALSE(loaded.GetPicture(1).signature.empty());
    // Loading added entries, so the loaded repository counts as changed.
    EXPECT_TRUE(loaded.IsModified());
}

TEST_F(RepositoryFileTest, LongAndNonAsciiPathsComeBackWhole) {
    const std::vector<QString> paths = {
        QStringLiteral("/pics/") + QString(294, u'p'),  // 300 code units
        QStringLiteral("/pics/café/Ærø ñ.jpg"),
        QStringLiteral("/pics/写真/夏.png"),
        QStringLiteral("/pics/\U0001F600 smile.gif"),  // a pair of surrogates
        QStringLiteral("/pics/Big.JPG"),
        QStringLiteral("/pics/big.jpg"),
    };
    ASSERT_EQ(paths[0].size(), 300);
    for (const QString& path : paths) {
        saved.AddPicture(path);
    }
    const QString file = PathIn(QStringLiteral("paths.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));
    // The character outside the basic plane is two code units, written low byte first.
    EXPECT_TRUE(ReadAll(file).contains(Bytes({0x3D, 0xD8, 0x00, 0xDE})));
    EXPECT_TRUE(ReadAll(file).contains(Utf16Le(QStringLiteral("300\n"))));

    ASSERT_TRUE(LoadFile(file));
    EXPECT_EQ(PathsOf(loaded), paths);
}

TEST_F(RepositoryFileTest, EmptyRepositoryLoadsAsSuccess) {
    loaded.AddPicture(QStringLiteral("/left/over.jpg"));
    ASSERT_TRUE(saved.SaveToFile(PathIn(QStringLiteral("empty"))));
    EXPECT_TRUE(LoadFile(PathIn(QStringLiteral("empty.qrx"))));
    EXPECT_TRUE(loaded.IsEmpty());
}

// --- Reading what the writer never writes ----------------------------------------------------

TEST_F(RepositoryFileTest, LastLineWithoutLineFeedIsRead) {
    ASSERT_TRUE(LoadText(QStringLiteral("1\n6\n/a.jpg\n0")));
    EXPECT_EQ(PathsOf(loaded), std::vector<QString>{QStringLiteral("/a.jpg")});

    ASSERT_TRUE(LoadText(QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3")));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{1, 3}}));
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{0, 3}}));
}

TEST_F(RepositoryFileTest, TextAfterTheLastRecordIsIgnored) {
    ASSERT_TRUE(LoadText(QStringLiteral("1\n6\n/a.jpg\n0\ngarbage\n7\n")));
    EXPECT_EQ(loaded.GetCount(), 1);
}

TEST_F(RepositoryFileTest, NumbersAreReadLikeStrtol) {
    // Leading blanks, a plus sign, leading zeros, trailing text and a carriage return.
    ASSERT_TRUE(
        LoadText(QStringLiteral(" +2\n006\n/a.jpg\n1x\n  1 \n3abc\n6\r\n/b.jpg\n1\n0\n\n")));
    EXPECT_EQ(PathsOf(loaded),
              (std::vector<QString>{QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg")}));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{1, 3}}));
    // An empty factor line is 0, which is a valid factor.
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{0, 0}}));
}

TEST_F(RepositoryFileTest, OutOfRangeNumbersSaturateAndTheirLinksAreDropped) {
    ASSERT_TRUE(LoadText(
        QStringLiteral("2\n2\n/a\n2\n1\n99999999999\n1\n-99999999999\n2\n/b\n1\n0\n100\n")));
    EXPECT_TRUE(loaded.GetPicture(0).similar.empty());
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{0, 100}}));
}

TEST_F(RepositoryFileTest, LinkIndexIsCheckedAgainstTheDeclaredCount) {
    QString text = QStringLiteral("5\n");
    for (int i = 0; i < 5; ++i) {
        text += QStringLiteral("3\n/p%1\n").arg(i);
        text += i == 0 ? QStringLiteral("3\n5\n10\n4\n11\n-1\n12\n") : QStringLiteral("0\n");
    }
    ASSERT_TRUE(LoadText(text));
    ASSERT_EQ(loaded.GetCount(), 5);
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{4, 11}}));
}

TEST_F(RepositoryFileTest, FactorAbove100OrBelow0IsDropped) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    saved.AddPicture(QStringLiteral("/b.jpg"));
    Link(saved, 0, 1, 101.0f);
    Link(saved, 0, 1, 100.9f);
    saved.GetPicture(0).similar.push_back(CSimilarInfo{1, -1});
    const QString file = PathIn(QStringLiteral("factors.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));
    // The writer keeps what the repository holds...
    EXPECT_TRUE(ReadAll(file).contains(Utf16Le(QStringLiteral("\n101\n"))));
    // ...and the loader drops what no run with a sane threshold can make.
    ASSERT_TRUE(LoadFile(file));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{1, 100}}));
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{0, 100}}));
}

TEST_F(RepositoryFileTest, LinkToItsOwnerIsDropped) {
    ASSERT_TRUE(LoadText(QStringLiteral("2\n2\n/a\n2\n0\n5\n1\n6\n2\n/b\n1\n1\n7\n")));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{1, 6}}));
    EXPECT_TRUE(loaded.GetPicture(1).similar.empty());
}

TEST_F(RepositoryFileTest, RepeatedPathsLeaveNoLinkToMissingEntriesOrOwners) {
    // Records 0 and 1 are the same picture, so the file declares 4 entries but holds 3; record
    // 3 points at records 1 and 2, which must become entries 0 and 1.
    ASSERT_TRUE(
        LoadText(QStringLiteral("4\n2\n/a\n1\n1\n9\n"
                                "2\n/a\n1\n3\n8\n"
                                "2\n/b\n1\n3\n7\n"
                                "2\n/c\n3\n1\n4\n2\n5\n3\n6\n")));
    EXPECT_EQ(PathsOf(loaded), (std::vector<QString>{QStringLiteral("/a"), QStringLiteral("/b"),
                                                     QStringLiteral("/c")}));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{2, 8}}));
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{2, 7}}));
    EXPECT_EQ(loaded.GetPicture(2).similar, (Links{{0, 4}, {1, 5}}));
    ExpectLinksSound(loaded);
}

TEST_F(RepositoryFileTest, RecordsWithoutAPathAddNoEmptyEntry) {
    // The first record's path line is empty; the second one's length is negative, so it has no
    // path line and its next line is its link count.
    ASSERT_TRUE(LoadText(QStringLiteral("3\n0\n\n1\n2\n4\n-1\n0\n2\n/b\n1\n0\n3\n")));
    EXPECT_EQ(PathsOf(loaded), std::vector<QString>{QStringLiteral("/b")});
    EXPECT_TRUE(loaded.GetPicture(0).similar.empty());
    EXPECT_EQ(loaded.FindPicture(QString()), -1);
    ExpectLinksSound(loaded);
}

TEST_F(RepositoryFileTest, ShortPathLineDoesNotKeepItsLineFeed) {
    ASSERT_TRUE(LoadText(QStringLiteral("1\n9\n/a.jpg\n0\n")));
    ASSERT_EQ(loaded.GetCount(), 1);
    EXPECT_EQ(loaded.GetPicture(0).path, QStringLiteral("/a.jpg"));
}

// --- Broken files ----------------------------------------------------------------------------

TEST_F(RepositoryFileTest, FileEndingInsideARecordEmptiesTheRepository) {
    const QString cuts[] = {
        QStringLiteral("2\n6\n/a.jpg\n0\n6\n"),     // second record after its length
        QStringLiteral("2\n6\n/a.jpg\n0\n"),        // second record missing
        QStringLiteral("1\n6\n/a.jpg\n"),           // no link count
        QStringLiteral("1\n6\n/a.jpg\n2\n1\n3\n"),  // one link of two
        QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n"),  // last factor missing
    };
    for (const QString& text : cuts) {
        SCOPED_TRACE(text.toStdString());
        loaded.AddPicture(QStringLiteral("/left/over.jpg"));
        loaded.ClearModified();
        EXPECT_FALSE(LoadText(text));
        EXPECT_TRUE(loaded.IsEmpty());
        EXPECT_FALSE(loaded.IsModified());
    }
}

TEST_F(RepositoryFileTest, MissingEmptyOrNegativeFileFails) {
    loaded.AddPicture(QStringLiteral("/left/over.jpg"));
    EXPECT_FALSE(LoadFile(PathIn(QStringLiteral("nothing-here.qrx"))));
    EXPECT_TRUE(loaded.IsEmpty());

    EXPECT_FALSE(LoadBytes(QByteArray()));
    EXPECT_FALSE(LoadBytes(Bytes({0x31})));  // half a code unit
    EXPECT_FALSE(LoadText(QStringLiteral("-1\n")));
    EXPECT_TRUE(loaded.IsEmpty());
}

TEST_F(RepositoryFileTest, AbsurdPathLengthFailsCleanly) {
    const QString texts[] = {
        QStringLiteral("1\n2000000000\n/a\n0\n"), QStringLiteral("1\n2147483647\n/a\n0\n"),
        QStringLiteral("1\n99999999999999\n/a\n0\n"),
        QStringLiteral("2\n2\n/a\n0\n40\n/b\n0\n"),  // longer than what is left of the file
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(LoadText(text));
        EXPECT_TRUE(loaded.IsEmpty());
    }
}

TEST_F(RepositoryFileTest, HugeDeclaredCountsFailAtTheEndOfTheFile) {
    EXPECT_FALSE(LoadText(QStringLiteral("2147483647\n2\n/a\n0\n")));
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_FALSE(LoadText(QStringLiteral("1\n2\n/a\n2147483647\n0\n1\n")));
    EXPECT_TRUE(loaded.IsEmpty());
}

TEST_F(RepositoryFileTest, ReadRepositoryReadsFromAnyDevice) {
    QByteArray bytes = Utf16Le(QStringLiteral("1\n2\n/a\n0\n"));
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ReadRepository(loaded, buffer));
    EXPECT_EQ(PathsOf(loaded), std::vector<QString>{QStringLiteral("/a")});
}

TEST_F(RepositoryFileTest, LoaderRunsOnItsOwnThreadAndReportsAtTheEnd) {
    saved.AddPicture(QStringLiteral("/a.jpg"));
    const QString file = PathIn(QStringLiteral("thread.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));

    LoadParams params;
    params.repository = &loaded;
    params.path = file;
    std::thread::id reportedOn;
    int countAtReport = -1;
    params.finished = [&](bool) {
        reportedOn = std::this_thread::get_id();
        countAtReport = loaded.GetCount();
    };
    int exitCode = -1;
    std::thread loader([&] { exitCode = LoadRepositoryThread(&params); });
    loader.join();
    EXPECT_NE(reportedOn, std::this_thread::get_id());
    EXPECT_EQ(countAtReport, 1);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(params.succeeded);
}

TEST_F(RepositoryFileTest, LoaderWithoutRepositoryFailsAndStillReports) {
    LoadParams params;
    params.path = PathIn(QStringLiteral("whatever.qrx"));
    bool called = false;
    params.finished = [&](bool succeeded) { called = !succeeded; };
    EXPECT_EQ(LoadRepositoryThread(&params), 0);
    EXPECT_TRUE(called);
}

}  // namespace
}  // namespace vistrel
