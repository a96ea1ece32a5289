#include "CliRunner.h"
#include "TestPictures.h"
#include "VistrelVersion.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "repository/PictureRepository.h"
#include "settings/ProgramSettings.h"
#include "signature/PictureSignature.h"
#include "signature/SignatureCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTransform>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vistrel {
namespace {

using test::CliResult;
using test::PictureFormat;
using test::RunCli;
using test::StartCli;

constexpr std::size_t kSignatureSize = 3 * CPictureRepository::kSide * CPictureRepository::kSide;

class CliTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        pictures = root.filePath(QStringLiteral("pictures"));
        config = root.filePath(QStringLiteral("config"));
        ASSERT_TRUE(QDir().mkpath(pictures + QStringLiteral("/nested/deeper")));
        ASSERT_TRUE(QDir().mkpath(pictures + QStringLiteral("/.hidden")));
        ASSERT_TRUE(QDir().mkpath(config));

        const QImage a = test::MakePhotoLike(320, 240, 1);
        const QImage b = test::MakePhotoLike(300, 300, 2);
        const QImage c = test::MakePhotoLike(256, 192, 3);
        ASSERT_TRUE(test::WritePicture(a, PictureFormat::Png, Picture("a.png")));
        ASSERT_TRUE(
            test::WritePicture(a.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                               PictureFormat::Jpeg, Picture("nested/deeper/a-small.jpg")));
        ASSERT_TRUE(test::WritePicture(b, PictureFormat::Bmp, Picture("b.bmp")));
        ASSERT_TRUE(test::WritePicture(b, PictureFormat::Png, Picture("nested/B copy.PNG")));
        ASSERT_TRUE(test::WritePicture(c, PictureFormat::Tiff, Picture("c.tif")));
        // Hidden names are skipped by the scan, however alike they look.
        ASSERT_TRUE(test::WritePicture(a, PictureFormat::Png, Picture(".hidden/a-again.png")));
        ASSERT_TRUE(test::WritePicture(a, PictureFormat::Png, Picture(".a-hidden.png")));
        ASSERT_TRUE(test::WriteBytes(Picture("broken.jpg"), QByteArray("\xff\xd8\xff not a jpeg")));
        ASSERT_TRUE(test::WriteBytes(Picture("notes.txt"), QByteArray("not a picture")));
    }

    QString Picture(const char* name) const { return pictures + QLatin1Char('/') + name; }

    CliResult Run(const QStringList& arguments) const { return RunCli(arguments, config); }

    QString CacheFile() const {
        return test::CacheHome(config) + QStringLiteral("/vistrel/signatures.sqlite");
    }

    // The "NAME: VALUE" lines of `cache --stats`.
    std::map<QString, QString> CacheStats() const {
        const CliResult result = Run({QStringLiteral("cache"), QStringLiteral("--stats")});
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        std::map<QString, QString> stats;
        for (const QString& line : result.OutLines()) {
            const qsizetype colon = line.indexOf(QStringLiteral(": "));
            EXPECT_GT(colon, 0) << line.toStdString();
            stats[line.left(colon)] = line.mid(colon + 2);
        }
        return stats;
    }

    // Runs `script` (sh, with $1 a small file system of `size` mounted for it alone, $2 this
    // program, $3 the pictures, $4 the settings folder) in a private mount namespace; its
    // output and errors. Nothing when no such namespace can be made here.
    std::optional<std::pair<QByteArray, QByteArray>> RunOnSmallDisk(const QString& size,
                                                                    const QString& script) const {
        const QString disk = root.filePath(QStringLiteral("small-disk"));
        EXPECT_TRUE(QDir().mkpath(disk));
        QProcess shell;
        shell.start(
            QStringLiteral("unshare"),
            {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("mount -t tmpfs -o size=%1 tmpfs \"$1\" || exit 77\n").arg(size) +
                 script,
             QStringLiteral("sh"), disk, QStringLiteral(VISTREL_CLI_PATH), pictures, config});
        if (!shell.waitForFinished(60000) || shell.exitCode() == 77) {
            return std::nullopt;
        }
        return std::pair{shell.readAllStandardOutput(), shell.readAllStandardError()};
    }

    QString StoreFile() const { return config + QStringLiteral("/Morvant/QRX.conf"); }

    void WriteStore(const ProgramSettings& settings) const {
        QSettings store(StoreFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("ProgramSettings"), EncodeSettings(settings));
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }

    // The pictures the scan must find, whatever order the file system lists them in.
    QSet<QString> ScannablePictures() const {
        return {Picture("a.png"), Picture("nested/deeper/a-small.jpg"),
                Picture("b.bmp"), Picture("nested/B copy.PNG"),
                Picture("c.tif"), Picture("broken.jpg")};
    }

    // The near-copies made above, as unordered pairs.
    QSet<QSet<QString>> NearCopies() const {
        return {{Picture("a.png"), Picture("nested/deeper/a-small.jpg")},
                {Picture("b.bmp"), Picture("nested/B copy.PNG")}};
    }

    // The repository order the program reports, checked against the files on disk.
    static QStringList PicturesOf(const CliResult& result) {
        const QJsonDocument document = QJsonDocument::fromJson(result.out);
        QStringList paths;
        for (const QJsonValue& entry :
             document.object().value(QStringLiteral("pictures")).toArray()) {
            paths.append(entry.toObject().value(QStringLiteral("path")).toString());
        }
        return paths;
    }

    // The lines a test at `threshold` must print for the repository order `order`, computed
    // here from the engine's own signature and difference factor.
    static QStringList ExpectedTestLines(const QStringList& order, float threshold,
                                         bool shapeOnly = false) {
        std::vector<std::vector<std::uint8_t>> signatures;
        for (const QString& path : order) {
            signatures.push_back(ComputeSignature(path, CPictureRepository::kSide));
        }
        QStringList lines;
        for (qsizetype i = 0; i < order.size(); ++i) {
            for (qsizetype j = i + 1; j < order.size(); ++j) {
                if (signatures[i].empty() || signatures[j].empty()) {
                    continue;
                }
                const float factor = ComputeDifference(signatures[j].data(), signatures[i].data(),
                                                       CPictureRepository::kSide, shapeOnly);
                if (IsSimilarFactor(factor, threshold / 2)) {
                    lines.append(test::PrintfFactor(ShownFactor(factor)) + QLatin1Char('\t') +
                                 order[i] + QLatin1Char('\t') + order[j]);
                }
            }
        }
        return lines;
    }

    static QSet<QSet<QString>> PairsOf(const QStringList& lines) {
        QSet<QSet<QString>> pairs;
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            EXPECT_EQ(fields.size(), 3) << line.toStdString();
            if (fields.size() == 3) {
                pairs.insert({fields[1], fields[2]});
            }
        }
        return pairs;
    }

    QTemporaryDir root;
    QString pictures;
    QString config;
};

