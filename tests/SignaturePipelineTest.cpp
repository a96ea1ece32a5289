// The signature pipeline: whatever the number of workers and however tight its limits, the same
// results in the same order as making each signature in turn; a stop ends it at once.

#include "decoding/PictureDecoder.h"
#include "repository/PictureRepository.h"
#include "signature/PictureSignature.h"
#include "signature/SignatureCache.h"
#include "signature/SignaturePipeline.h"
#include "support/TestPictures.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {
namespace {

constexpr int kSide = CPictureRepository::kSide;

class SignaturePipelineTest : public testing::Test {
protected:
    // Pictures of every format and size, with unreadable files and missing paths among them.
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        for (int i = 0; i < 30; ++i) {
            const char* const suffixes[] = {"bmp", "gif", "jpg", "png", "tif"};
            const QString path = folder.filePath(
                QStringLiteral("p%1.%2").arg(i).arg(QLatin1String(suffixes[i % 5])));
            if (i % 7 == 3) {
                ASSERT_TRUE(test::WriteBytes(path, QByteArray("\xff\xd8\xff broken")));
            } else if (i % 11 == 5) {
                // no file at all
            } else {
                const test::PictureFormat format = test::kAllFormats[i % 5];
                const int width = 40 + 13 * i;
                const int height = 30 + 9 * i;
                // A GIF holds 256 colours at most.
                const QImage picture =
                    format == test::PictureFormat::Gif
                        ? test::MakePicture(width, height,
                                            [i](int x, int y) {
                                                return qRgb((x / 16) % 4 * 80, (y / 16) % 4 * 80,
                                                            i * 8);
                                            })
                        : test::MakePhotoLike(width, height, static_cast<std::uint32_t>(i));
                ASSERT_TRUE(test::WritePicture(picture, format, path));
            }
            paths.push_back(path);
        }
        for (const QString& path : paths) {
            serial.push_back(SignatureBytes(ComputeSignature(path, kSide)));
        }
    }

    QTemporaryDir folder;
    std::vector<QString> paths;
    std::vector<SignatureBytes> serial;
};

TEST_F(SignaturePipelineTest, GivesTheSerialResultsInOrderWithAnyWorkerCount) {
    for (const int workers : {1, 2, 8}) {
        // A budget of one small picture and little room ahead, so that the limits act.
        for (const std::int64_t budget : {std::int64_t{512} << 20, std::int64_t{100'000}}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, budget " << budget);
            SignaturePipeline pipeline(kSide, {workers, budget, 3});
            ASSERT_EQ(pipeline.WorkerCount(), workers);
            // Paths keep coming while results are taken.
            for (std::size_t i = 0; i < paths.size() / 2; ++i) {
                pipeline.Add(paths[i]);
            }
            std::vector<SignaturePipeline::Result> results;
            SignaturePipeline::Result result;
            while (results.size() < paths.size() / 4 && pipeline.Next(result)) {
                results.push_back(result);
            }
            for (std::size_t i = paths.size() / 2; i < paths.size(); ++i) {
                pipeline.Add(paths[i]);
            }
            pipeline.Finish();
            while (pipeline.Next(result)) {
                results.push_back(result);
            }
            ASSERT_EQ(results.size(), paths.size());
            for (std::size_t i = 0; i < paths.size(); ++i) {
                EXPECT_EQ(results[i].path, paths[i]) << i;
                EXPECT_EQ(results[i].signature, serial[i]) << i;
                EXPECT_EQ(results[i].signature.empty(), serial[i].empty()) << i;
            }
            EXPECT_FALSE(pipeline.Next(result));
        }
    }
}

TEST_F(SignaturePipelineTest, SecondRunTakesTheSignaturesFromTheCache) {
    QTemporaryDir cacheFolder;
    ASSERT_TRUE(cacheFolder.isValid());
    const auto cache = std::make_shared<SignatureCache>(cacheFolder.filePath("signatures.sqlite"));
    ASSERT_TRUE(cache->IsOpen()) << cache->Problem().toStdString();
    const auto run = [&] {
        SignaturePipeline pipeline(kSide, {2, std::int64_t{512} << 20, 8, cache});
        for (const QString& path : paths) {
            pipeline.Add(path);
        }
        pipeline.Finish();
        std::vector<SignatureBytes> made;
        SignaturePipeline::Result result;
        while (pipeline.Next(result)) {
            made.push_back(result.signature);
        }
        return made;
    };
    ASSERT_EQ(run(), serial);

    // Each entry holds the digest of the bytes that were decoded, which the cache checks once
    // only the change time has moved (a change of mode): every entry still holds after one.
    cache->Flush();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past a coarse clock's tick
    for (const QString& path : paths) {
        const std::optional<SignatureCache::FileKey> before = SignatureCache::KeyOf(path);
        if (!before) {
            continue;
        }
        ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0600), 0);
        const std::optional<SignatureCache::FileKey> after = SignatureCache::KeyOf(path);
        ASSERT_TRUE(after && after->changedNs != before->changedNs);
        EXPECT_TRUE(cache->Find(*after, kSide).has_value()) << path.toStdString();
    }

    // Other signatures kept for every file as it is: the second run gives exactly what the
    // cache holds, so it decoded nothing.
    const SignatureBytes kept(std::vector<std::uint8_t>(3 * kSide * kSide, 7));
    std::vector<SignatureBytes> expected;
    for (const QString& path : paths) {
        const std::optional<SignatureCache::FileKey> key = SignatureCache::KeyOf(path);
        if (key) {
            cache->Store(*key, path, kSide, kept);
        }
        expected.push_back(key ? kept : serial[expected.size()]);
    }
    cache->Flush();
    EXPECT_EQ(run(), expected);
}

