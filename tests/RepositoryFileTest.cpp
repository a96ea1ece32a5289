// The repository file: the bytes SaveToFile writes, the loader's reading of good and broken
// files, and round trips of awkward paths.

#include "repository/PictureRepository.h"
#include "repository/RepositoryLoader.h"
#include "support/TestPictures.h"
#include "support/Utf16Text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
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

// A write that fails (here: the file size limit of the process, which holds even for root and
// fails the write as a full disk does) must leave the earlier file whole, no temporary file
// behind, and say why. The small repository is written in one piece that a buffered file would
// only hand to the system while closing, where the failure used to go unseen.
TEST_F(RepositoryFileTest, FailedWriteLeavesEarlierFileWhole) {
    const QString path = PathIn(QStringLiteral("set.qrx"));
    saved.AddPicture(QStringLiteral("/first.jpg"));
    ASSERT_TRUE(saved.SaveToFile(path));
    const QByteArray earlier = ReadAll(path);
    ASSERT_FALSE(earlier.isEmpty());

    for (const int entries : {40, 12}) {
        SCOPED_TRACE(entries);
        CPictureRepository big;
        for (int i = 0; i < entries; ++i) {
            big.AddPicture(QStringLiteral("/long/%1/").arg(i) + QString(300, u'x'));
        }
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        QString reason;
        const bool ok = big.SaveToFile(path, &reason);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        EXPECT_FALSE(ok);
        EXPECT_EQ(reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
        EXPECT_TRUE(big.IsModified());
        EXPECT_EQ(ReadAll(path), earlier);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
                  QStringList{QStringLiteral("set.qrx")});
    }
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
    // What was just opened is what the file holds: nothing to save.
    EXPECT_FALSE(loaded.IsModified());
}

// Open's Cancel: an observer that asks to stop once the first picture is done ends the load
// there, as a failure, with nothing of the file kept and the later pictures never decoded.
TEST_F(RepositoryFileTest, LoadStoppedByItsObserverEndsEarlyAndKeepsNothing) {
    constexpr int kPictures = 40;
    for (int i = 0; i < kPictures; ++i) {
        const QString picture = PathIn(QStringLiteral("p%1.png").arg(i));
        ASSERT_TRUE(
            test::WritePicture(test::MakePhotoLike(64, 48, i), test::PictureFormat::Png, picture));
        saved.AddPicture(picture);
    }
    const QString file = PathIn(QStringLiteral("stopped.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));

    struct StopAfterFirst : ProgressObserver {
        std::atomic<std::uint64_t> mostDone{0};
        void Report(const ProgressReport& report) override {
            mostDone = std::max<std::uint64_t>(mostDone, report.done);
        }
        bool StopRequested() const override { return mostDone >= 1; }
    } observer;
    LoadParams params;
    params.repository = &loaded;
    params.path = file;
    params.observer = &observer;
    EXPECT_EQ(LoadRepositoryThread(&params), 0);
    EXPECT_FALSE(params.succeeded);
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_LT(observer.mostDone.load(), std::uint64_t{kPictures});
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

// A file the file lists under two paths (here through a linked folder) is one entry: the first
// record keeps it, the second goes with its links, and the result differs from the file.
TEST_F(RepositoryFileTest, SameFileListedTwiceKeepsTheFirstRecord) {
    const QString real = PathIn(QStringLiteral("photos/a.png"));
    ASSERT_TRUE(QDir().mkpath(PathIn(QStringLiteral("photos"))));
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(64, 48, 7), test::PictureFormat::Png, real));
    ASSERT_TRUE(QFile::link(PathIn(QStringLiteral("photos")), PathIn(QStringLiteral("linked"))));
    const QString linked = PathIn(QStringLiteral("linked/a.png"));
    const QString before = QStringLiteral("/gone/before.jpg");
    const QString after = QStringLiteral("/gone/after.jpg");
    const auto record = [](const QString& path, const QString& links) {
        return QString::number(path.size()) + u'\n' + path + u'\n' + links;
    };
    // 0-3 at 7, 1-2 at 0 (the same file), 2-3 at 5, 1-3 at 9.
    ASSERT_TRUE(LoadText(QStringLiteral("4\n") + record(before, QStringLiteral("1\n3\n7\n")) +
                         record(real, QStringLiteral("2\n2\n0\n3\n9\n")) +
                         record(linked, QStringLiteral("2\n1\n0\n3\n5\n")) +
                         record(after, QStringLiteral("3\n0\n7\n2\n5\n1\n9\n"))));
    EXPECT_EQ(PathsOf(loaded), (std::vector<QString>{before, real, after}));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{2, 7}}));
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{2, 9}}));
    EXPECT_EQ(loaded.GetPicture(2).similar, (Links{{0, 7}, {1, 9}}));
    ExpectLinksSound(loaded);
    EXPECT_TRUE(loaded.IsModified());
}

