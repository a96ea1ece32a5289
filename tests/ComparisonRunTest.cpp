// Similarity runs of a whole repository and of one picture, on one or many workers.

#include "SignatureBuilders.h"
#include "TestSizes.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/SimdLevel.h"
#include "comparison/run/ComparisonCollector.h"
#include "repository/PictureRepository.h"
#include "settings/ComparisonOptions.h"
#include "signature/AreaResampler.h"
#include "support/TestPictures.h"

#include <QDataStream>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <thread>
#include <tuple>

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using AllLinks = std::vector<std::vector<CSimilarInfo>>;

// Near-copies in groups: entry i looks like the base picture of group i % groups, plus noise of
// up to `noise` per byte, so that pairs fall on both sides of moderate thresholds.
std::vector<std::uint8_t> GroupedSignature(int entry, int groups, int noise) {
    std::mt19937 base(static_cast<std::uint32_t>(entry % groups) + 1);
    std::mt19937 grain(static_cast<std::uint32_t>(entry) + 1000);
    std::vector<std::uint8_t> signature(test::kSignatureBytes);
    for (auto& byte : signature) {
        const int value = static_cast<int>(base() % 200) + 20 +
                          static_cast<int>(grain() % (2 * noise + 1)) - noise;
        byte = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
    }
    return signature;
}

class ComparisonRunTest : public testing::Test {
protected:
    // Entries for paths that do not exist, given signatures directly: no files needed.
    void AddEntries(int count, int groups, int noise) {
        for (int i = 0; i < count; ++i) {
            repository.AddPicture(QStringLiteral("/nowhere/%1.png").arg(i));
            CPictureInfo& entry = repository.GetPicture(i);
            entry.signature = SignatureBytes(GroupedSignature(i, groups, noise));
            entry.loadError = false;
        }
    }

    // Runs to the end in `mode`, as the progress dialog does; returns false when it did not end
    // in time.
    bool Run(float threshold, std::int32_t target, int workers) {
        auto notices = std::make_shared<NoticeQueue>();
        ComparisonCollector collector(repository, notices);
        std::int32_t started = 0;
        std::uint64_t pairs = 0;
        EXPECT_TRUE(repository.StartComparison(notices, kComparisonNoticeMessage,
                                               {threshold, mode.shapeOnly, mode.findTurnedCopies},
                                               &started, target, &pairs, workers));
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!collector.Collect(started)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            notices->WaitForNotice(50ms);
        }
        repository.StopComparison();
        collector.Close();
        EXPECT_EQ(collector.PairsDone(), pairs);
        return true;
    }

    AllLinks Links() const {
        AllLinks links;
        for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
            links.push_back(repository.GetPicture(i).similar);
        }
        return links;
    }

    // The links one worker walking the first `pairCount` pairs of the whole-repository order
    // would leave, computed here directly; with `turned`, over every orientation of the
    // second picture of each pair.
    AllLinks ReferenceLinks(float threshold, std::uint64_t pairCount, bool shapeOnly,
                            bool turned = false) const {
        AllLinks links(static_cast<std::size_t>(repository.GetCount()));
        std::uint64_t k = 0;
        for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
            for (std::int32_t j = i + 1; j < repository.GetCount() && k < pairCount; ++j, ++k) {
                AddReferenceLink(links, i, j, threshold, shapeOnly, turned);
            }
        }
        return links;
    }

    // The links a plain search for entry `target` would leave, computed here directly.
    AllLinks ReferenceSearchLinks(float threshold, std::int32_t target, bool shapeOnly,
                                  bool turned = false) const {
        AllLinks links(static_cast<std::size_t>(repository.GetCount()));
        for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
            if (i != target) {
                AddReferenceLink(links, i, target, threshold, shapeOnly, turned);
            }
        }
        return links;
    }

    // The links of the pair of entries a and b (its first and second picture) when similar.
    void AddReferenceLink(AllLinks& links, std::int32_t a, std::int32_t b, float threshold,
                          bool shapeOnly, bool turned) const {
        const std::uint8_t* signatureA = repository.GetPicture(a).signature.data();
        const std::uint8_t* signatureB = repository.GetPicture(b).signature.data();
        Orientation orientation = Orientation::None;
        float factor = 0.0f;
        if (turned) {
            // Eight orientations cost eight plain factors: each pair's is worked out once.
            const auto key = std::make_tuple(a, b, shapeOnly);
            const auto known = turnedFactors.find(key);
            if (known == turnedFactors.end()) {
                factor = ComputeTurnedDifferenceReference(signatureA, signatureB, test::kSide,
                                                          shapeOnly, orientation);
                turnedFactors.emplace(key, std::make_pair(factor, orientation));
            } else {
                std::tie(factor, orientation) = known->second;
            }
        } else {
            factor = ComputeDifferenceReference(signatureA, signatureB, test::kSide, shapeOnly);
        }
        if (IsSimilarFactor(factor, threshold / 2)) {
            const auto truncated = static_cast<std::int32_t>(factor);
            links[static_cast<std::size_t>(b)].push_back({a, truncated, Inverse(orientation)});
            links[static_cast<std::size_t>(a)].push_back({b, truncated, orientation});
        }
    }

    CPictureRepository repository;
    // The shape-only and turned options of Run (its threshold is Run's own).
    ComparisonOptions mode;
    // The turned factors of pairs (first, second, shape only) the reference has worked out.
    mutable std::map<std::tuple<std::int32_t, std::int32_t, bool>, std::pair<float, Orientation>>
        turnedFactors;
};

