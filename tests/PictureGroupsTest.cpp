// Keep One of Each Group in the engine: the groups of linked entries, the choice of the picture
// to keep under each rule, and what the command moves and leaves.

#include "cleanup/BestCopy.h"
#include "cleanup/GroupCleanup.h"
#include "cleanup/KeepCheck.h"
#include "cleanup/KeepFacts.h"
#include "cleanup/KeepPlan.h"
#include "cleanup/PictureGroups.h"
#include "repository/PictureRepository.h"
#include "support/TestPictures.h"

#include <QTemporaryDir>

#include <turbojpeg.h>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

void Link(CPictureRepository& repository, int a, int b, float factor = 1.0f) {
    repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, a, b, factor});
}

// A planned file as it is now.
PlannedFile Planned(const QString& path) {
    return PlannedFile{path, ReadFileIdentity(path)};
}

KeepPlan Plan(const QString& kept, const QStringList& copies) {
    KeepPlan plan{Planned(kept), {}};
    for (const QString& copy : copies) {
        plan.copies.push_back(Planned(copy));
    }
    return plan;
}

// Entries for `count` paths under `folder`, without signatures (as unreadable pictures are).
void AddEntries(CPictureRepository& repository, const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        repository.AddSignedPicture(folder + QStringLiteral("/%1.jpg").arg(i), SignatureBytes());
    }
}

KeepCandidate Candidate(const QString& path, std::int64_t pixels, std::int64_t bytes,
                        int modifiedDay, bool exists = true) {
    KeepCandidate candidate;
    candidate.path = path;
    candidate.facts.exists = exists;
    if (exists) {
        candidate.facts.size = QSize(static_cast<int>(pixels), 1);
        candidate.facts.fileBytes = bytes;
        candidate.facts.modified = QDateTime(QDate(2020, 1, 1).addDays(modifiedDay), QTime(12, 0));
    }
    return candidate;
}

TEST(PictureGroupsTest, GroupsAreTheLinkedSetsInOrderOfTheirFirstEntry) {
    CPictureRepository repository;
    AddEntries(repository, QStringLiteral("/nowhere"), 10);
    // {0, 3, 5, 8} through a chain that reaches back, {1, 6}, {4, 7}; 2 and 9 have no links.
    Link(repository, 5, 8);
    Link(repository, 3, 5);
    Link(repository, 1, 6);
    Link(repository, 7, 4);
    Link(repository, 0, 8);
    Link(repository, 0, 3);  // a second path inside the same group
    const std::vector<PictureGroup> expected{{0, 3, 5, 8}, {1, 6}, {4, 7}};
    EXPECT_EQ(ListPictureGroups(repository), expected);

    // Entries that cannot be read still belong to their groups.
    EXPECT_TRUE(repository.GetPicture(0).loadError);
    CPictureRepository unlinked;
    AddEntries(unlinked, QStringLiteral("/nowhere"), 3);
    EXPECT_TRUE(ListPictureGroups(unlinked).empty());
}

TEST(PictureGroupsTest, EachRuleChoosesItsPictureAndTiesGoToTheBetterCopy) {
    const std::vector<KeepCandidate> group{
        Candidate(QStringLiteral("/p/aaaa.jpg"), 100, 500, 5),
        Candidate(QStringLiteral("/p/bbbbbb.jpg"), 400, 300, 2),
        Candidate(QStringLiteral("/p/c.jpg"), 200, 900, 9),
        Candidate(QStringLiteral("/p/dd.jpg"), 400, 900, 2),
    };
    // Ties go to the better copy: more pixels, else the shorter name.
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::MostPixels), 3u);   // 1 and 3 tie
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::LargestFile), 3u);  // 2 and 3 tie
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::Oldest), 3u);       // 1 and 3 tie
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::Newest), 2u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::ShortestPath), 2u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::BestCopy), 3u);

    const std::vector<KeepCandidate> same{Candidate(QStringLiteral("/p/x.jpg"), 7, 7, 7),
                                          Candidate(QStringLiteral("/p/y.jpg"), 7, 7, 7)};
    for (const KeepRule rule : {KeepRule::MostPixels, KeepRule::LargestFile, KeepRule::Oldest,
                                KeepRule::Newest, KeepRule::ShortestPath, KeepRule::BestCopy}) {
        EXPECT_EQ(ChooseKeptPicture(same, rule), 0u);
    }
}