// A failure a script can rely on: the status, nothing on standard output, and exactly one line
// on standard error that names the program and mentions `culprit`.
void ExpectOneLineFailure(const CliResult& result, int status, const QString& culprit) {
    EXPECT_EQ(result.status, status);
    EXPECT_TRUE(result.out.isEmpty());
    const QStringList lines = result.ErrLines();
    ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("vistrel-cli: "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(culprit)) << lines[0].toStdString();
}

TEST_F(CliTest, TestPrintsExactlyTheNearCopiesInRepositoryOrder) {
    const CliResult json = Run({QStringLiteral("test"), QStringLiteral("--threshold"),
                                QStringLiteral("4"), QStringLiteral("--json"), pictures});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QStringList order = PicturesOf(json);
    EXPECT_EQ(order.size(), 6);
    EXPECT_EQ(QSet<QString>(order.cbegin(), order.cend()), ScannablePictures());

    const CliResult lines =
        Run({QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("4"), pictures});
    ASSERT_EQ(lines.status, 0) << lines.err.toStdString();
    EXPECT_EQ(PairsOf(lines.OutLines()), NearCopies());
    EXPECT_EQ(lines.OutLines(), ExpectedTestLines(order, 4.0f));

    // However many threads make the signatures, the same repository in the same order.
    for (const char* workers : {"1", "8"}) {
        const CliResult again =
            Run({QStringLiteral("test"), QStringLiteral("--threshold=4"), QStringLiteral("--json"),
                 QStringLiteral("--workers"), QLatin1String(workers), pictures});
        EXPECT_EQ(again.out, json.out) << workers;
    }
}

TEST_F(CliTest, SavedRepositoryGivesTheSameLines) {
    const QString saved = root.filePath(QStringLiteral("saved"));
    const CliResult first = Run({QStringLiteral("test"), QStringLiteral("--threshold=4"),
                                 QStringLiteral("--save"), saved, pictures});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    ASSERT_TRUE(QFileInfo::exists(saved + QStringLiteral(".qrx")));
    EXPECT_EQ(first.OutLines().size(), 2);

    const CliResult again = Run(
        {QStringLiteral("test"), QStringLiteral("--threshold=4"), saved + QStringLiteral(".qrx")});
    ASSERT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, first.out);
    EXPECT_TRUE(again.ErrLines().last().contains(QLatin1String(" load ")))
        << again.err.toStdString();

    // Links stored in the file do not count: a test always compares again.
    const CliResult strict = Run(
        {QStringLiteral("test"), QStringLiteral("--threshold=0"), saved + QStringLiteral(".qrx")});
    ASSERT_EQ(strict.status, 0);
    EXPECT_TRUE(strict.out.isEmpty());
}

TEST_F(CliTest, JsonParsesWithPicturesAndPairs) {
    const CliResult result = Run({QStringLiteral("test"), QStringLiteral("--json"),
                                  QStringLiteral("--threshold"), QStringLiteral("4"), pictures});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray entries = document.object().value(QStringLiteral("pictures")).toArray();
    const QJsonArray pairs = document.object().value(QStringLiteral("pairs")).toArray();
    ASSERT_EQ(entries.size(), 6);
    for (const QJsonValue& entry : entries) {
        const QString path = entry.toObject().value(QStringLiteral("path")).toString();
        EXPECT_EQ(entry.toObject().value(QStringLiteral("loadError")).toBool(),
                  path == Picture("broken.jpg"))
            << path.toStdString();
    }
    const QStringList lines =
        Run({QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("4"), pictures})
            .OutLines();
    ASSERT_EQ(pairs.size(), lines.size());
    for (qsizetype k = 0; k < pairs.size(); ++k) {
        const QJsonObject pair = pairs[k].toObject();
        const int a = pair.value(QStringLiteral("a")).toInt(-1);
        const int b = pair.value(QStringLiteral("b")).toInt(-1);
        ASSERT_TRUE(0 <= a && a < b && b < entries.size());
        const QStringList fields = lines[k].split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 3);
        EXPECT_EQ(test::PrintfFactor(pair.value(QStringLiteral("factor")).toDouble()), fields[0]);
        EXPECT_EQ(entries[a].toObject().value(QStringLiteral("path")).toString(), fields[1]);
        EXPECT_EQ(entries[b].toObject().value(QStringLiteral("path")).toString(), fields[2]);
    }
}