// Photo-like signatures in groups of near-copies: each base picture, then copies brightened,
// grained and tinted by growing amounts, so that factors spread over the whole useful range.
void AddPhotoLikeEntries(CPictureRepository& repository, int bases, int copiesPerBase) {
    std::mt19937 random(77);
    for (int base = 0; base < bases; ++base) {
        const QImage photo = test::MakePhotoLike(120, 90, static_cast<std::uint32_t>(base) + 1);
        for (int copy = 0; copy < copiesPerBase; ++copy) {
            QImage variant = photo.copy();
            for (int y = 0; y < variant.height(); ++y) {
                uchar* row = variant.scanLine(y);
                for (int x = 0; x < 3 * variant.width(); ++x) {
                    const int shift = copy * (x % 3 == 0 ? 3 : 1) +
                                      static_cast<int>(random() % (2 * copy + 1)) - copy;
                    row[x] = static_cast<uchar>(std::clamp(row[x] + shift, 0, 255));
                }
            }
            const std::int32_t index = repository.GetCount();
            repository.AddPicture(QStringLiteral("/nowhere/%1-%2.png").arg(base).arg(copy));
            CPictureInfo& entry = repository.GetPicture(index);
            entry.signature = SignatureBytes(ResampleToSignature(variant, test::kSide));
            entry.loadError = false;
        }
    }
}

TEST_F(ComparisonRunTest, ThreeEntriesWithOneSimilarPair) {
    AddEntries(3, 3, 0);
    repository.GetPicture(2).signature = repository.GetPicture(0).signature;
    repository.ClearModified();
    ASSERT_TRUE(Run(4.0f, -1, 1));
    EXPECT_EQ(Links(), (AllLinks{{{2, 0}}, {}, {{0, 0}}}));
    EXPECT_FALSE(repository.IsModified());
    EXPECT_FALSE(repository.IsComparing());
}