// A grey picture whose detail falls as 1 / frequency, as a photograph's does: random fields of
// every scale from the whole picture to a pixel, each weighing its scale.
QImage NaturalPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(0, 255);
    QImage sum(width, height, QImage::Format_Grayscale8);
    std::vector<double> values(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int cells = 2; cells <= width; cells *= 2) {
        QImage field(cells, cells * height / width + 1, QImage::Format_Grayscale8);
        for (int y = 0; y < field.height(); ++y) {
            for (int x = 0; x < field.width(); ++x) {
                field.scanLine(y)[x] = static_cast<uchar>(level(random));
            }
        }
        const QImage smooth =
            field.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                values[static_cast<std::size_t>(y * width + x)] +=
                    (smooth.constScanLine(y)[x] - 127.5) * 0.3;
            }
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            sum.scanLine(y)[x] = static_cast<uchar>(
                std::clamp(128 + values[static_cast<std::size_t>(y * width + x)], 0.0, 255.0));
        }
    }
    return sum;
}

TEST(PictureGroupsTest, AnEnlargementLosesToItsOriginalAndAGenuineLargerPictureWins) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Scaled down from a larger picture, the small and the large hold all the detail their sizes
    // allow; the enlarged is the small one scaled up to the large one's size.
    const QImage photo = NaturalPicture(1600, 1200, 7);
    const QImage small = photo.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString smallPath = folder.filePath(QStringLiteral("a.png"));
    const QString largePath = folder.filePath(QStringLiteral("b.png"));
    const QString enlargedPath = folder.filePath(QStringLiteral("c.png"));
    ASSERT_TRUE(small.save(smallPath));
    ASSERT_TRUE(
        photo.scaled(800, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(largePath));
    ASSERT_TRUE(
        small.scaled(800, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(enlargedPath));
    const auto group = [](const QStringList& paths) {
        std::vector<PictureFacts> facts = ReadKeepFacts(paths);
        std::vector<KeepCandidate> candidates;
        for (std::size_t i = 0; i < facts.size(); ++i) {
            candidates.push_back(KeepCandidate{paths[static_cast<qsizetype>(i)], facts[i], false});
        }
        return candidates;
    };
    const std::vector<KeepCandidate> withEnlargement = group({smallPath, enlargedPath});
    const std::vector<KeepCandidate> withLarger = group({smallPath, largePath});
    EXPECT_EQ(withEnlargement[1].facts.enlargementOf, QStringList{smallPath});
    EXPECT_TRUE(withLarger[1].facts.enlargementOf.isEmpty());
    EXPECT_EQ(ChooseKeptPicture(withEnlargement, KeepRule::BestCopy), 0u);
    EXPECT_EQ(ChooseKeptPicture(withLarger, KeepRule::BestCopy), 1u);
    // Most pixels keeps its meaning.
    EXPECT_EQ(ChooseKeptPicture(withEnlargement, KeepRule::MostPixels), 1u);
}

TEST(PictureGroupsTest, TheCamerasFormatAndAPlainNameWinTies) {
    // A PNG re-save of the JPEG, listed first and the larger file.
    std::vector<KeepCandidate> formats{Candidate(QStringLiteral("/p/a.png"), 100, 900, 1),
                                       Candidate(QStringLiteral("/p/photo.jpg"), 100, 300, 1)};
    formats[0].facts.format = "png";
    formats[1].facts.format = "jpeg";
    std::vector<KeepCandidate> unrelated = formats;
    MarkResaves(formats, {{}, {NearCopy{0, Orientation::None}}});
    MarkResaves(unrelated, {{}, {}});
    EXPECT_TRUE(formats[0].resave);
    EXPECT_FALSE(unrelated[0].resave);
    EXPECT_EQ(ChooseKeptPicture(formats, KeepRule::BestCopy), 1u);
    EXPECT_EQ(ChooseKeptPicture(formats, KeepRule::MostPixels), 1u);

    const std::vector<KeepCandidate> named{
        Candidate(QStringLiteral("/p/b (1).jpg"), 100, 300, 1),
        Candidate(QStringLiteral("/p/IMG_0001 Kopie.jpg"), 100, 300, 1),
        Candidate(QStringLiteral("/p/IMG_0001.jpg"), 100, 300, 1),
    };
    EXPECT_EQ(ChooseKeptPicture(named, KeepRule::BestCopy), 2u);
    EXPECT_EQ(ChooseKeptPicture(named, KeepRule::Oldest), 2u);
    for (const char* name : {"x-1.jpg", "Copy of x.jpg", "x_edited.JPG", "x copie.png"}) {
        EXPECT_TRUE(NameMarksCopy(QStringLiteral("/p/") + QLatin1String(name))) << name;
    }
    for (const char* name : {"DSC-1234.jpg", "copyright.jpg", "photo-2523.JPG", "x(1)/y.jpg"}) {
        EXPECT_FALSE(NameMarksCopy(QStringLiteral("/p/") + QLatin1String(name))) << name;
    }
}

// A JPEG with an Exif block naming the camera ("Canon", "EOS"); `ifdOffset` 8 is where the
// block's first directory is, anything else a damaged block.
QByteArray JpegWithCamera(quint32 ifdOffset) {
    const QByteArray jpeg = test::EncodeJpeg(test::MakePhotoLike(64, 48, 3), TJSAMP_420);
    QByteArray tiff("II*\0", 4);
    const auto u16 = [&tiff](quint16 value) {
        tiff.append(char(value & 0xff)).append(char(value >> 8));
    };
    const auto u32 = [&u16](quint32 value) {
        u16(quint16(value & 0xffff));
        u16(quint16(value >> 16));
    };
    u32(ifdOffset);
    u16(2);
    u16(0x010f);  // Make, ASCII, 6 bytes after the directory
    u16(2);
    u32(6);
    u32(8 + 2 + 2 * 12 + 4);
    u16(0x0110);  // Model, ASCII, 4 bytes in place
    u16(2);
    u32(4);
    tiff.append("EOS\0", 4);
    u32(0);
    tiff.append("Canon\0", 6);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const auto length = static_cast<quint16>(payload.size() + 2);
    QByteArray segment("\xff\xe1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(payload);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

TEST(PictureGroupsTest, ThePictureWithTheCamerasDataIsKept) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QStringList paths{
        folder.filePath(QStringLiteral("a.jpg")), folder.filePath(QStringLiteral("b.jpg")),
        folder.filePath(QStringLiteral("c.jpg")), folder.filePath(QStringLiteral("d.jpg"))};
    ASSERT_TRUE(
        test::WriteBytes(paths[0], test::EncodeJpeg(test::MakePhotoLike(64, 48, 3), TJSAMP_420)));
    ASSERT_TRUE(test::WriteBytes(paths[1], JpegWithCamera(8)));
    ASSERT_TRUE(test::WriteBytes(paths[2], JpegWithCamera(0xfffff000)));
    ASSERT_TRUE(test::WriteBytes(paths[3], QByteArray("\xff\xd8\xff\xe1\xff\xff"
                                                      "Exif",
                                                      10)));
    const std::vector<PictureFacts> facts = ReadKeepFacts(paths);
    ASSERT_EQ(facts.size(), 4u);
    EXPECT_FALSE(facts[0].camera.Present());
    EXPECT_EQ(facts[1].camera.make, QStringLiteral("Canon"));
    EXPECT_EQ(facts[1].camera.model, QStringLiteral("EOS"));
    // A damaged Exif block, or a file that is no picture, gives no data and no failure.
    EXPECT_FALSE(facts[2].camera.Present());
    EXPECT_FALSE(facts[3].camera.Present());
    EXPECT_FALSE(ReadCameraData(folder.filePath(QStringLiteral("missing.jpg"))).Present());
    std::vector<KeepCandidate> group;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        group.push_back(KeepCandidate{paths[static_cast<qsizetype>(i)], facts[i], false});
    }
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::BestCopy), 1u);
}

