// Similarity runs of a whole repository and of one picture, on one or many workers.

#include "SignatureBuilders.h"
#include "TestSizes.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/SimdLevel.h"
#include "repository/PictureRepository.h"
#include "run/ComparisonRun.h"
#include "signature/AreaResampler.h"
#include "signature/SignatureStore.h"
#include "support/StoreFile.h"
#include "support/TestPictures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <string_view>
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

    // Sees what a run reports; asks it to stop once a `stopDivisor`-th of its pairs is walked.
    class Observer : public ComparisonObserver {
    public:
        void Report(const ProgressReport& report) override { latest = report; }
        bool StopRequested() const override {
            return stopDivisor > 0 && latest.done >= latest.total / stopDivisor;
        }
        void PairFound(const PairInfo& pair) override { found.push_back(pair); }

        std::uint64_t stopDivisor = 0;
        ProgressReport latest;
        std::vector<PairInfo> found;
    };

    // Runs to the end (or to the stop the observer asks for) with `options`, as the progress
    // dialog does; false when it could not start.
    bool Run(float threshold, std::int32_t target, int workers) {
        options.threshold = threshold;
        options.target = target;
        options.workers = workers;
        observer.found.clear();
        ComparisonRun run(repository, options, &observer);
        const bool started = run.Run();
        EXPECT_FALSE(run.IsComparing());
        if (observer.stopDivisor == 0) {
            EXPECT_EQ(run.PairsDone(), run.Pairs());
        }
        pairs = run.Pairs();
        pairsRecorded = run.PairsRecorded();
        comparisons = run.Comparisons();
        return started;
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

    // ReferenceLinks of the whole order, worked out once per set of entries for all tests: the
    // tests at each instruction set level have the same entries, and the walk costs far more
    // than the run.
    AllLinks ExpectedLinks(float threshold, bool shapeOnly, bool turned = false) const {
        static std::map<std::tuple<std::size_t, float, bool, bool>, AllLinks> known;
        std::size_t entries = 0;
        for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
            const SignatureBytes& signature = repository.GetPicture(i).signature;
            entries = entries * 31 +
                      std::hash<std::string_view>()(std::string_view(
                          reinterpret_cast<const char*>(signature.data()), signature.size()));
        }
        const auto key = std::make_tuple(entries, threshold, shapeOnly, turned);
        auto found = known.find(key);
        if (found == known.end()) {
            found =
                known.emplace(key, ReferenceLinks(threshold, UINT64_MAX, shapeOnly, turned)).first;
        }
        return found->second;
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

    // Photo-like groups, and copies of some of them turned or mirrored in each of the seven
    // other ways, some grained. Returns the number of entries before the copies.
    std::int32_t AddTurnedCopies();

    CPictureRepository repository;
    ComparisonOptions options;
    Observer observer;
    std::uint64_t pairs = 0;          ///< pairs of the last run
    std::uint64_t pairsRecorded = 0;  ///< pairs of the last run whose links were recorded
    std::uint64_t comparisons = 0;    ///< pairs the last run handed to the pair decision
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

// The entries of AddPhotoLikeEntries, spread over the folders /pictures/f0 ... so that some runs
// of entries share a folder and near-copies lie both in one folder and apart. Returns the folder
// of each entry.
std::vector<int> AddPhotoLikeEntriesInFolders(CPictureRepository& repository, int folders) {
    CPictureRepository made;
    AddPhotoLikeEntries(made, test::TestSize(16, 6), 5);
    std::vector<int> folderOf;
    for (std::int32_t i = 0; i < made.GetCount(); ++i) {
        folderOf.push_back((i / 3 + i % 2) % folders);
        repository.AddPicture(QStringLiteral("/pictures/f%1/%2.png").arg(folderOf.back()).arg(i));
        repository.GetPicture(i).signature = made.GetPicture(i).signature;
        repository.GetPicture(i).loadError = false;
    }
    return folderOf;
}

// What a run found, comparable as a whole.
using FoundPairs = std::vector<std::tuple<std::int32_t, std::int32_t, float, Orientation>>;

FoundPairs Found(const std::vector<PairInfo>& found) {
    FoundPairs pairs;
    for (const PairInfo& pair : found) {
        pairs.emplace_back(pair.indexA, pair.indexB, pair.factor, pair.orientation);
    }
    return pairs;
}

std::int32_t ComparisonRunTest::AddTurnedCopies() {
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
    return originals;
}

// The same runs with the kernels of one instruction set level forced; a level this processor
// lacks is reported as skipped.
class ComparisonRunAtLevel : public ComparisonRunTest,
                             public testing::WithParamInterface<SimdLevel> {
protected:
    void SetUp() override {
        if (!ProcessorHas(GetParam())) {
            GTEST_SKIP() << "this processor lacks " << SimdLevelName(GetParam());
        }
        forced.emplace(GetParam());
    }

    std::optional<ScopedSimdLevel> forced;
};

INSTANTIATE_TEST_SUITE_P(, ComparisonRunAtLevel,
                         testing::Values(SimdLevel::kScalar, SimdLevel::kAvx2, SimdLevel::kAvxVnni,
                                         SimdLevel::kAvx512),
                         [](const testing::TestParamInfo<SimdLevel>& level) {
                             return std::string(SimdLevelName(level.param));
                         });

TEST_F(ComparisonRunTest, ThreeEntriesWithOneSimilarPair) {
    AddEntries(3, 3, 0);
    repository.GetPicture(2).signature = repository.GetPicture(0).signature;
    repository.ClearModified();
    ASSERT_TRUE(Run(4.0f, -1, 1));
    EXPECT_EQ(Links(), (AllLinks{{{2, 0}}, {}, {{0, 0}}}));
    EXPECT_FALSE(repository.IsModified());
}

TEST_F(ComparisonRunTest, SignaturesInTheirStoreFileGiveTheLinksOfTheSignaturesAdded) {
    const QTemporaryDir folder;
    // Parts of two signatures each: the signatures lie in many mappings of the file.
    repository.UseSignatureStore(
        std::make_shared<SignatureStore>(folder.path(), 2 * test::kSignatureBytes));
    const int count = test::TestSize(150, 40);
    for (int i = 0; i < count; ++i) {
        repository.AddSignedPicture(QStringLiteral("/nowhere/%1.png").arg(i),
                                    SignatureBytes(GroupedSignature(i, 12, 12)));
    }
    EXPECT_TRUE(repository.Store()->Warning().isEmpty());
    for (int i = 0; i < count; ++i) {
        const SignatureBytes& kept = repository.GetPicture(i).signature;
        ASSERT_TRUE(kept.InStore());
        ASSERT_TRUE(kept == GroupedSignature(i, 12, 12)) << i;
    }
    ASSERT_TRUE(Run(6.0f, -1, 2));
    EXPECT_EQ(Links(), ReferenceLinks(6.0f, UINT64_MAX, false));
}

TEST_F(ComparisonRunTest, ASignatureChangedInItsStoreFileStopsTheRunWithAFault) {
    const QTemporaryDir folder;
    repository.UseSignatureStore(std::make_shared<SignatureStore>(folder.path()));
    for (const QString& path :
         {QStringLiteral("/nowhere/a.png"), QStringLiteral("/nowhere/b.png")}) {
        repository.AddSignedPicture(path, SignatureBytes(GroupedSignature(0, 1, 0)));
    }
    // Another program of the user's writes into the file.
    const std::uint8_t changed = repository.GetPicture(1).signature[0] ^ 1;
    const int descriptor = test::StoreDescriptor(folder.path());
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(pwrite(descriptor, &changed, 1,
                     repository.GetPicture(1).signature.data() -
                         repository.GetPicture(0).signature.data()),
              1);
    ASSERT_EQ(repository.GetPicture(1).signature[0], changed);  // the mapping shows it
    ComparisonRun run(repository, options);
    run.Run();
    EXPECT_FALSE(run.Fault().isEmpty());
    EXPECT_TRUE(repository.GetPicture(0).similar.empty());
}

TEST_F(ComparisonRunTest, SameLinksWithOneTwoAndEightWorkers) {
    const int count = test::TestSize(150, 40);
    AddEntries(count, 12, 12);
    for (const bool shapeOnly : {false, true}) {
        options.shapeOnly = shapeOnly;
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

    ASSERT_TRUE(Run(6.0f, -1, 4));
    const std::vector<PairInfo>& seen = observer.found;
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].indexA, expected[k].a) << k;
        EXPECT_EQ(seen[k].indexB, expected[k].b) << k;
        EXPECT_FLOAT_EQ(seen[k].factor, expected[k].factor) << k;
    }
    // The observer changes nothing the run records.
    EXPECT_EQ(Links(), ReferenceLinks(6.0f, UINT64_MAX, false));
}