TEST_F(ComparisonRunTest, SameLinksWithOneTwoAndEightWorkers) {
    const int count = test::TestSize(150, 40);
    AddEntries(count, 12, 12);
    for (const bool shapeOnly : {false, true}) {
        mode.shapeOnly = shapeOnly;
        const AllLinks expected = ReferenceLinks(6.0f, UINT64_MAX, shapeOnly);
        for (const int workers : {1, 2, 8}) {
            ASSERT_TRUE(Run(6.0f, -1, workers));
            EXPECT_EQ(Links(), expected) << workers << " workers, shape only " << shapeOnly;
        }
    }
    // The expectation is not trivial: some pairs are similar and most are not.
    EXPECT_TRUE(repository.HasSimilar());
    EXPECT_LT(ReferenceLinks(6.0f, UINT64_MAX, false)[0].size(),
              static_cast<std::size_t>(count - 1));
}

TEST_F(ComparisonRunTest, RecordObserverSeesEveryPairInOrderWithItsFactor) {
    const auto count = static_cast<std::size_t>(test::TestSize(60, 30));
    AddEntries(static_cast<int>(count), 6, 8);
    struct Expected {
        std::int32_t a, b;
        float factor;
    };
    std::vector<Expected> expected;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        for (std::int32_t j = i + 1; j < repository.GetCount(); ++j) {
            const float factor = ComputeDifferenceReference(
                repository.GetPicture(j).signature.data(),
                repository.GetPicture(i).signature.data(), test::kSide, false);
            if (IsSimilarFactor(factor, 3.0f)) {
                expected.push_back({i, j, factor});
            }
        }
    }
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), count * (count - 1) / 2);

    auto notices = std::make_shared<NoticeQueue>();
    ComparisonCollector collector(repository, notices);
    std::vector<PairInfo> seen;
    collector.SetRecordObserver([&](const PairInfo& record) { seen.push_back(record); });
    std::int32_t started = 0;
    std::uint64_t pairs = 0;
    ASSERT_TRUE(repository.StartComparison(notices, kComparisonNoticeMessage, {.threshold = 6.0f},
                                           &started, -1, &pairs, 4));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!collector.Collect(started) && std::chrono::steady_clock::now() < deadline) {
        notices->WaitForNotice(50ms);
    }
    repository.StopComparison();
    collector.Close();

    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].indexA, expected[k].a) << k;
        EXPECT_EQ(seen[k].indexB, expected[k].b) << k;
        EXPECT_FLOAT_EQ(seen[k].factor, expected[k].factor) << k;
    }
    // The observer changes nothing the collector records.
    EXPECT_EQ(Links(), ReferenceLinks(6.0f, UINT64_MAX, false));
}

TEST_F(ComparisonRunTest, PrunedRunsGiveExactlyTheLinksOfThePlainWalk) {
    // Whatever the bounds skip, the links, their factors and their order must be those of the
    // plain reference walk, in both modes and from strict to lax thresholds.
    // So with every instruction set this processor has.
    AddPhotoLikeEntries(repository, test::TestSize(40, 8), 5);
    const auto count = static_cast<std::size_t>(repository.GetCount());
    for (const bool shapeOnly : {false, true}) {
        mode.shapeOnly = shapeOnly;
        for (const float threshold : {1.0f, 4.0f, 10.0f, 50.0f, 99.0f}) {
            const AllLinks expected = ReferenceLinks(threshold, UINT64_MAX, shapeOnly);
            for (const SimdLevel level : AvailableSimdLevels()) {
                const ScopedSimdLevel forced(level);
                ASSERT_TRUE(Run(threshold, -1, 2));
                EXPECT_EQ(Links(), expected) << "threshold " << threshold << ", shape only "
                                             << shapeOnly << ", " << SimdLevelName(level);
            }
        }
    }
    mode.shapeOnly = false;
    // Not trivial: at 10 some pairs are similar and most are not.
    ASSERT_TRUE(Run(10.0f, -1, 2));
    std::size_t links = 0;
    for (const auto& list : Links()) {
        links += list.size();
    }
    EXPECT_GT(links, 0u);
    EXPECT_LT(links, count * (count - 1) / 2);
}