TEST(PictureGroupsTest, APictureWhoseFileIsGoneIsNeverKeptWhileAnotherExists) {
    // The first entry is gone: it would win every rule by its path and by being first.
    const std::vector<KeepCandidate> group{
        Candidate(QStringLiteral("/a"), 0, 0, 0, /*exists=*/false),
        Candidate(QStringLiteral("/p/long/b.jpg"), 0, 0, 3),
        Candidate(QStringLiteral("/p/c.jpg"), 0, 0, 4),
    };
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::MostPixels), 1u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::LargestFile), 1u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::Oldest), 1u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::Newest), 2u);
    EXPECT_EQ(ChooseKeptPicture(group, KeepRule::ShortestPath), 2u);
    const std::vector<KeepCandidate> allGone{Candidate(QStringLiteral("/x"), 0, 0, 0, false),
                                             Candidate(QStringLiteral("/y"), 0, 0, 0, false)};
    EXPECT_EQ(ChooseKeptPicture(allGone, KeepRule::MostPixels), 0u);

    // A file overwritten since the test (no header now), or one the test could not decode, is
    // never kept while a readable copy exists, though it is the largest and newest.
    std::vector<KeepCandidate> unreadable{Candidate(QStringLiteral("/u"), 0, 900, 9),
                                          Candidate(QStringLiteral("/r.jpg"), 10, 10, 1),
                                          Candidate(QStringLiteral("/d.jpg"), 10, 800, 8)};
    unreadable[0].facts.size = QSize();
    unreadable[2].loadError = true;
    for (const KeepRule rule : {KeepRule::MostPixels, KeepRule::LargestFile, KeepRule::Oldest,
                                KeepRule::Newest, KeepRule::ShortestPath, KeepRule::BestCopy}) {
        EXPECT_EQ(ChooseKeptPicture(unreadable, rule), 1u);
    }
}