TEST_P(ComparisonRunAtLevel, PrunedRunsGiveExactlyTheLinksOfThePlainWalk) {
    // Whatever the bounds skip, the links, their factors and their order must be those of the
    // plain reference walk, in both modes and from strict to lax thresholds.
    AddPhotoLikeEntries(repository, test::TestSize(40, 8), 5);
    const auto count = static_cast<std::size_t>(repository.GetCount());
    for (const bool shapeOnly : {false, true}) {
        options.shapeOnly = shapeOnly;
        for (const float threshold : {1.0f, 4.0f, 10.0f, 50.0f, 99.0f}) {
            ASSERT_TRUE(Run(threshold, -1, 2));
            EXPECT_EQ(Links(), ExpectedLinks(threshold, shapeOnly))
                << "threshold " << threshold << ", shape only " << shapeOnly;
        }
    }
    options.shapeOnly = false;
    // Not trivial: at 10 some pairs are similar and most are not.
    ASSERT_TRUE(Run(10.0f, -1, 2));
    std::size_t links = 0;
    for (const auto& list : Links()) {
        links += list.size();
    }
    EXPECT_GT(links, 0u);
    EXPECT_LT(links, count * (count - 1) / 2);
}

TEST_P(ComparisonRunAtLevel, PairsOfTwoProtectedPicturesAreNeverCompared) {
    // Pictures in f0 and f2 are protected, those in f1 and f3 new: every pair with a new
    // picture must be found exactly as the full run finds it, and no other pair be compared,
    // whichever way the pairs are walked (by rows, columns or blocks, turned, a search) and
    // whatever the candidates come from (cubes of channel totals, or keys in shape-only runs).
    const std::vector<int> folderOf = AddPhotoLikeEntriesInFolders(repository, 4);
    const auto count = static_cast<std::int32_t>(folderOf.size());
    const auto isNew = [&folderOf](std::int32_t i) {
        return folderOf[static_cast<std::size_t>(i)] % 2 == 1;
    };
    const ReferenceFolders reference(
        {QStringLiteral("/pictures/f0"), QStringLiteral("/pictures/f2/")});
    std::uint64_t pairsWithANewPicture = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        for (std::int32_t j = i + 1; j < count; ++j) {
            pairsWithANewPicture += isNew(i) || isNew(j) ? 1 : 0;
        }
    }
    const std::int32_t protectedTarget = 12;
    ASSERT_FALSE(isNew(protectedTarget));
    std::uint64_t newPictures = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        newPictures += isNew(i) ? 1 : 0;
    }
    std::size_t similarLeftOut = 0;
    for (const auto& [turned, shapeOnly] :
         {std::pair{false, false}, {true, false}, {false, true}}) {
        options.findTurnedCopies = turned;
        options.shapeOnly = shapeOnly;
        for (const float threshold : {4.0f, 50.0f, 1e9f}) {
            for (const std::int32_t target : {-1, protectedTarget}) {
                options.reference = ReferenceFolders();
                ASSERT_TRUE(Run(threshold, target, 2));
                FoundPairs expected;
                for (const auto& pair : Found(observer.found)) {
                    if (isNew(std::get<0>(pair)) || isNew(std::get<1>(pair))) {
                        expected.push_back(pair);
                    }
                }
                similarLeftOut += observer.found.size() - expected.size();
                options.reference = reference;
                ASSERT_TRUE(Run(threshold, target, 2));
                const std::string run = "threshold " + std::to_string(threshold) + ", turned " +
                                        std::to_string(turned) + ", shape only " +
                                        std::to_string(shapeOnly) + ", target " +
                                        std::to_string(target);
                EXPECT_EQ(Found(observer.found), expected) << run;
                const std::uint64_t expectedPairs = target < 0 ? pairsWithANewPicture : newPictures;
                EXPECT_EQ(pairs, expectedPairs) << run;
                EXPECT_EQ(observer.latest.total, expectedPairs) << run;
                // The sketches settle no pair at so lax a threshold: every pair compared is one
                // the run counts, and none more.
                if (threshold > 1e8f) {
                    EXPECT_EQ(comparisons, expectedPairs) << run;
                } else {
                    EXPECT_LE(comparisons, expectedPairs) << run;
                }
            }
        }
    }
    // Not trivial: similar pairs of two protected pictures exist and are left out.
    EXPECT_GT(similarLeftOut, 0u);
}

