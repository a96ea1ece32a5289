// The comparison worker: its pairs in the run's order, its notices to a receiver on another
// thread, and its stop.

#include "SignatureBuilders.h"
#include "run/ComparisonWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::UniformSignature;

SignatureBytes Bytes(std::vector<std::uint8_t> signature) {
    return SignatureBytes(std::move(signature));
}

// The pairs numbered first, first + 1, ... (at most `limit`) of the whole-repository order,
// found through the run's row arithmetic.
std::vector<std::pair<int, int>> PairsFrom(const ComparisonPairs& pairs, std::int32_t entries,
                                           std::uint64_t first, std::uint64_t limit) {
    std::vector<std::pair<int, int>> seen;
    for (std::uint64_t k = first; k < std::min(first + limit, pairs.Count()); ++k) {
        const std::int32_t place = pairs.RowOf(k);
        EXPECT_LE(pairs.RowStart(place), k);
        EXPECT_LT(k, pairs.RowStart(place + 1));
        const std::int32_t i = pairs.RowEntry(place);
        EXPECT_LT(i, entries - 1);
        seen.emplace_back(i, static_cast<int>(i + 1 + (k - pairs.RowStart(place))));
    }
    return seen;
}

TEST(ComparisonPairs, WholeRepositoryRowsFromAnyPair) {
    const ComparisonPairs pairs(std::vector<SignatureBytes>(5), -1);
    ASSERT_EQ(pairs.Count(), 10u);
    const std::vector<std::pair<int, int>> expected = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2},
                                                       {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};
    EXPECT_EQ(PairsFrom(pairs, 5, 0, 100), expected);
    for (std::uint64_t first = 0; first < 10; ++first) {
        const auto end = std::min<std::uint64_t>(first + 3, 10);
        EXPECT_EQ(
            PairsFrom(pairs, 5, first, 3),
            (std::vector<std::pair<int, int>>(expected.begin() + first, expected.begin() + end)))
            << "from " << first;
    }
    EXPECT_EQ(pairs.RowStart(5), 10u);
}

TEST(ComparisonPairs, SearchCountsEveryOtherEntry) {
    EXPECT_EQ(ComparisonPairs(std::vector<SignatureBytes>(4), 2).Count(), 3u);
    EXPECT_EQ(ComparisonPairs(std::vector<SignatureBytes>(1), 0).Count(), 0u);
    EXPECT_EQ(ComparisonPairs(std::vector<SignatureBytes>(1), -1).Count(), 0u);
}

// What the receiver saw of one notice.
struct Seen {
    int code;
    std::uint64_t span;
    std::uint64_t pairsDone;
    bool complete;
    std::vector<PairInfo> records;
};

class ComparisonWorkerTest : public testing::Test {
protected:
    // Runs one worker over `signatures` on a thread of its own, with spans of `spanLength`
    // pairs, and collects its notices here until it finishes.
    std::vector<Seen> RunAndReceive(std::vector<SignatureBytes> signatures, std::int32_t target,
                                    std::uint64_t spanLength) {
        auto pairs = std::make_shared<const ComparisonPairs>(
            std::move(signatures), target, test::kSide, block.threshold, block.shapeOnly);
        block.spans = std::make_shared<SpanDispenser>(pairs->Count(), spanLength);
        block.pairs = std::move(pairs);
        std::thread worker([this] { ComparisonWorker(block); });
        std::vector<Seen> seen;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        bool finished = false;
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            notices->WaitForNotice(100ms);
            for (ComparisonNotice& notice : notices->TakeAll()) {
                EXPECT_EQ(notice.message, kComparisonNoticeMessage);
                finished = notice.code == kNoticeWorkerFinished;
                seen.push_back(Seen{notice.code, notice.span, notice.pairsDone, notice.complete,
                                    std::move(notice.records)});
            }
        }
        worker.join();
        return seen;
    }

    std::shared_ptr<NoticeQueue> notices = std::make_shared<NoticeQueue>();
    std::shared_ptr<StopEvent> stop = std::make_shared<StopEvent>();
    ThreadParams block{nullptr, nullptr,    stop, notices, kComparisonNoticeMessage,
                       2.0f,    test::kSide};
    const SignatureBytes grey = Bytes(UniformSignature(100, 100, 100));
    const SignatureBytes nearGrey = Bytes(UniformSignature(103, 103, 103));
    const SignatureBytes white = Bytes(UniformSignature(255, 255, 255));
};