TEST(PictureGroupsTest, OnlyNearCopiesOfThePictureKeptGoWhateverTheThreshold) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CPictureRepository repository;
    AddEntries(repository, folder.path(), 4);
    std::vector<KeepCandidate> group;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(test::WriteBytes(repository.GetPicture(i).path, QByteArray("bytes")));
        group.push_back(Candidate(repository.GetPicture(i).path, 10, 10, i));
    }
    // A lax test chains 0 - 1 (a near-copy) to 2 and 3 (only alike: factors 15 and 9).
    Link(repository, 0, 1, 1.0f);
    Link(repository, 1, 2, 15.0f);
    Link(repository, 2, 3, 9.0f);
    ASSERT_EQ(ListPictureGroups(repository).size(), 1u);
    const auto nearCopies = ListNearCopies(repository, {0, 1, 2, 3}, false);
    using Actions = std::vector<KeepAction>;
    EXPECT_EQ(DecideGroup(group, nearCopies, 0),
              (Actions{KeepAction::Keep, KeepAction::Trash, KeepAction::Stay, KeepAction::Stay}));
    // Keeping 2 moves nothing on its own; what the user ticks goes.
    EXPECT_EQ(DecideGroup(group, nearCopies, 2),
              (Actions{KeepAction::Stay, KeepAction::Stay, KeepAction::Keep, KeepAction::Stay}));
    EXPECT_FALSE(MakeKeepPlan(group, nearCopies, DecideGroup(group, nearCopies, 2)));
    const std::vector<bool> ticked{false, false, false, true};
    const auto plan =
        MakeKeepPlan(group, nearCopies, DecideGroup(group, nearCopies, 2, ticked), ticked);
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->copies.size(), 1u);
    EXPECT_EQ(plan->copies[0].path, group[3].path);
    EXPECT_TRUE(plan->copies[0].byHand);

    // The kept file under a second path (a link) is the picture kept: it never goes.
    const QString link = folder.filePath(QStringLiteral("link.jpg"));
    ASSERT_TRUE(QFile::link(group[0].path, link));
    group[1] = Candidate(link, 10, 10, 1);
    group[0].facts.identity = ReadFileIdentity(group[0].path);
    group[1].facts.identity = ReadFileIdentity(link);
    EXPECT_EQ(DecideGroup(group, nearCopies, 0)[1], KeepAction::Stay);
}

TEST(PictureGroupsTest, KeepOneMovesTheOthersAndLeavesAGroupWhoseKeptPictureIsGone) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CPictureRepository repository;
    AddEntries(repository, folder.path(), 9);
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(test::WriteBytes(repository.GetPicture(i).path, QByteArray("bytes")));
    }
    const auto path = [&repository](int i) { return repository.GetPicture(i).path; };
    const QString p0 = path(0), p1 = path(1), p2 = path(2), p3 = path(3), p4 = path(4),
                  p5 = path(5), p6 = path(6), p7 = path(7), p8 = path(8);
    // Groups {0, 2, 4} (keep 2), {1, 5} (keep 5; its file vanishes), {3, 6, 8} (keep 8;
    // the trash refuses 3); 7 has no links.
    Link(repository, 0, 2);
    Link(repository, 2, 4);
    Link(repository, 1, 5);
    Link(repository, 3, 6);
    Link(repository, 6, 8);
    Link(repository, 3, 8);
    QStringList asked;
    const auto trash = [&asked, &p3](const QString& file) {
        asked.append(file);
        return file != p3;
    };

    const std::vector<KeepPlan> plans{Plan(p2, {p0, p4}), Plan(p5, {p1}), Plan(p8, {p3, p6})};
    ASSERT_TRUE(QFile::remove(p5));
    const KeepOutcome outcome = TrashAllButKept(repository, plans, trash);

    EXPECT_EQ(asked, (QStringList{p0, p4, p3, p6}));
    EXPECT_EQ(outcome.moved, (QStringList{p0, p4, p6}));
    EXPECT_EQ(outcome.notMoved, QStringList{p3});
    EXPECT_EQ(outcome.keptGone, QStringList{p5});
    EXPECT_EQ(repository.Paths(), (QStringList{p1, p2, p3, p5, p7, p8}));
    // The links between the pictures that stay are kept, renumbered.
    using Links = std::vector<CSimilarInfo>;
    EXPECT_EQ(repository.GetPicture(0).similar, (Links{{3, 1}}));  // 1 - 5
    EXPECT_TRUE(repository.GetPicture(1).similar.empty());         // 2 lost 0 and 4
    EXPECT_EQ(repository.GetPicture(2).similar, (Links{{5, 1}}));  // 3 - 8
    EXPECT_EQ(repository.GetPicture(5).similar, (Links{{2, 1}}));
    EXPECT_EQ(repository.FindPicture(p8), 5);
}

