// The comparison worker: its notices, in order, to a receiver on another thread, and its stop.

#include "ComparisonWorker.h"
#include "SignatureBuilders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::UniformSignature;

// What the receiver saw of one notice.
struct Seen {
    std::uint32_t message;
    int code;
    bool hasRecord;
    std::int32_t indexA = -1;
    std::int32_t indexB = -1;
    float factor = 0;
};

class ComparisonWorkerTest : public testing::Test {
protected:
    ComparisonWorkerTest() {
        block.notices = notices;
        block.stopEvent = stop;
        block.threshold = 2.0f;  // the default user threshold of 4, halved
        block.side = test::kSide;
    }

    void AddPair(const std::vector<std::uint8_t>* a, const std::vector<std::uint8_t>* b, int indexA,
                 int indexB) {
        block.pairs.push_back(
            PairInfo{a ? a->data() : nullptr, b ? b->data() : nullptr, indexA, indexB, 0.0f});
    }

    // Runs the worker on a thread of its own and collects its notices here until it finishes.
    std::vector<Seen> RunAndReceive() {
        std::thread worker([this] { ComparisonWorker(block); });
        std::vector<Seen> seen;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        bool finished = false;
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            notices->WaitForNotice(100ms);
            for (ComparisonNotice& notice : notices->TakeAll()) {
                Seen entry{notice.message, notice.code, notice.record != nullptr};
                if (notice.record) {
                    entry.indexA = notice.record->indexA;
                    entry.indexB = notice.record->indexB;
                    entry.factor = notice.record->factor;
                    EXPECT_EQ(notice.record->signatureA, nullptr);
                    EXPECT_EQ(notice.record->signatureB, nullptr);
                }
                finished = notice.code == kNoticeWorkerFinished;
                seen.push_back(entry);
            }
        }
        worker.join();
        return seen;
    }

    std::shared_ptr<NoticeQueue> notices = std::make_shared<NoticeQueue>();
    std::shared_ptr<StopEvent> stop = std::make_shared<StopEvent>();
    ThreadParams block;
    const std::vector<std::uint8_t> grey = UniformSignature(100, 100, 100);
    const std::vector<std::uint8_t> nearGrey = UniformSignature(103, 103, 103);
    const std::vector<std::uint8_t> white = UniformSignature(255, 255, 255);
};

TEST_F(ComparisonWorkerTest, ThreeEntriesWithOneSimilarPair) {
    // Entries 0 and 2 are similar (factor 3), entry 1 is not; pairs in the order of a full test.
    AddPair(&white, &grey, 0, 1);
    AddPair(&nearGrey, &grey, 0, 2);
    AddPair(&nearGrey, &white, 1, 2);
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 4u);
    for (const Seen& notice : seen) {
        EXPECT_EQ(notice.message, kComparisonNoticeMessage);
    }
    EXPECT_EQ(seen[0].code, kNoticePairCompared);
    EXPECT_FALSE(seen[0].hasRecord);
    EXPECT_EQ(seen[1].code, kNoticePairCompared);
    ASSERT_TRUE(seen[1].hasRecord);
    EXPECT_EQ(seen[1].indexA, 0);
    EXPECT_EQ(seen[1].indexB, 2);
    EXPECT_EQ(seen[1].factor, 3.0f);
    EXPECT_EQ(seen[2].code, kNoticePairCompared);
    EXPECT_FALSE(seen[2].hasRecord);
    EXPECT_EQ(seen[3].code, kNoticeWorkerFinished);
    EXPECT_FALSE(seen[3].hasRecord);
}

TEST_F(ComparisonWorkerTest, NoticesKeepTheirOrderOverManyPairs) {
    // Similar and dissimilar pairs alternate; every record must come back in pair order.
    for (int i = 0; i < 500; ++i) {
        AddPair(&grey, i % 3 == 0 ? &nearGrey : &white, i, i + 1);
    }
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 501u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(seen[i].hasRecord, i % 3 == 0) << "pair " << i;
        if (seen[i].hasRecord) {
            EXPECT_EQ(seen[i].indexA, i);
        }
    }
    EXPECT_EQ(seen.back().code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, PairsWithoutSignatureAreSkippedSilently) {
    AddPair(nullptr, &grey, 0, 1);
    AddPair(&grey, nullptr, 0, 2);
    AddPair(&grey, &grey, 1, 2);
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].hasRecord);
    EXPECT_EQ(seen[0].indexA, 1);
    EXPECT_EQ(seen[0].factor, 0.0f);
    EXPECT_EQ(seen[1].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, EmptyBlockPostsOnlyFinished) {
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, StopAlreadySetComparesOnePairThenFinishes) {
    for (int i = 0; i < 10; ++i) {
        AddPair(&grey, &grey, 0, 1);
    }
    stop->Set();
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].code, kNoticePairCompared);
    EXPECT_EQ(seen[1].code, kNoticeWorkerFinished);
}

TEST_F(ComparisonWorkerTest, ThresholdZeroFindsNothingEvenForIdenticalPictures) {
    block.threshold = 0.0f;
    AddPair(&grey, &grey, 0, 1);
    const std::vector<Seen> seen = RunAndReceive();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].hasRecord);
}

TEST_F(ComparisonWorkerTest, ClosedQueueDropsLaterNotices) {
    // A receiver that has gone away closes its queue; a worker still running must not reach it.
    int wakeUps = 0;
    notices->SetWakeHandler([&wakeUps] { ++wakeUps; });
    AddPair(&grey, &nearGrey, 0, 1);
    notices->Close();
    ComparisonWorker(block);
    EXPECT_TRUE(notices->TakeAll().empty());
    EXPECT_EQ(wakeUps, 0);
}

TEST(NoticeQueue, WakesTheReceiverOnceForABurst) {
    NoticeQueue queue;
    int wakeUps = 0;
    queue.SetWakeHandler([&wakeUps] { ++wakeUps; });
    for (int i = 0; i < 3; ++i) {
        queue.Post(ComparisonNotice{kComparisonNoticeMessage, kNoticePairCompared, nullptr});
    }
    EXPECT_EQ(wakeUps, 1);
    EXPECT_EQ(queue.TakeAll().size(), 3u);
    queue.Post(ComparisonNotice{kComparisonNoticeMessage, kNoticeWorkerFinished, nullptr});
    EXPECT_EQ(wakeUps, 2);
    EXPECT_TRUE(queue.WaitForNotice(0ms));
}

}  // namespace
}  // namespace vistrel