// Tabs and line feeds are legal in names: --null and --json keep them apart from the fields.
TEST_F(CliTest, NamesWithTabsAndLineFeedsSurviveNullAndJson) {
    const QString folder = root.filePath(QStringLiteral("odd names"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString tab = folder + QStringLiteral("/tab\there.png");
    const QString feed = folder + QStringLiteral("/line\nfeed\t.png");
    const QImage picture = test::MakePhotoLike(200, 150, 4);
    ASSERT_TRUE(test::WritePicture(picture, PictureFormat::Png, tab));
    ASSERT_TRUE(test::WritePicture(picture, PictureFormat::Png, feed));

    const CliResult json = Run({QStringLiteral("test"), QStringLiteral("--json"),
                                QStringLiteral("--threshold=4"), folder});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QStringList order = PicturesOf(json);
    ASSERT_EQ(order.size(), 2);
    EXPECT_EQ(QSet<QString>(order.cbegin(), order.cend()), (QSet<QString>{tab, feed}));
    EXPECT_EQ(document.object().value(QStringLiteral("pairs")).toArray().size(), 1);

    const CliResult pairs = Run({QStringLiteral("test"), QStringLiteral("--null"),
                                 QStringLiteral("--threshold=4"), folder});
    ASSERT_EQ(pairs.status, 0) << pairs.err.toStdString();
    EXPECT_EQ(pairs.out.split('\0'),
              (QList<QByteArray>{"0.000", QFile::encodeName(order[0]), QFile::encodeName(order[1]),
                                 QByteArray()}));

    const CliResult search = Run({QStringLiteral("search"), QStringLiteral("-0"),
                                  QStringLiteral("--threshold=4"), tab, folder});
    ASSERT_EQ(search.status, 0) << search.err.toStdString();
    EXPECT_EQ(search.out.split('\0'),
              (QList<QByteArray>{"0.000", QFile::encodeName(feed), QByteArray()}));
}

TEST_F(CliTest, SearchPrintsThePicturesLikeThePicture) {
    const CliResult known = Run({QStringLiteral("search"), QStringLiteral("--threshold"),
                                 QStringLiteral("4"), Picture("a.png"), pictures});
    ASSERT_EQ(known.status, 0) << known.err.toStdString();
    const QStringList lines = known.OutLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QLatin1Char('\t') + Picture("nested/deeper/a-small.jpg")))
        << lines[0].toStdString();

    // A picture outside the sources joins the repository, last.
    const QString outside = root.filePath(QStringLiteral("b-large.png"));
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(300, 300, 2).scaled(450, 450),
                                   PictureFormat::Png, outside));
    const CliResult json = Run({QStringLiteral("search"), QStringLiteral("--threshold"),
                                QStringLiteral("4"), QStringLiteral("--json"), outside, pictures});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QStringList order = PicturesOf(json);
    ASSERT_EQ(order.size(), 7);
    EXPECT_EQ(order.last(), outside);
    EXPECT_EQ(QJsonDocument::fromJson(json.out).object().value(QStringLiteral("target")).toInt(),
              6);

    const CliResult found = Run({QStringLiteral("search"), QStringLiteral("--threshold"),
                                 QStringLiteral("4"), outside, pictures});
    ASSERT_EQ(found.status, 0);
    QStringList paths;
    for (const QString& line : found.OutLines()) {
        paths.append(line.section(QLatin1Char('\t'), 1));
    }
    QStringList expected;
    for (const QString& path : order) {
        if (path == Picture("b.bmp") || path == Picture("nested/B copy.PNG")) {
            expected.append(path);
        }
    }
    EXPECT_EQ(paths, expected);
}

TEST_F(CliTest, KeepPlansOnlyNearCopiesOfThePictureKeptAndTrashesThemWhenAsked) {
    // At the laxest threshold every readable picture is in one group; only the copy of the
    // picture kept (the square b, most pixels) goes, not a-small, a near-copy of another.
    const QStringList arguments{QStringLiteral("keep"), QStringLiteral("--threshold"),
                                QStringLiteral("100"), pictures};
    const CliResult plan = Run(arguments);
    ASSERT_EQ(plan.status, 0) << plan.err.constData();
    const QStringList lines = plan.OutLines();
    ASSERT_EQ(lines.size(), 6) << plan.out.constData();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("# group 1: 5 pictures, 1 to the trash")));
    QStringList trashed;
    for (const QString& line : lines.mid(1)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 2) << qPrintable(line);
        if (fields[0] == QLatin1String("trash")) {
            trashed.append(fields[1]);
        } else {
            EXPECT_EQ(fields[0], QStringLiteral("keep"));
        }
    }
    ASSERT_EQ(trashed.size(), 1);
    EXPECT_TRUE(trashed[0] == Picture("b.bmp") || trashed[0] == Picture("nested/B copy.PNG"));
    EXPECT_TRUE(QFileInfo::exists(trashed[0]));

    const CliResult moved = Run(QStringList(arguments) << QStringLiteral("--trash"));
    ASSERT_EQ(moved.status, 0) << moved.err.constData();
    EXPECT_EQ(moved.out, plan.out);
    EXPECT_FALSE(QFileInfo::exists(trashed[0]));
    EXPECT_TRUE(QFileInfo::exists(config + QStringLiteral("/.local/share/Trash/files/") +
                                  QFileInfo(trashed[0]).fileName()));
    for (const char* name : {"a.png", "nested/deeper/a-small.jpg", "c.tif"}) {
        EXPECT_TRUE(QFileInfo::exists(Picture(name))) << name;
    }
}

// A file named through a linked folder is the file already added, not a near-copy of it:
// as a source after its own path, as a folder to scan, and as the picture to search for.
TEST_F(CliTest, SameFileThroughALinkedFolderIsOnePicture) {
    const QString linked = root.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(pictures, linked));
    const CliResult json =
        Run({QStringLiteral("test"), QStringLiteral("--threshold=4"), QStringLiteral("--json"),
             Picture("a.png"), linked + QStringLiteral("/a.png"), linked});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QStringList order = PicturesOf(json);
    EXPECT_EQ(order.size(), 6) << json.out.toStdString();
    EXPECT_EQ(order.value(0), Picture("a.png"));
    EXPECT_FALSE(order.contains(linked + QStringLiteral("/a.png")));

    const CliResult search = Run({QStringLiteral("search"), QStringLiteral("--threshold=4"),
                                  linked + QStringLiteral("/a.png"), pictures});
    ASSERT_EQ(search.status, 0) << search.err.toStdString();
    ASSERT_EQ(search.OutLines().size(), 1) << search.out.toStdString();
    EXPECT_TRUE(
        search.OutLines()[0].endsWith(QLatin1Char('\t') + Picture("nested/deeper/a-small.jpg")));
}

