// The parts of vistrel-cli that need no process: option parsing, numbers, the progress line
// and the console.

#include "CliRunner.h"
#include "CommandLineParser.h"
#include "Console.h"
#include "ProgressLine.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "export/ResultCsv.h"
#include "export/ResultFormat.h"
#include "export/ResultRecords.h"
#include "repository/PictureRepository.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace vistrel::cli {
namespace {

QStringList Args(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items) {
        list.append(QString::fromUtf8(item));
    }
    return list;
}

TEST(CommandLineParser, OptionsStandAnywhereInBothForms) {
    const ParseResult result =
        ParseCommandLine(Args({"--json", "search", "p.jpg", "--threshold=2.5", "dir",
                               "--shape-only", "--save", "out", "--", "--odd-folder"}));
    ASSERT_TRUE(result.ok()) << result.error.toStdString();
    const CliOptions& options = result.options;
    EXPECT_EQ(options.command, Command::Search);
    EXPECT_EQ(options.picture, QStringLiteral("p.jpg"));
    EXPECT_EQ(options.sources, Args({"dir", "--odd-folder"}));
    ASSERT_TRUE(options.threshold.has_value());
    EXPECT_FLOAT_EQ(*options.threshold, 2.5f);
    EXPECT_TRUE(options.shapeOnly);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.saveFile, QStringLiteral("out"));
    EXPECT_FALSE(options.formats.has_value());
}

TEST(CommandLineParser, ThresholdMustBeAPercentage) {
    for (const char* good : {"0", "100", "4", "0.5"}) {
        EXPECT_TRUE(ParseCommandLine(Args({"test", "--threshold", good, "d"})).ok()) << good;
    }
    for (const char* bad : {"-1", "100.5", "nan", "inf", "4,5", "", "4%"}) {
        EXPECT_FALSE(ParseCommandLine(Args({"test", "--threshold", bad, "d"})).ok()) << bad;
    }
}

TEST(CommandLineParser, FormatsEnableEveryFormatHoldingAnExtension) {
    std::array<bool, FORMAT_COUNT> enabled{};
    AddedFormatFlags added{};
    QString error;
    ASSERT_TRUE(ParseFormatList(QStringLiteral("JPE, .tiff"), enabled, added, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{false, false, true, false, true}));
    EXPECT_EQ(added, AddedFormatFlags{});
    ASSERT_TRUE(ParseFormatList(QStringLiteral("dib"), enabled, added, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{true, false, false, false, false}));
    ASSERT_TRUE(ParseFormatList(QStringLiteral("webp,HEIF,.avif"), enabled, added, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{}));
    EXPECT_EQ(added, (AddedFormatFlags{true, true, true}));
    ASSERT_TRUE(ParseFormatList(QStringLiteral("png,heic"), enabled, added, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{false, false, false, true, false}));
    EXPECT_EQ(added, (AddedFormatFlags{false, true, false}));
    const ParseResult parsed = ParseCommandLine(Args({"test", "--formats", "webp,heic,avif", "d"}));
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.formats, std::optional(std::array<bool, FORMAT_COUNT>{}));
    EXPECT_EQ(parsed.options.addedFormats, std::optional(AddedFormatFlags{true, true, true}));
    EXPECT_FALSE(ParseFormatList(QStringLiteral("png,,gif"), enabled, added, error));
    EXPECT_FALSE(ParseFormatList(QStringLiteral("jxl"), enabled, added, error));
    EXPECT_TRUE(error.contains(QStringLiteral("jxl")));
}

TEST(CommandLineParser, HelpAndVersionWinOverErrors) {
    EXPECT_TRUE(ParseCommandLine(Args({"--help"})).options.help);
    EXPECT_TRUE(ParseCommandLine(Args({"nonsense", "--version"})).options.version);
    EXPECT_FALSE(ParseCommandLine(Args({"test", "--help=yes"})).ok());
    EXPECT_FALSE(ParseCommandLine(Args({"signature", "a.png", "b.png"})).ok());
}

TEST(CommandLineParser, NullEndsTheLinesOfTestAndSearchOnly) {
    EXPECT_TRUE(ParseCommandLine(Args({"test", "-0", "d"})).options.null);
    EXPECT_TRUE(ParseCommandLine(Args({"search", "p.jpg", "--null", "d"})).options.null);
    EXPECT_EQ(ParseCommandLine(Args({"test", "--", "-0"})).options.sources, Args({"-0"}));
    EXPECT_FALSE(ParseCommandLine(Args({"test", "--null", "--json", "d"})).ok());
    EXPECT_FALSE(ParseCommandLine(Args({"signature", "-0", "p.jpg"})).ok());
    EXPECT_FALSE(ParseCommandLine(Args({"test", "--null=1", "d"})).ok());
}

TEST(OutputFormat, FactorHasThreeDecimalsLikePrintf) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> factors(0.0f, 255.0f);
    for (int i = 0; i < 2000; ++i) {
        const float factor = i < 5 ? static_cast<float>(i) * 0.0625f : factors(random);
        EXPECT_EQ(FormatFactor(factor), test::PrintfFactor(ShownFactor(factor)).toLatin1())
            << factor;
    }
}