TEST_F(RepositoryFileTest, EmptyRepositoryLoadsAsSuccess) {
    loaded.AddPicture(QStringLiteral("/left/over.jpg"));
    ASSERT_TRUE(saved.SaveToFile(PathIn(QStringLiteral("empty"))));
    EXPECT_TRUE(LoadFile(PathIn(QStringLiteral("empty.qrx"))));
    EXPECT_TRUE(loaded.IsEmpty());
}

// --- Reading ---------------------------------------------------------------------------------

TEST_F(RepositoryFileTest, LastLineWithoutLineFeedIsRead) {
    ASSERT_TRUE(LoadText(QStringLiteral("1\n6\n/a.jpg\n0")));
    EXPECT_EQ(PathsOf(loaded), std::vector<QString>{QStringLiteral("/a.jpg")});

    ASSERT_TRUE(LoadText(QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3")));
    EXPECT_EQ(loaded.GetPicture(0).similar, (Links{{1, 3}}));
    EXPECT_EQ(loaded.GetPicture(1).similar, (Links{{0, 3}}));
}

// Linux names may hold any character but "/" and NUL; the path line is read by its length.
TEST_F(RepositoryFileTest, NamesWithLineFeedsAndTabsComeBackWhole) {
    const std::vector<QString> paths = {
        QStringLiteral("/pics/two\nlines.jpg"), QStringLiteral("/pics/tab\there.png"),
        QStringLiteral("/pics/ends in line feed\n"), QStringLiteral("/pics/\n\n3\n")};
    for (const QString& path : paths) {
        saved.AddPicture(path);
    }
    Link(saved, 0, 3, 5.0f);
    const QString file = PathIn(QStringLiteral("odd.qrx"));
    ASSERT_TRUE(saved.SaveToFile(file));
    EXPECT_TRUE(ReadAll(file).startsWith(
        Utf16Le(QStringLiteral("4\n19\n/pics/two\nlines.jpg\n1\n3\n5\n"))));
    ASSERT_TRUE(LoadFile(file));
    EXPECT_EQ(PathsOf(loaded), paths);
    EXPECT_EQ(loaded.GetPicture(3).similar, (Links{{0, 5}}));
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

// A file the program did not write, or one with a few bytes changed, opens nothing: not an
// empty repository, not entries named after the numbers around them, not links between
// pictures that were never compared.
TEST_F(RepositoryFileTest, WhatIsNotARepositoryFileOpensNothing) {
    const QString good = QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3\n");
    ASSERT_TRUE(LoadText(good));
    QByteArray bigEndian;
    for (const QChar c : good) {
        bigEndian.append(static_cast<char>(c.unicode() >> 8));
        bigEndian.append(static_cast<char>(c.unicode() & 0xFF));
    }
    const QByteArray files[] = {
        Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00}),  // a JPEG
        QByteArray("2\n6\n/a.jpg\n0\n6\n/b.jpg\n0\n"),  // a text file in 8 bits
        Bytes({0xFF, 0xFE}) + Utf16Le(good),            // a byte-order mark
        bigEndian,
        Bytes({0x9A, 0x51, 0x07, 0xE3, 0x00, 0x42, 0x13, 0x88}),  // random bytes
        Utf16Le(good) + Bytes({0x31}),                            // a stray byte at the end
    };
    for (const QByteArray& bytes : files) {
        SCOPED_TRACE(bytes.toHex().left(40).toStdString());
        EXPECT_FALSE(LoadBytes(bytes));
        EXPECT_TRUE(loaded.IsEmpty());
    }
    const QString texts[] = {
        QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3\n50\n"),  // text after the end
        QStringLiteral("2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3\n\n"),  // an empty line after it
        QStringLiteral(" 2\n6\n/a.jpg\n0\n6\n/b.jpg\n0\n"),               // a blank
        QStringLiteral("+2\n6\n/a.jpg\n0\n6\n/b.jpg\n0\n"),               // a plus sign
        QStringLiteral("2\r\n6\n/a.jpg\n0\n6\n/b.jpg\n0\n"),              // a carriage return
        QStringLiteral("2\n6\n/a.jpg\n1x\n1\n3\n6\n/b.jpg\n0\n"),         // trailing text
        QStringLiteral("2\n6\n/a.jpg\n1\n\n3\n6\n/b.jpg\n0\n"),           // an empty number
        QStringLiteral("2\n6\n/a.jpg\n1\n1\n99999999999\n6\n/b.jpg\n0\n"),  // beyond 32 bits
        QStringLiteral("2\n5\n/a.jpg\n0\n6\n/b.jpg\n0\n"),                  // path longer...
        QStringLiteral("2\n7\n/a.jpg\n0\n6\n/b.jpg\n0\n"),                  // ...or shorter
        QStringLiteral("2\n0\n\n0\n6\n/b.jpg\n0\n"),                        // an empty path
        QStringLiteral("2\n-1\n0\n6\n/b.jpg\n0\n"),                         // no path at all
        QStringLiteral("2\n6\n/a.jpg\n0\n6\n/a.jpg\n0\n"),                  // a repeated path
        QStringLiteral("2\n6\n/a.jpg\n1\n2\n3\n6\n/b.jpg\n0\n"),            // index past the count
        QStringLiteral("2\n6\n/a.jpg\n1\n-1\n3\n6\n/b.jpg\n0\n"),           // negative index
        QStringLiteral("2\n6\n/a.jpg\n1\n0\n3\n6\n/b.jpg\n0\n"),            // link to itself
        QStringLiteral("2\n6\n/a.jpg\n-1\n6\n/b.jpg\n0\n"),                 // negative links
        QStringLiteral("3\n6\n/a.jpg\n0\n6\n/b.jpg\n0\n"),                  // count too high
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(LoadText(text));
        EXPECT_TRUE(loaded.IsEmpty());
    }
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

TEST_F(RepositoryFileTest, MissingEmptyNegativeOrSpecialFileFails) {
    loaded.AddPicture(QStringLiteral("/left/over.jpg"));
    EXPECT_FALSE(LoadFile(PathIn(QStringLiteral("nothing-here.qrx"))));
    EXPECT_TRUE(loaded.IsEmpty());

    EXPECT_FALSE(LoadBytes(QByteArray()));
    EXPECT_FALSE(LoadBytes(Bytes({0x31})));  // half a code unit
    EXPECT_FALSE(LoadText(QStringLiteral("-1\n")));
    EXPECT_TRUE(loaded.IsEmpty());

    // Reading a FIFO would wait for a writer that never comes; a folder is no file either.
    const QString fifo = PathIn(QStringLiteral("fifo.qrx"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(LoadFile(fifo));
    EXPECT_FALSE(LoadFile(folder.path()));
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