TEST_F(CliTest, SettingsAreReadButNeverWritten) {
    // No store: the defaults apply and no store appears.
    const CliResult defaults = Run({QStringLiteral("test"), QStringLiteral("--quiet"), pictures});
    ASSERT_EQ(defaults.status, 0) << defaults.err.toStdString();
    EXPECT_EQ(PairsOf(defaults.OutLines()), NearCopies());
    EXPECT_FALSE(QFileInfo::exists(StoreFile()));

    ProgramSettings stored;
    stored.threshold = 0.0f;
    WriteStore(stored);
    QFile store(StoreFile());
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    const QByteArray before = store.readAll();
    store.close();

    const CliResult strict = Run({QStringLiteral("test"), pictures});
    ASSERT_EQ(strict.status, 0);
    EXPECT_TRUE(strict.out.isEmpty()) << strict.out.toStdString();
    const CliResult overridden =
        Run({QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("4"), pictures});
    ASSERT_EQ(overridden.status, 0);
    EXPECT_EQ(PairsOf(overridden.OutLines()), NearCopies());

    stored.threshold = 4.0f;
    stored.enabledFormats = {false, false, false, true, false};  // PNG alone
    WriteStore(stored);
    const CliResult png = Run({QStringLiteral("test"), QStringLiteral("--json"), pictures});
    ASSERT_EQ(png.status, 0);
    const QStringList order = PicturesOf(png);
    EXPECT_EQ(QSet<QString>(order.cbegin(), order.cend()),
              (QSet<QString>{Picture("a.png"), Picture("nested/B copy.PNG")}));

    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    EXPECT_NE(store.readAll(), before);  // the second store was written by this test
    store.close();
    QFile rewritten(StoreFile());
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    const QByteArray after = rewritten.readAll();
    rewritten.close();
    Run({QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("9"),
         QStringLiteral("--formats"), QStringLiteral("jpg"), pictures});
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    EXPECT_EQ(rewritten.readAll(), after);
}

TEST_F(CliTest, FormatsOptionChoosesWhatIsScanned) {
    // An added format is scanned when named, and left out when the list does not name it.
    ASSERT_TRUE(
        QImageWriter(Picture("nested/c.webp"), "webp").write(test::MakePhotoLike(256, 192, 3)));
    const CliResult added =
        Run({QStringLiteral("test"), QStringLiteral("--json"), QStringLiteral("--formats"),
             QStringLiteral("tif,webp"), pictures});
    ASSERT_EQ(added.status, 0) << added.err.toStdString();
    const QStringList found = PicturesOf(added);
    EXPECT_EQ(QSet<QString>(found.cbegin(), found.cend()),
              (QSet<QString>{Picture("c.tif"), Picture("nested/c.webp")}));

    const CliResult result =
        Run({QStringLiteral("test"), QStringLiteral("--json"), QStringLiteral("--formats"),
             QStringLiteral("png,.JPG"), pictures});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QStringList order = PicturesOf(result);
    EXPECT_EQ(QSet<QString>(order.cbegin(), order.cend()),
              (QSet<QString>{Picture("a.png"), Picture("nested/B copy.PNG"),
                             Picture("nested/deeper/a-small.jpg"), Picture("broken.jpg")}));
}

TEST_F(CliTest, ShapeOnlyComparesShapes) {
    const CliResult json = Run({QStringLiteral("test"), QStringLiteral("--json"),
                                QStringLiteral("--threshold=100"), pictures});
    const CliResult lines = Run({QStringLiteral("test"), QStringLiteral("--shape-only"),
                                 QStringLiteral("--threshold=100"), pictures});
    ASSERT_EQ(lines.status, 0) << lines.err.toStdString();
    const QStringList expected = ExpectedTestLines(PicturesOf(json), 100.0f, true);
    EXPECT_EQ(lines.OutLines(), expected);
    // Shape-only factors differ from the full ones for these pictures.
    EXPECT_NE(lines.OutLines(), ExpectedTestLines(PicturesOf(json), 100.0f));
}

