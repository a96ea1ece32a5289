// The parts of vistrel-cli that need no process: option parsing, numbers and the progress line.

#include "CliRunner.h"
#include "CommandLineParser.h"
#include "OutputFormat.h"
#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <random>

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
    QString error;
    ASSERT_TRUE(ParseFormatList(QStringLiteral("JPE, .tiff"), enabled, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{false, false, true, false, true}));
    ASSERT_TRUE(ParseFormatList(QStringLiteral("dib"), enabled, error));
    EXPECT_EQ(enabled, (std::array<bool, FORMAT_COUNT>{true, false, false, false, false}));
    EXPECT_FALSE(ParseFormatList(QStringLiteral("png,,gif"), enabled, error));
    EXPECT_FALSE(ParseFormatList(QStringLiteral("webp"), enabled, error));
    EXPECT_TRUE(error.contains(QStringLiteral("webp")));
}

TEST(CommandLineParser, HelpAndVersionWinOverErrors) {
    EXPECT_TRUE(ParseCommandLine(Args({"--help"})).options.help);
    EXPECT_TRUE(ParseCommandLine(Args({"nonsense", "--version"})).options.version);
    EXPECT_FALSE(ParseCommandLine(Args({"test", "--help=yes"})).ok());
    EXPECT_FALSE(ParseCommandLine(Args({"signature", "a.png", "b.png"})).ok());
}

TEST(OutputFormat, FactorHasThreeDecimalsLikePrintf) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> factors(0.0f, 255.0f);
    for (int i = 0; i < 2000; ++i) {
        const float factor = i < 5 ? static_cast<float>(i) * 0.0625f : factors(random);
        EXPECT_EQ(FormatFactor(factor), test::PrintfFactor(factor).toLatin1()) << factor;
    }
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

}  // namespace
}  // namespace vistrel::cli