TEST_F(ComparisonRunTest, CorpusSignaturesGiveExactlyTheLinksOfThePlainWalk) {
    // Signatures of real photographs, read from the cache that
    // `vistrel_corpus_run FOLDER --signatures CACHE` writes (path and bytes per entry); set
    // VISTREL_CORPUS_SIGNATURES to that file to run this.
    const char* cache = std::getenv("VISTREL_CORPUS_SIGNATURES");
    if (cache == nullptr) {
        GTEST_SKIP() << "VISTREL_CORPUS_SIGNATURES names no signature cache";
    }
    QFile file(QString::fromLocal8Bit(cache));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << cache;
    QDataStream in(&file);
    while (!in.atEnd() && repository.GetCount() < 300) {
        QString path;
        QByteArray bytes;
        in >> path >> bytes;
        if (bytes.size() != static_cast<qsizetype>(test::kSignatureBytes)) {
            continue;  // an unreadable picture
        }
        const std::int32_t index = repository.GetCount();
        repository.AddPicture(QStringLiteral("/nowhere/") + path);
        repository.GetPicture(index).signature =
            SignatureBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        repository.GetPicture(index).loadError = false;
    }
    ASSERT_EQ(repository.GetCount(), 300);
    for (const bool shapeOnly : {false, true}) {
        mode.shapeOnly = shapeOnly;
        for (const float threshold : {1.0f, 4.0f, 10.0f, 50.0f, 99.0f}) {
            const AllLinks expected = ReferenceLinks(threshold, UINT64_MAX, shapeOnly);
            for (const SimdLevel level : AvailableSimdLevels()) {
                const ScopedSimdLevel forced(level);
                ASSERT_TRUE(Run(threshold, -1, 2));
                EXPECT_EQ(Links(), expected) << "threshold " << threshold << ", shape only "
                                             << shapeOnly << ", " << SimdLevelName(level);
            }
            std::size_t links = 0;
            for (const auto& list : expected) {
                links += list.size();
            }
            std::cout << "threshold " << threshold << (shapeOnly ? ", shape only: " : ": ")
                      << links / 2 << " similar pairs\n";
        }
    }
}

TEST_F(ComparisonRunTest, PrunedSearchGivesExactlyThePlainSearch) {
    AddPhotoLikeEntries(repository, 30, 5);
    for (const float threshold : {4.0f, 10.0f, 50.0f}) {
        const std::int32_t target = 52;
        ASSERT_TRUE(Run(threshold, target, 2));
        EXPECT_EQ(Links(), ReferenceSearchLinks(threshold, target, false))
            << "threshold " << threshold;
    }
}