TEST_F(CliTest, TurnedFindsTurnedAndMirroredCopiesAndNamesTheTurn) {
    const QString folder = root.filePath(QStringLiteral("turned"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QImage a = test::MakePhotoLike(320, 240, 1);
    const QImage c = test::MakePhotoLike(256, 192, 3);
    const QString original = folder + QStringLiteral("/a.png");
    const QString right = folder + QStringLiteral("/a-right.png");
    const QString mirrored = folder + QStringLiteral("/c-mirrored.png");
    ASSERT_TRUE(test::WritePicture(a, PictureFormat::Png, original));
    ASSERT_TRUE(
        test::WritePicture(a.transformed(QTransform().rotate(90)), PictureFormat::Png, right));
    ASSERT_TRUE(test::WritePicture(c, PictureFormat::Png, folder + QStringLiteral("/c.png")));
    ASSERT_TRUE(
        test::WritePicture(c.transformed(QTransform().scale(-1, 1)), PictureFormat::Png, mirrored));

    // Without the option neither copy is found, and the lines keep three fields.
    const CliResult plain = Run({QStringLiteral("test"), folder});
    ASSERT_EQ(plain.status, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.out.isEmpty()) << plain.out.toStdString();

    // The turn named is the one that brings the second picture onto the first.
    const auto expectTurnedPairs = [&](const CliResult& result) {
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        const QStringList lines = result.OutLines();
        ASSERT_EQ(lines.size(), 2) << result.out.toStdString();
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            ASSERT_EQ(fields.size(), 4) << line.toStdString();
            if (fields.contains(right)) {
                EXPECT_EQ(fields[3], fields[1] == original ? QStringLiteral("rot270")
                                                           : QStringLiteral("rot90"));
            } else {
                EXPECT_TRUE(fields.contains(mirrored)) << line.toStdString();
                EXPECT_EQ(fields[3], QStringLiteral("flip"));
            }
        }
    };
    expectTurnedPairs(Run({QStringLiteral("test"), QStringLiteral("--turned"), folder}));
    // The stored option counts like the others.
    {
        WriteStore(ProgramSettings{});
        QSettings store(StoreFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("TurnedCopies"), true);
    }
    expectTurnedPairs(Run({QStringLiteral("test"), folder}));

    // A search names how each picture found is turned onto the one searched for.
    const CliResult search = Run({QStringLiteral("search"), right, folder});
    ASSERT_EQ(search.status, 0) << search.err.toStdString();
    ASSERT_EQ(search.OutLines().size(), 1) << search.out.toStdString();
    EXPECT_EQ(search.OutLines()[0].split(QLatin1Char('\t')).mid(1),
              (QStringList{original, QStringLiteral("rot90")}));

    // JSON always names the orientation, "none" when the option is off.
    QFile::remove(StoreFile());
    const CliResult json = Run({QStringLiteral("test"), QStringLiteral("--json"), pictures});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray pairs =
        QJsonDocument::fromJson(json.out).object().value(QStringLiteral("pairs")).toArray();
    ASSERT_FALSE(pairs.isEmpty());
    for (const QJsonValue& pair : pairs) {
        EXPECT_EQ(pair.toObject().value(QStringLiteral("orientation")).toString(),
                  QStringLiteral("none"));
    }
}

TEST_F(CliTest, SummaryAndQuiet) {
    const CliResult loud =
        Run({QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("4"), pictures});
    ASSERT_EQ(loud.status, 0);
    EXPECT_FALSE(loud.err.contains('\r'));  // not a terminal: no progress line
    const QStringList lines = loud.ErrLines();
    ASSERT_EQ(lines.size(), 2) << loud.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("vistrel-cli: warning: ")));
    EXPECT_TRUE(lines[0].contains(Picture("broken.jpg")));
    EXPECT_TRUE(lines[1].contains(QLatin1String("6 pictures (1 unreadable), 2 similar pairs")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QLatin1String(" scan ")));
    EXPECT_TRUE(lines[1].contains(QLatin1String(" comparison ")));

    const CliResult quiet = Run({QStringLiteral("test"), QStringLiteral("--quiet"),
                                 QStringLiteral("--threshold"), QStringLiteral("4"), pictures});
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, loud.out);
    EXPECT_EQ(quiet.ErrLines(), QStringList{lines[0]});
}

TEST_F(CliTest, AnUnknownInstructionSetWarnsOnceAndChangesNoResult) {
    // The workers all ask for their kernels at once; the choice, and its warning, is made once.
    const QStringList arguments{QStringLiteral("test"), QStringLiteral("--workers=4"),
                                QStringLiteral("--threshold=50"), pictures};
    const CliResult plain = Run(arguments);
    ASSERT_EQ(plain.status, 0) << plain.err.toStdString();
    for (const auto& [asked, warnings] :
         {std::pair{"VISTREL_SIMD=avx3", 1}, std::pair{"VISTREL_SIMD=scalar", 0}}) {
        const CliResult run = RunCli(arguments, config, {QLatin1String(asked)});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, plain.out) << asked;
        EXPECT_EQ(run.ErrLines().filter(QLatin1String("VISTREL_SIMD")).size(), warnings)
            << asked << ": " << run.err.toStdString();
    }
}

TEST_F(CliTest, EmptyFolderFindsNothing) {
    const QString empty = root.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    const CliResult result = Run({QStringLiteral("test"), empty});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains("0 pictures")) << result.err.toStdString();
}

TEST_F(CliTest, ReferenceFoldersAndSameFolderLeavePairsOut) {
    // One more near-copy of a beside a-small (both under nested) and one of c beside c.
    const QImage a = test::MakePhotoLike(320, 240, 1);
    ASSERT_TRUE(test::WritePicture(a, PictureFormat::Png, Picture("nested/deeper/a-again.png")));
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(256, 192, 3), PictureFormat::Png,
                                   Picture("c copy.png")));
    const QStringList test = {QStringLiteral("test"), QStringLiteral("--threshold=4")};
    const CliResult full = Run(QStringList(test) << pictures);
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    const auto without = [&full](const QSet<QSet<QString>>& leftOut) {
        QStringList lines;
        for (const QString& line : full.OutLines()) {
            if (!leftOut.contains(PairsOf({line}))) {
                lines.append(line);
            }
        }
        return lines;
    };
    const QSet<QString> nestedPair = {Picture("nested/deeper/a-small.jpg"),
                                      Picture("nested/deeper/a-again.png")};
    const QSet<QString> rootPair = {Picture("c.tif"), Picture("c copy.png")};
    ASSERT_TRUE(PairsOf(full.OutLines()).contains(nestedPair));
    ASSERT_TRUE(PairsOf(full.OutLines()).contains(rootPair));

    // 8 pictures (broken.jpg too), 3 of them under nested: 28 - 3 pairs compared.
    const CliResult reference =
        Run(QStringList(test) << QStringLiteral("--reference") << Picture("nested") << pictures);
    ASSERT_EQ(reference.status, 0) << reference.err.toStdString();
    EXPECT_EQ(reference.OutLines(), without({{nestedPair}}));
    EXPECT_TRUE(reference.err.contains("(25 pairs)")) << reference.err.toStdString();
    // Folders of 5, 1 and 2 pictures: 28 - 10 - 1 pairs compared.
    const CliResult sameFolder =
        Run(QStringList(test) << QStringLiteral("--skip-same-folder") << pictures);
    ASSERT_EQ(sameFolder.status, 0) << sameFolder.err.toStdString();
    EXPECT_EQ(sameFolder.OutLines(), without({{nestedPair}, {rootPair}}));
    EXPECT_TRUE(sameFolder.err.contains("(17 pairs)")) << sameFolder.err.toStdString();

    // A protected picture searched for is compared with the pictures outside only.
    const CliResult search = Run({QStringLiteral("search"), QStringLiteral("--threshold=4"),
                                  QStringLiteral("--reference"), Picture("nested"),
                                  Picture("nested/deeper/a-again.png"), pictures});
    ASSERT_EQ(search.status, 0) << search.err.toStdString();
    ASSERT_EQ(search.OutLines().size(), 1);
    EXPECT_TRUE(search.OutLines()[0].endsWith(QLatin1Char('\t') + Picture("a.png")));

    // A reference folder that does not exist protects nothing: an error, not a silent run.
    const QString missing = root.filePath(QStringLiteral("missing"));
    ExpectOneLineFailure(
        Run(QStringList(test) << QStringLiteral("--reference") << missing << pictures), 2, missing);
}