TEST_F(ComparisonRunTest, PairsInOneFolderAreNotComparedWhenAsked) {
    // The run with the option must find exactly the full run's pairs across folders; with a
    // reference folder too, exactly those that also hold a new picture.
    const std::vector<int> folderOf = AddPhotoLikeEntriesInFolders(repository, 3);
    const auto count = static_cast<std::int32_t>(folderOf.size());
    const auto folder = [&folderOf](std::int32_t i) {
        return folderOf[static_cast<std::size_t>(i)];
    };
    std::size_t similarLeftOut = 0;
    for (const bool withReference : {false, true}) {
        const auto compared = [&](std::int32_t i, std::int32_t j) {
            return folder(i) != folder(j) && (!withReference || folder(i) == 1 || folder(j) == 1);
        };
        std::uint64_t comparedPairs = 0;
        for (std::int32_t i = 0; i < count; ++i) {
            for (std::int32_t j = i + 1; j < count; ++j) {
                comparedPairs += compared(i, j) ? 1 : 0;
            }
        }
        for (const float threshold : {4.0f, 50.0f, 1e9f}) {
            options.skipSameFolder = false;
            options.reference = ReferenceFolders();
            ASSERT_TRUE(Run(threshold, -1, 2));
            FoundPairs expected;
            for (const auto& pair : Found(observer.found)) {
                if (compared(std::get<0>(pair), std::get<1>(pair))) {
                    expected.push_back(pair);
                }
            }
            similarLeftOut += observer.found.size() - expected.size();
            options.skipSameFolder = true;
            if (withReference) {
                options.reference = ReferenceFolders(
                    {QStringLiteral("/pictures/f0"), QStringLiteral("/pictures/f2")});
            }
            ASSERT_TRUE(Run(threshold, -1, 2));
            EXPECT_EQ(Found(observer.found), expected) << threshold << " " << withReference;
            EXPECT_EQ(pairs, comparedPairs) << threshold << " " << withReference;
            if (threshold > 1e8f) {
                EXPECT_EQ(comparisons, comparedPairs) << withReference;
            }
        }
    }
    EXPECT_GT(similarLeftOut, 0u);
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
    // Every bound is taken per orientation, so both modes, both kinds of run and any number of
    // workers must give the plain walk's links, factors and orientations.
    const std::int32_t originals = AddTurnedCopies();
    options.findTurnedCopies = true;
    for (const bool shapeOnly : {false, true}) {
        options.shapeOnly = shapeOnly;
        for (const float threshold : {4.0f, 10.0f, 50.0f}) {
            const AllLinks expected = ExpectedLinks(threshold, shapeOnly, true);
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
    std::size_t turnedLinks = 0;
    for (const auto& list : ReferenceLinks(10.0f, UINT64_MAX, false, true)) {
        turnedLinks += static_cast<std::size_t>(std::count_if(
            list.begin(), list.end(),
            [](const CSimilarInfo& link) { return link.orientation != Orientation::None; }));
    }
    EXPECT_GE(turnedLinks, static_cast<std::size_t>(2 * test::TestSize(30, 14)));
}

TEST_P(ComparisonRunAtLevel, TurnedRunsGiveExactlyTheLinksOfThePlainWalk) {
    AddTurnedCopies();
    options.findTurnedCopies = true;
    ASSERT_TRUE(Run(10.0f, -1, 2));
    EXPECT_EQ(Links(), ExpectedLinks(10.0f, false, true));
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
        options.shapeOnly = shapeOnly;
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
    // Let the workers get going, then stop in the middle of the run.
    observer.stopDivisor = 20;
    ASSERT_TRUE(Run(6.0f, -1, 8));
    ASSERT_LT(pairsRecorded, pairs);
    EXPECT_EQ(Links(), ReferenceLinks(6.0f, pairsRecorded, false));
}

TEST_F(ComparisonRunTest, AStopBeforeThePreparedPairsAreCollectedWalksNothing) {
    AddEntries(400, 40, 8);
    repository.GetPicture(0).similar.push_back({1, 1});
    class EndObserver : public ComparisonObserver {
    public:
        void Report(const ProgressReport&) override {}
        void RunEnded(bool finished) override { ends.push_back(finished); }
        std::vector<bool> ends;
    } ends;
    ComparisonRun run(repository, {6.0f}, &ends);
    ASSERT_TRUE(run.StartComparison());
    // Whether or not the preparing thread is done by now, no worker starts before a Collect
    // takes its pairs: the stop ends the run with nothing walked.
    std::this_thread::sleep_for(20ms);
    run.StopComparison();
    EXPECT_FALSE(run.IsComparing());
    EXPECT_EQ(run.PairsDone(), 0u);
    EXPECT_EQ(run.Comparisons(), 0u);
    EXPECT_FALSE(repository.HasSimilar());
    EXPECT_TRUE(run.Collect());
    EXPECT_EQ(ends.ends, std::vector<bool>{false});
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
    ComparisonRun run(repository, {4.0f});
    EXPECT_TRUE(run.StartComparison());
    EXPECT_EQ(run.Workers(), 0);
    EXPECT_EQ(run.Pairs(), 0u);
    EXPECT_FALSE(repository.HasSimilar());
    EXPECT_FALSE(run.IsComparing());
    run.StopComparison();
    run.StopComparison();
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