TEST_F(ComparisonWorkerTest, ThreeEntriesWithOneSimilarPair) {
    // Entries 0 and 2 are similar (factor 3), entry 1 is like neither. One pair per span.
    const std::vector<Seen> seen = RunAndReceive({nearGrey, white, grey}, -1, 1);
    ASSERT_EQ(seen.size(), 4u);
    for (std::uint64_t span = 0; span < 3; ++span) {
        EXPECT_EQ(seen[span].code, kNoticePairsCompared);
        EXPECT_EQ(seen[span].span, span);
        EXPECT_EQ(seen[span].pairsDone, 1u);
        EXPECT_TRUE(seen[span].complete);
    }
    EXPECT_TRUE(seen[0].records.empty());
    ASSERT_EQ(seen[1].records.size(), 1u);
    const PairInfo& record = seen[1].records[0];
    EXPECT_EQ(record.indexA, 0);
    EXPECT_EQ(record.indexB, 2);
    EXPECT_EQ(record.factor, 3.0f);
    EXPECT_EQ(record.signatureA, nullptr);
    EXPECT_EQ(record.signatureB, nullptr);
    EXPECT_TRUE(seen[2].records.empty());
    EXPECT_EQ(seen[3].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, SpansCoverEveryPairAndFindEverySimilarOne) {
    // 40 entries alternate between two looks: every pair of the same look is similar.
    std::vector<SignatureBytes> signatures;
    for (int i = 0; i < 40; ++i) {
        signatures.push_back(i % 2 == 0 ? grey : white);
    }
    const std::vector<Seen> seen = RunAndReceive(signatures, -1, 7);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().code, kNoticeWorkerFinished);
    std::uint64_t pairs = 0;
    std::vector<std::pair<int, int>> similar;
    for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].span, i);
        pairs += seen[i].pairsDone;
        for (const PairInfo& record : seen[i].records) {
            similar.emplace_back(record.indexA, record.indexB);
        }
    }
    EXPECT_EQ(pairs, 40u * 39 / 2);
    // The rows come in the order of the index's cells; the run puts the pairs in order.
    std::sort(similar.begin(), similar.end());
    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < 40; ++i) {
        for (int j = i + 1; j < 40; ++j) {
            if (i % 2 == j % 2) {
                expected.emplace_back(i, j);
            }
        }
    }
    EXPECT_EQ(similar, expected);
}

TEST_F(ComparisonWorkerTest, PairsWithoutSignatureAreWalkedButNotCompared) {
    const std::vector<Seen> seen = RunAndReceive({SignatureBytes(), grey, grey}, -1, 10);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].pairsDone, 3u);
    ASSERT_EQ(seen[0].records.size(), 1u);
    EXPECT_EQ(seen[0].records[0].indexA, 1);
    EXPECT_EQ(seen[0].records[0].factor, 0.0f);
    EXPECT_EQ(seen[1].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, NoPairsPostsOnlyFinished) {
    const std::vector<Seen> seen = RunAndReceive({grey}, -1, 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, StopAlreadySetEndsAfterItsFirstSpan) {
    // Five entries in spans of six pairs: a worker already told to stop finishes the span it
    // has taken (row 0 and the start of row 1), reports it, and takes no other.
    stop->Set();
    const std::vector<Seen> seen = RunAndReceive({grey, grey, grey, grey, grey}, -1, 6);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].pairsDone, 6u);
    EXPECT_TRUE(seen[0].complete);
    ASSERT_EQ(seen[0].records.size(), 6u);
    EXPECT_EQ(seen[0].records[4].indexA, 1);
    EXPECT_EQ(seen[0].records[4].indexB, 2);
    EXPECT_EQ(seen[1].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, AStopDropsASpanOfPairsThatAllNeedAFullComparison) {
    // Thirty pictures all alike: no bound rules a pair out, so the span of all 435 pairs is
    // compared in full (in blocks, where the processor can). Whole, it finds every pair; a stop
    // drops it whole, leaving nothing half-recorded.
    const std::vector<SignatureBytes> alike(30, grey);
    const std::vector<Seen> whole = RunAndReceive(alike, -1, 435);
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_TRUE(whole[0].complete);
    ASSERT_EQ(whole[0].records.size(), 435u);
    EXPECT_EQ(whole[0].records[29].indexA, 1);
    EXPECT_EQ(whole[0].records[29].indexB, 2);
    EXPECT_EQ(whole[0].records[434].indexA, 28);

    stop->Set();
    const std::vector<Seen> stopped = RunAndReceive(alike, -1, 435);
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_FALSE(stopped[0].complete);
    EXPECT_EQ(stopped[0].pairsDone, 0u);
    EXPECT_TRUE(stopped[0].records.empty());
    EXPECT_EQ(stopped[1].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, ThresholdZeroFindsNothingEvenForIdenticalPictures) {
    block.threshold = 0.0f;
    const std::vector<Seen> seen = RunAndReceive({grey, grey}, -1, 1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].records.empty());
}

TEST_F(ComparisonWorkerTest, ClosedQueueDropsLaterNotices) {
    // A receiver that has gone away closes its queue; a worker still running must not reach it.
    notices->Close();
    block.pairs = std::make_shared<const ComparisonPairs>(std::vector{grey, nearGrey}, -1,
                                                          test::kSide, block.threshold);
    block.spans = std::make_shared<SpanDispenser>(1, 1);
    ComparisonWorker(block);
    EXPECT_TRUE(notices->TakeAll().empty());
}

}  // namespace
}  // namespace vistrel