TEST_F(SignaturePipelineTest, StopInTheMiddleDropsTheRestAtOnce) {
    SignaturePipeline pipeline(kSide, {2, std::int64_t{512} << 20, 4});
    for (int round = 0; round < 20; ++round) {
        for (const QString& path : paths) {
            pipeline.Add(path);
        }
    }
    SignaturePipeline::Result result;
    ASSERT_TRUE(pipeline.Next(result));
    EXPECT_EQ(result.path, paths[0]);
    EXPECT_EQ(result.signature, serial[0]);
    pipeline.Stop();
    EXPECT_FALSE(pipeline.Next(result));
    EXPECT_FALSE(pipeline.TryNext(result));
    // Nothing more is taken in either.
    pipeline.Add(paths[1]);
    pipeline.Finish();
    EXPECT_FALSE(pipeline.Next(result));
    EXPECT_EQ(pipeline.Delivered(), 1u);
    EXPECT_EQ(pipeline.Added(), 20 * paths.size());
}

TEST_F(SignaturePipelineTest, FifoNamedLikeAPictureIsUnreadableWithoutBlocking) {
    const QString fifo = folder.filePath(QStringLiteral("pipe.jpg"));
    const QByteArray fifoName = QFile::encodeName(fifo);
    ASSERT_EQ(::mkfifo(fifoName.constData(), 0600), 0);
    const QString picture = paths[0];
    ASSERT_FALSE(serial[0].empty());
    auto reading = std::async(std::launch::async, [&] {
        const bool header = ReadPictureHeader(fifo).size.isValid();
        const bool decoded = !DecodePicture(fifo).isNull();
        SignaturePipeline pipeline(kSide, {1, std::int64_t{512} << 20, 4});
        pipeline.Add(fifo);
        pipeline.Add(picture);
        pipeline.Finish();
        std::vector<SignatureBytes> made;
        SignaturePipeline::Result result;
        while (pipeline.Next(result)) {
            made.push_back(result.signature);
        }
        return std::make_tuple(header, decoded, made);
    });
    // Reading a FIFO blocks until a writer comes: if the reading has not ended long after it
    // should, writers come and go until it does, so that the test fails rather than hangs.
    bool blocked = reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    while (reading.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        const int writer = ::open(fifoName.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    const auto [header, decoded, made] = reading.get();
    EXPECT_FALSE(blocked) << "reading a FIFO waited for a writer";
    EXPECT_FALSE(header);
    EXPECT_FALSE(decoded);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_TRUE(made[0].empty());
    EXPECT_EQ(made[1], serial[0]);
}

}  // namespace
}  // namespace vistrel