TEST(OutputFormat, CsvQuotesOddPathsAndGivesTheLinksAsTheLinesDoWithTheirGroups) {
    CPictureRepository repository;
    const QString odd = QStringLiteral("/p/a, \"b\"\nc.jpg");
    for (const QString& path :
         {QStringLiteral("/p/z.jpg"), odd, QStringLiteral("/p/plain.jpg"),
          QStringLiteral("/p/alone.jpg"), QStringLiteral("/p/x.jpg"), QStringLiteral("/p/y.jpg")}) {
        repository.AddSignedPicture(path, SignatureBytes());
    }
    const auto link = [&](std::int32_t a, std::int32_t b, float factor) {
        repository.AddSimilarPair(PairInfo{nullptr, nullptr, a, b, factor});
    };
    link(1, 0, 12.9f);
    link(5, 4, 7.0f);
    link(0, 2, 3.0f);

    const std::vector<PairInfo> records = LinkedPairs(repository);
    // As vistrel-cli writes a test's pairs: the earlier entry first, the factor as kept (12 of
    // 255) on the threshold's scale.
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(PairLine(repository, records[0]),
              QByteArray("9.375\t/p/z.jpg\t") + odd.toUtf8() + '\n');
    EXPECT_EQ(CsvResult(repository, records, false),
              QByteArray("factor,path_a,path_b,group\r\n"
                         "9.375,/p/z.jpg,\"/p/a, \"\"b\"\"\nc.jpg\",1\r\n"
                         "2.344,/p/z.jpg,/p/plain.jpg,1\r\n"
                         "5.469,/p/x.jpg,/p/y.jpg,2\r\n"));
}

TEST(ProgressLine, Durations) {
    EXPECT_EQ(FormatDuration(12.34), QStringLiteral("12.3 s"));
    EXPECT_EQ(FormatDuration(245), QStringLiteral("4:05"));
    EXPECT_EQ(FormatDuration(3723), QStringLiteral("1:02:03"));
    EXPECT_EQ(FormatDuration(-1), QStringLiteral("0.0 s"));
}

TEST(ProgressLine, KnownTotalShowsBarCountsRateAndTimeLeft) {
    const ProgressState state{QStringLiteral("comparing"), QStringLiteral("pairs"), 500, 1000,
                              10.0};
    const QString line = FormatProgressLine(state, 100);
    EXPECT_TRUE(line.startsWith(QStringLiteral("comparing [#"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(" 50%"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("500/1000 pairs, 50/s, 10.0 s left")))
        << line.toStdString();
    for (const int width : {20, 40, 79}) {
        EXPECT_LE(FormatProgressLine(state, width).size(), width);
    }
}

TEST(ProgressLine, UnknownTotalShowsCountsAndTimeSpent) {
    const QString line = FormatProgressLine(
        {QStringLiteral("scanning"), QStringLiteral("pictures"), 30, 0, 2.0}, 80);
    EXPECT_EQ(line, QStringLiteral("scanning 30 pictures, 15/s, 2.0 s"));
    EXPECT_EQ(FormatProgressLine({QStringLiteral("loading a.qrx"), QString(), 0, 0, 3.0}, 80),
              QStringLiteral("loading a.qrx, 3.0 s"));
}

// What a terminal shows of one line written to it: the text after the last carriage return,
// without the erase-to-end-of-line sequences.
QByteArray TerminalView(QByteArray line) {
    line = line.mid(line.lastIndexOf('\r') + 1);
    return line.replace("\033[K", "");
}

// What a stream collects. The stream's own lock already orders the writes; this one says so to
// the thread sanitizer.
struct Collected {
    std::mutex mutex;
    QByteArray bytes;
};

// A stream that collects what is written to it, and lets the other threads run at every write so
// that they meet between the console's writes as often as they can.
std::FILE* CollectingStream(Collected& collected) {
    cookie_io_functions_t functions{};
    functions.write = [](void* cookie, const char* bytes, std::size_t size) -> ssize_t {
        Collected& target = *static_cast<Collected*>(cookie);
        {
            const std::lock_guard lock(target.mutex);
            target.bytes.append(bytes, static_cast<qsizetype>(size));
        }
        std::this_thread::yield();
        return static_cast<ssize_t>(size);
    };
    return fopencookie(&collected, "w", functions);
}

// Qt's messages reach the console from the repository loader's thread while the main thread
// redraws the progress line: every warning must still show as a whole line of its own.
TEST(Console, WarningsFromOtherThreadsStayWholeLinesBesideTheProgressLine) {
    Collected written;
    std::FILE* const stream = CollectingStream(written);
    ASSERT_NE(stream, nullptr);
    constexpr int kThreads = 3;
    constexpr int kWarnings = 2000;
    {
        Console console(false, stream, true);
        std::atomic<int> writing{kThreads};
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&console, &writing, t] {
                for (int n = 0; n < kWarnings; ++n) {
                    console.Warning(QStringLiteral("thread %1 message %2").arg(t).arg(n));
                }
                --writing;
            });
        }
        std::uint64_t done = 0;
        while (writing > 0) {
            console.Progress(
                {QStringLiteral("loading"), QStringLiteral("pictures"), ++done, 0, 1.0}, true);
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        console.EndProgress();
    }
    ASSERT_EQ(std::fclose(stream), 0);

    QList<QByteArray> lines = written.bytes.split('\n');
    EXPECT_EQ(TerminalView(lines.takeLast()), QByteArray());  // the progress line erased
    std::set<QByteArray> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int n = 0; n < kWarnings; ++n) {
            expected.insert(QStringLiteral("vistrel-cli: warning: thread %1 message %2")
                                .arg(t)
                                .arg(n)
                                .toUtf8());
        }
    }
    QList<QByteArray> broken;
    for (const QByteArray& line : lines) {
        if (expected.erase(TerminalView(line)) != 1) {
            broken.append(TerminalView(line));
        }
    }
    EXPECT_TRUE(broken.isEmpty()) << broken.size()
                                  << " lines broken, the first: " << broken.value(0).toStdString();
    EXPECT_TRUE(expected.empty()) << expected.size() << " warnings missing";
}

}  // namespace
}  // namespace vistrel::cli