TEST_F(ComparisonRunTest, TurnedRunsGiveExactlyTheLinksOfThePlainWalkOverEveryOrientation) {
    // Photo-like groups, and copies of some of them turned or mirrored in each of the seven
    // other ways, some grained: every bound is taken per orientation, so both modes, both
    // kinds of run and any number of workers must give the plain walk's links, factors and
    // orientations.
    AddPhotoLikeEntries(repository, test::TestSize(20, 6), 5);
    const std::int32_t originals = repository.GetCount();
    std::mt19937 grain(5);
    for (int k = 0; k < test::TestSize(30, 14); ++k) {
        const std::int32_t source = (k * 11) % originals;
        std::vector<std::uint8_t> turned(test::kSignatureBytes);
        OrientSignature(repository.GetPicture(source).signature.data(), turned.data(), test::kSide,
                        static_cast<Orientation>(k % 7 + 1));
        for (auto& byte : turned) {
            byte = static_cast<std::uint8_t>(std::clamp(
                static_cast<int>(byte) + static_cast<int>(grain() % (2 * (k % 3) + 1)) - k % 3, 0,
                255));
        }
        const std::int32_t index = repository.GetCount();
        repository.AddPicture(QStringLiteral("/nowhere/turned-%1.png").arg(k));
        repository.GetPicture(index).signature = SignatureBytes(std::move(turned));
        repository.GetPicture(index).loadError = false;
    }
    mode.findTurnedCopies = true;
    for (const bool shapeOnly : {false, true}) {
        mode.shapeOnly = shapeOnly;
        for (const float threshold : {4.0f, 10.0f, 50.0f}) {
            const AllLinks expected = ReferenceLinks(threshold, UINT64_MAX, shapeOnly, true);
            for (const int workers : {1, 2, 5}) {
                ASSERT_TRUE(Run(threshold, -1, workers));
                EXPECT_EQ(Links(), expected) << "threshold " << threshold << ", shape only "
                                             << shapeOnly << ", " << workers << " workers";
            }
            for (const std::int32_t target : {3, originals + 2}) {
                ASSERT_TRUE(Run(threshold, target, 2));
                EXPECT_EQ(Links(), ReferenceSearchLinks(threshold, target, shapeOnly, true))
                    << "search " << target << ", threshold " << threshold << ", shape only "
                    << shapeOnly;
            }
        }
    }
    // Not trivial: the turned copies are found, in orientations other than as stored.
    mode.shapeOnly = false;
    std::size_t turnedLinks = 0;
    for (const auto& list : ReferenceLinks(10.0f, UINT64_MAX, false, true)) {
        turnedLinks += static_cast<std::size_t>(std::count_if(
            list.begin(), list.end(),
            [](const CSimilarInfo& link) { return link.orientation != Orientation::None; }));
    }
    EXPECT_GE(turnedLinks, static_cast<std::size_t>(2 * test::TestSize(30, 14)));
    // Every SIMD level agrees.
    for (const SimdLevel level : AvailableSimdLevels()) {
        const ScopedSimdLevel forced(level);
        ASSERT_TRUE(Run(10.0f, -1, 2));
        EXPECT_EQ(Links(), ReferenceLinks(10.0f, UINT64_MAX, false, true)) << SimdLevelName(level);
    }
}

TEST_F(ComparisonRunTest, AnyStoredThresholdGivesExactlyTheLinksOfThePlainWalk) {
    // The threshold is read from the stored settings as any float at all: runs must agree with
    // the plain walk for every one (nothing similar for NaN or below 0, everything for huge
    // values), in both modes, for the whole repository and for one picture.
    AddPhotoLikeEntries(repository, test::TestSize(12, 4), 5);
    const auto count = static_cast<std::size_t>(repository.GetCount());
    repository.GetPicture(7).signature = repository.GetPicture(3).signature;  // factor 0
    const float thresholds[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                -5.0f,
                                1e9f,
                                1e20f,
                                std::numeric_limits<float>::max()};
    for (const bool shapeOnly : {false, true}) {
        mode.shapeOnly = shapeOnly;
        for (const float threshold : thresholds) {
            ASSERT_TRUE(Run(threshold, -1, 2));
            EXPECT_EQ(Links(), ReferenceLinks(threshold, UINT64_MAX, shapeOnly))
                << "threshold " << threshold << ", shape only " << shapeOnly;
            ASSERT_TRUE(Run(threshold, 17, 2));
            EXPECT_EQ(Links(), ReferenceSearchLinks(threshold, 17, shapeOnly))
                << "search, threshold " << threshold << ", shape only " << shapeOnly;
        }
    }
    // Not trivial: a huge threshold links every pair, NaN none, not even the identical one.
    EXPECT_EQ(ReferenceLinks(1e20f, UINT64_MAX, false)[0].size(), count - 1);
    EXPECT_TRUE(
        ReferenceLinks(std::numeric_limits<float>::quiet_NaN(), UINT64_MAX, false)[3].empty());
}