TEST(PictureGroupsTest, APlanIsCheckedAgainstTheFilesAsTheyAreNow) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto path = [&folder](const char* name) { return folder.filePath(QLatin1String(name)); };
    const QImage photo = test::MakePhotoLike(120, 90, 1);
    for (const char* name : {"kept.png", "copy.png", "stale.png", "replaced.png", "b.png"}) {
        ASSERT_TRUE(test::WritePicture(photo, test::PictureFormat::Png, path(name)));
    }
    // Links from before "stale.png" was rewritten as another photo with its time put back.
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(120, 90, 2), test::PictureFormat::Png,
                                   path("stale.png")));
    std::vector<KeepPlan> plans{Plan(path("kept.png"), {path("copy.png"), path("stale.png")}),
                                Plan(path("replaced.png"), {path("b.png")})};
    const KeepCheck check = CheckKeepPlans(plans, false);
    ASSERT_EQ(check.plans.size(), 2u);
    ASSERT_EQ(check.plans[0].copies.size(), 1u);
    EXPECT_EQ(check.plans[0].copies[0].path, path("copy.png"));
    EXPECT_EQ(check.notCopies, QStringList{path("stale.png")});

    // Between the check and the move, another picture is put over a kept one: its group stays.
    CPictureRepository repository;
    for (const char* name : {"kept.png", "copy.png", "replaced.png", "b.png"}) {
        repository.AddSignedPicture(path(name), SignatureBytes());
    }
    ASSERT_TRUE(QFile::remove(path("replaced.png")));
    ASSERT_TRUE(QFile::copy(path("stale.png"), path("replaced.png")));
    QStringList moved;
    const KeepOutcome outcome =
        TrashAllButKept(repository, check.plans, [&moved](const QString& file) {
            moved.append(file);
            return true;
        });
    EXPECT_EQ(moved, QStringList{path("copy.png")});
    EXPECT_EQ(outcome.keptGone, QStringList{path("replaced.png")});
}

TEST(PictureGroupsTest, RemovingManyEntriesAtOnceEqualsRemovingThemOneByOne) {
    CPictureRepository atOnce;
    CPictureRepository oneByOne;
    for (CPictureRepository* repository : {&atOnce, &oneByOne}) {
        AddEntries(*repository, QStringLiteral("/nowhere"), 12);
        for (int i = 0; i < 12; ++i) {
            for (int j = i + 1; j < 12; j += 1 + i % 4) {
                Link(*repository, i, j);
            }
        }
    }
    atOnce.RemovePictures({9, 0, 4, 9, 5, 11, 40, -1});
    for (const int index : {11, 9, 5, 4, 0}) {
        oneByOne.RemovePictureAt(index);
    }
    ASSERT_EQ(atOnce.Paths(), oneByOne.Paths());
    for (int i = 0; i < atOnce.GetCount(); ++i) {
        EXPECT_EQ(atOnce.GetPicture(i).similar, oneByOne.GetPicture(i).similar) << i;
        EXPECT_EQ(atOnce.FindPicture(atOnce.GetPicture(i).path), i);
    }
    EXPECT_EQ(atOnce.FindPicture(QStringLiteral("/nowhere/0.jpg")), -1);
    EXPECT_TRUE(atOnce.IsModified());
}

}  // namespace
}  // namespace vistrel