TEST_F(CliTest, BadCommandLinesAreUsageErrors) {
    const std::map<QString, QStringList> cases = {
        {QStringLiteral("no command"), {}},
        {QStringLiteral("frobnicate"), {QStringLiteral("frobnicate"), pictures}},
        {QStringLiteral("--frobnicate"),
         {QStringLiteral("test"), QStringLiteral("--frobnicate"), pictures}},
        {QStringLiteral("abc"),
         {QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("abc"), pictures}},
        {QStringLiteral("150"),
         {QStringLiteral("test"), QStringLiteral("--threshold=150"), pictures}},
        {QStringLiteral("--workers"),
         {QStringLiteral("test"), QStringLiteral("--workers=0"), pictures}},
        {QStringLiteral("--threshold"),
         {QStringLiteral("test"), pictures, QStringLiteral("--threshold")}},
        {QStringLiteral("jxl"),
         {QStringLiteral("test"), QStringLiteral("--formats"), QStringLiteral("png,jxl"),
          pictures}},
        {QStringLiteral("SOURCE"), {QStringLiteral("test")}},
        {QStringLiteral("PICTURE"), {QStringLiteral("search"), Picture("a.png")}},
        {QStringLiteral("signature"),
         {QStringLiteral("signature"), QStringLiteral("--json"), Picture("a.png")}},
        {QStringLiteral("-x"), {QStringLiteral("test"), QStringLiteral("-x"), pictures}},
        {QStringLiteral("--quiet"),
         {QStringLiteral("test"), QStringLiteral("--quiet=yes"), pictures}},
        {QStringLiteral("--turned"),
         {QStringLiteral("search"), QStringLiteral("--turned=yes"), Picture("a.png"), pictures}},
        {QStringLiteral("--null"),
         {QStringLiteral("test"), QStringLiteral("--null"), QStringLiteral("--json"), pictures}},
        {QStringLiteral("cache needs"), {QStringLiteral("cache")}},
        {QStringLiteral("exactly one"),
         {QStringLiteral("cache"), QStringLiteral("--stats"), QStringLiteral("--clear")}},
        {QStringLiteral("no SOURCE"),
         {QStringLiteral("cache"), QStringLiteral("--prune"), pictures}},
        {QStringLiteral("cache takes no option"),
         {QStringLiteral("cache"), QStringLiteral("--stats"), QStringLiteral("--no-cache")}},
        {QStringLiteral("belong to the cache"),
         {QStringLiteral("test"), QStringLiteral("--prune"), pictures}},
    };
    for (const auto& [culprit, arguments] : cases) {
        SCOPED_TRACE(culprit.toStdString());
        ExpectOneLineFailure(Run(arguments), 1, culprit);
    }
}

TEST_F(CliTest, UnreadableSourcesAndPicturesAreStatusTwo) {
    const QString missing = root.filePath(QStringLiteral("missing"));
    ExpectOneLineFailure(Run({QStringLiteral("test"), pictures, missing}), 2, missing);
    ExpectOneLineFailure(Run({QStringLiteral("search"), missing, pictures}), 2, missing);
    ExpectOneLineFailure(Run({QStringLiteral("search"), Picture("broken.jpg"), Picture("c.tif")}),
                         2, Picture("broken.jpg"));
    ExpectOneLineFailure(Run({QStringLiteral("signature"), Picture("broken.jpg")}), 2,
                         Picture("broken.jpg"));
    ExpectOneLineFailure(Run({QStringLiteral("signature"), missing}), 2, missing);
    ExpectOneLineFailure(Run({QStringLiteral("signature"), pictures}), 2, pictures);

    const QString damaged = root.filePath(QStringLiteral("damaged.qrx"));
    // Five entries declared, and the first path longer than what follows it.
    QByteArray cutShort;
    for (const char16_t unit : u"5\n40\n/pictures/a") {
        if (unit != 0) {
            cutShort.append(static_cast<char>(unit & 0xff)).append(static_cast<char>(unit >> 8));
        }
    }
    ASSERT_TRUE(test::WriteBytes(damaged, cutShort));
    ExpectOneLineFailure(Run({QStringLiteral("test"), damaged}), 2, damaged);

    // The line says why the save failed, after the name of the file it tried to write.
    const QString unwritable = root.filePath(QStringLiteral("no/such/folder/out"));
    const CliResult unsaved = Run({QStringLiteral("test"), QStringLiteral("--save"), unwritable,
                                   QStringLiteral("--quiet"), Picture("a.png")});
    ExpectOneLineFailure(unsaved, 2, unwritable);
    EXPECT_TRUE(
        unsaved.err.contains(QFile::encodeName(unwritable) + ".qrx': " + std::strerror(ENOENT)))
        << unsaved.err.toStdString();
}