TEST_F(ComparisonRunTest, SearchReplacesTheLinksOfATest) {
    AddEntries(30, 5, 10);
    ASSERT_TRUE(Run(8.0f, -1, 2));
    ASSERT_TRUE(repository.HasSimilar());
    ASSERT_TRUE(Run(8.0f, 7, 8));
    // Only the target and the entries like it have links; the target's list is in index order.
    const AllLinks links = Links();
    std::vector<std::int32_t> partners;
    for (const CSimilarInfo& link : links[7]) {
        partners.push_back(link.index);
    }
    EXPECT_EQ(partners, (std::vector<std::int32_t>{2, 12, 17, 22, 27}));
    for (std::int32_t i = 0; i < 30; ++i) {
        if (i != 7) {
            EXPECT_EQ(links[i].size(), i % 5 == 2 ? 1u : 0u) << i;
        }
    }
}

TEST_F(ComparisonRunTest, StopKeepsExactlyTheLinksOfAnUnbrokenPrefix) {
    AddEntries(400, 40, 8);
    auto notices = std::make_shared<NoticeQueue>();
    ComparisonCollector collector(repository, notices);
    std::int32_t started = 0;
    std::uint64_t pairs = 0;
    ASSERT_TRUE(repository.StartComparison(notices, kComparisonNoticeMessage, {.threshold = 6.0f},
                                           &started, -1, &pairs, 8));
    // Let the workers get going, then stop in the middle of the run.
    while (collector.PairsDone() < pairs / 20) {
        notices->WaitForNotice(10ms);
        collector.Collect(started);
    }
    repository.StopComparison();
    collector.Close();
    ASSERT_LT(collector.PairsRecorded(), pairs);
    EXPECT_EQ(Links(), ReferenceLinks(6.0f, collector.PairsRecorded(), false));
}

TEST_F(ComparisonRunTest, ThresholdZeroLinksNothing) {
    AddEntries(10, 2, 0);
    ASSERT_TRUE(Run(0.0f, -1, 2));
    EXPECT_FALSE(repository.HasSimilar());
}

TEST_F(ComparisonRunTest, EntriesWithoutSignatureGetNoLinks) {
    AddEntries(6, 1, 0);
    repository.GetPicture(1).signature = SignatureBytes();
    repository.GetPicture(1).loadError = true;
    repository.GetPicture(4).loadError = true;  // marked unreadable, though it kept a signature
    ASSERT_TRUE(Run(4.0f, -1, 2));
    EXPECT_TRUE(Links()[1].empty());
    EXPECT_TRUE(Links()[4].empty());
    EXPECT_EQ(Links()[0].size(), 3u);
}

TEST_F(ComparisonRunTest, FewerThanTwoEntriesStartNothingButEmptyTheLists) {
    AddEntries(1, 1, 0);
    repository.GetPicture(0).similar.push_back({0, 1});
    std::int32_t started = -1;
    std::uint64_t pairs = 99;
    EXPECT_TRUE(repository.StartComparison(std::make_shared<NoticeQueue>(),
                                           kComparisonNoticeMessage, {.threshold = 4.0f}, &started,
                                           -1, &pairs));
    EXPECT_EQ(started, -1);
    EXPECT_EQ(pairs, 99u);
    EXPECT_FALSE(repository.HasSimilar());
    EXPECT_FALSE(repository.IsComparing());
    repository.StopComparison();
    repository.StopComparison();
}

TEST(WorkerThread, AbandonsAThreadThatDoesNotEndInTime) {
    auto release = std::make_shared<std::atomic<bool>>(false);
    WorkerThread slow([release] {
        while (!release->load()) {
            std::this_thread::sleep_for(1ms);
        }
    });
    EXPECT_FALSE(slow.WaitUntil(std::chrono::steady_clock::now() + 20ms));
    release->store(true);  // the abandoned thread ends on its own state
    WorkerThread quick([] {});
    EXPECT_TRUE(quick.WaitUntil(std::chrono::steady_clock::now() + 10s));
}

}  // namespace
}  // namespace vistrel