TEST_F(CliTest, FolderThatCannotBeListedIsStatusTwo) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, whom permissions do not stop";
    }
    const QString locked = root.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    ExpectOneLineFailure(Run({QStringLiteral("test"), locked}), 2, locked);
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A save onto a really full disk: a small file system of its own, mounted in a private mount
// namespace, filled up after the earlier repository file was put there. The save must fail with
// the system's reason and leave that file exactly as it was.
TEST_F(CliTest, SaveOntoAFullDiskKeepsTheEarlierFile) {
    const QString earlier = root.filePath(QStringLiteral("earlier.qrx"));
    ASSERT_EQ(Run({QStringLiteral("test"), QStringLiteral("--quiet"), QStringLiteral("--save"),
                   earlier, pictures})
                  .status,
              0);
    const QString disk = root.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 77\n"
        "cp \"$2\" \"$1/set.qrx\" && { cat /dev/zero > \"$1/fill\"; } 2>/dev/null\n"
        "XDG_CONFIG_HOME=\"$5\" XDG_CACHE_HOME=\"$5/cache\" \"$3\" test --quiet --save \"$1/set\" "
        "\"$4\" >/dev/null\n"
        "echo \"status $?\"\n"
        "cmp -s \"$2\" \"$1/set.qrx\" && echo same\n");
    QProcess shell;
    shell.start(
        QStringLiteral("unshare"),
        {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"), script,
         QStringLiteral("sh"), disk, earlier, QStringLiteral(VISTREL_CLI_PATH), pictures, config});
    ASSERT_TRUE(shell.waitForFinished(60000));
    const QByteArray out = shell.readAllStandardOutput();
    const QByteArray err = shell.readAllStandardError();
    if (shell.exitCode() == 77 || !out.contains("status")) {
        GTEST_SKIP() << "no private mount namespace with a small file system here: "
                     << err.toStdString();
    }
    EXPECT_TRUE(out.contains("status 2\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("same\n")) << out.toStdString();
    EXPECT_TRUE(err.contains(std::strerror(ENOSPC))) << err.toStdString();
}

TEST_F(CliTest, CacheKeepsSignaturesUnlessNoCacheAndPrunesGoneFiles) {
    const QStringList arguments = {QStringLiteral("test"), QStringLiteral("--quiet"), pictures};
    const CliResult uncached = Run(QStringList(arguments) << QStringLiteral("--no-cache"));
    ASSERT_EQ(uncached.status, 0) << uncached.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(CacheFile()));
    EXPECT_FALSE(QFileInfo::exists(test::CacheHome(config)));

    const CliResult cached = Run(arguments);
    ASSERT_EQ(cached.status, 0) << cached.err.toStdString();
    EXPECT_EQ(cached.out, uncached.out);
    std::map<QString, QString> stats = CacheStats();
    EXPECT_EQ(stats[QStringLiteral("entries")], QString::number(ScannablePictures().size()));
    EXPECT_EQ(stats[QStringLiteral("unreadable")], QStringLiteral("1"));
    EXPECT_EQ(stats[QStringLiteral("database")], CacheFile());
    EXPECT_NE(stats[QStringLiteral("oldest entry")], QStringLiteral("none"));
    // A second run over the kept signatures gives the same lines.
    EXPECT_EQ(Run(arguments).out, cached.out);

    ASSERT_TRUE(QFile::remove(Picture("c.tif")));
    const CliResult pruned = Run({QStringLiteral("cache"), QStringLiteral("--prune")});
    EXPECT_EQ(pruned.status, 0) << pruned.err.toStdString();
    EXPECT_EQ(pruned.out, QByteArray("dropped: 1\n"));
    EXPECT_EQ(CacheStats()[QStringLiteral("entries")],
              QString::number(ScannablePictures().size() - 1));

    const CliResult cleared = Run({QStringLiteral("cache"), QStringLiteral("--clear")});
    EXPECT_EQ(cleared.status, 0) << cleared.err.toStdString();
    stats = CacheStats();
    EXPECT_EQ(stats[QStringLiteral("entries")], QStringLiteral("0"));
    EXPECT_EQ(stats[QStringLiteral("oldest entry")], QStringLiteral("none"));
}

// A run on a cache disk filled up to the last block afterwards: `cache --clear` still gives the
// cache's space back, and says how much.
TEST_F(CliTest, ClearGivesTheSpaceOfACacheOnAFullDiskBack) {
    const auto result =
        RunOnSmallDisk(QStringLiteral("4m"),
                       QStringLiteral("export XDG_CONFIG_HOME=\"$4\" XDG_CACHE_HOME=\"$1/cache\"\n"
                                      "\"$2\" test --quiet \"$3\" >/dev/null; echo \"test $?\"\n"
                                      "{ cat /dev/zero > \"$1/fill\"; } 2>/dev/null\n"
                                      "\"$2\" cache --clear; echo \"clear $?\"\n"
                                      "ls \"$1/cache/vistrel\"\n"));
    if (!result) {
        GTEST_SKIP() << "no private mount namespace with a small file system here";
    }
    const auto& [out, err] = *result;
    EXPECT_TRUE(out.contains("test 0\n")) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains("clear 0\n")) << out.toStdString() << err.toStdString();
    EXPECT_FALSE(out.contains("signatures.sqlite-wal")) << out.toStdString();
    EXPECT_TRUE(err.contains("the signature cache is empty;")) << err.toStdString();
    EXPECT_FALSE(err.contains("; 0 bytes freed")) << err.toStdString();
}

// A cache folder on a file system mounted read-only is reported as such.
TEST_F(CliTest, AReadOnlyCacheFolderIsReportedWithItsReason) {
    const auto result = RunOnSmallDisk(
        QStringLiteral("1m"),
        QStringLiteral("mkdir -p -m 700 \"$1/cache/vistrel\" && mount -o remount,ro \"$1\" || "
                       "exit 77\n"
                       "XDG_CONFIG_HOME=\"$4\" XDG_CACHE_HOME=\"$1/cache\" \"$2\" cache --stats\n"
                       "echo \"status $?\"\n"));
    if (!result) {
        GTEST_SKIP() << "no private mount namespace with a file system to make read-only here";
    }
    const auto& [out, err] = *result;
    EXPECT_TRUE(out.contains("status 2\n")) << out.toStdString();
    EXPECT_TRUE(err.contains(std::strerror(EROFS))) << err.toStdString();
}

// Runs at once open, fill and read one cache, while this process stores the same pictures and
// reads them back: nobody waits in vain, takes the database for damaged, or reads other bytes.
TEST_F(CliTest, RunsAtOnceShareOneCache) {
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 3; ++i) {
        runs.push_back(StartCli(
            {QStringLiteral("test"), QStringLiteral("--threshold"), QStringLiteral("4"), pictures},
            config));
        ASSERT_NE(runs.back(), nullptr);
    }
    std::vector<std::pair<QString, SignatureBytes>> made;
    for (const QString& path : ScannablePictures()) {
        made.emplace_back(path, SignatureBytes(ComputeSignature(path, CPictureRepository::kSide)));
    }
    SignatureCache cache(CacheFile());
    ASSERT_TRUE(cache.IsOpen()) << cache.Problem().toStdString();
    const auto running = [&] {
        return std::any_of(runs.begin(), runs.end(), [](const auto& run) {
            run->waitForFinished(0);
            return run->state() != QProcess::NotRunning;
        });
    };
    for (int round = 0; round < 5 || (running() && round < 1000); ++round) {
        for (const auto& [path, signature] : made) {
            cache.Store(*SignatureCache::KeyOf(path), path, CPictureRepository::kSide, signature);
        }
        cache.Flush();
        for (const auto& [path, signature] : made) {
            const std::optional<SignatureBytes> found =
                cache.Find(*SignatureCache::KeyOf(path), CPictureRepository::kSide);
            ASSERT_TRUE(found.has_value()) << round << ' ' << path.toStdString();
            EXPECT_TRUE(*found == signature) << path.toStdString();
        }
    }
    EXPECT_TRUE(cache.Problem().isEmpty()) << cache.Problem().toStdString();

    std::vector<CliResult> results;
    for (const auto& run : runs) {
        results.push_back(test::FinishCli(*run));
        EXPECT_EQ(results.back().status, 0) << results.back().err.toStdString();
        EXPECT_FALSE(results.back().err.contains("signature cache"))
            << results.back().err.toStdString();
        EXPECT_EQ(results.back().out, results.front().out);
    }
    EXPECT_EQ(PairsOf(results.front().OutLines()), NearCopies());
    EXPECT_TRUE(QDir(QFileInfo(CacheFile()).absolutePath())
                    .entryList({QStringLiteral("*damaged*")})
                    .isEmpty());
    std::map<QString, QString> stats = CacheStats();
    EXPECT_EQ(stats[QStringLiteral("entries")], QString::number(ScannablePictures().size()));
    EXPECT_EQ(stats[QStringLiteral("unreadable")], QStringLiteral("1"));
}

// A mark follows the pictures' content: it holds under another name and lapses once a picture
// of the pair changes.
TEST_F(CliTest, AMarkedPairStaysOutAfterARenameAndComesBackWhenAPictureChanges) {
    const QStringList test = {QStringLiteral("test"), pictures};
    const QSet<QString> small = {Picture("nested/deeper/a-small.jpg")};
    ASSERT_EQ(PairsOf(Run(test).OutLines()), NearCopies());
    const CliResult marked = Run({QStringLiteral("marks"), QStringLiteral("--add"),
                                  Picture("nested/deeper/a-small.jpg"), Picture("a.png")});
    ASSERT_EQ(marked.status, 0) << marked.err.toStdString();

    ASSERT_TRUE(QFile::rename(Picture("a.png"), Picture("renamed.png")));
    const CliResult renamed = Run(test);
    EXPECT_EQ(renamed.status, 0) << renamed.err.toStdString();
    const QSet<QString> copiesOfB = {Picture("b.bmp"), Picture("nested/B copy.PNG")};
    EXPECT_EQ(PairsOf(renamed.OutLines()), QSet<QSet<QString>>{copiesOfB});
    EXPECT_TRUE(renamed.err.contains("1 marked pairs left out")) << renamed.err.toStdString();
    const QSet<QSet<QString>> all = {small + QSet<QString>{Picture("renamed.png")}, copiesOfB};
    EXPECT_EQ(PairsOf(Run(QStringList(test) << QStringLiteral("--include-marked")).OutLines()),
              all);

    // A few pixels changed: still a near-copy, but no longer the picture marked.
    QImage changed = test::MakePhotoLike(320, 240, 1);
    changed.setPixelColor(5, 5, Qt::white);
    ASSERT_TRUE(test::WritePicture(changed, PictureFormat::Png, Picture("renamed.png")));
    const CliResult back = Run(test);
    EXPECT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_EQ(PairsOf(back.OutLines()), all) << back.out.toStdString();
    EXPECT_FALSE(back.err.contains("marked")) << back.err.toStdString();
}

TEST_F(CliTest, SignatureWritesTheEngineSignature) {
    for (const char* name : {"a.png", "b.bmp", "c.tif", "nested/deeper/a-small.jpg"}) {
        SCOPED_TRACE(name);
        const CliResult result = Run({QStringLiteral("signature"), Picture(name)});
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        EXPECT_TRUE(result.err.isEmpty());
        const std::vector<std::uint8_t> expected =
            ComputeSignature(Picture(name), CPictureRepository::kSide);
        ASSERT_EQ(expected.size(), kSignatureSize);
        ASSERT_EQ(static_cast<std::size_t>(result.out.size()), kSignatureSize);
        EXPECT_TRUE(std::equal(expected.cbegin(), expected.cend(),
                               reinterpret_cast<const std::uint8_t*>(result.out.constData())));
    }
}

TEST_F(CliTest, VersionAndHelp) {
    const CliResult version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("vistrel-cli ") + kVistrelVersion + '\n');
    const CliResult help = Run({QStringLiteral("test"), QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: vistrel-cli test"));
    EXPECT_TRUE(help.err.isEmpty());
}

}  // namespace
}  // namespace vistrel
