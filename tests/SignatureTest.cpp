// Signatures of pictures the tests write themselves, in all five formats, and of files that are
// not pictures at all.

#include "SignatureBuilders.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "decoding/PictureDecoder.h"
#include "decoding/PictureProblem.h"
#include "repository/PictureRepository.h"
#include "signature/PictureSignature.h"
#include "signature/SignatureStore.h"
#include "support/HeifPictures.h"
#include "support/StoreFile.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <limits>
#include <utility>

namespace vistrel {
namespace {

using test::PictureFormat;

constexpr int kSide = 100;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

int ChannelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

class SignatureOfFormat : public testing::TestWithParam<PictureFormat> {
protected:
    // Writes `picture` in the format under test and returns the signature of the file.
    std::vector<std::uint8_t> SignatureOf(const QImage& picture) {
        const QString path = folder.filePath(
            QStringLiteral("picture%1.%2").arg(counter++).arg(test::ExtensionOf(GetParam())));
        EXPECT_TRUE(test::WritePicture(picture, GetParam(), path)) << path.toStdString();
        return ComputeSignature(path, kSide);
    }
    // JPEG is lossy; the other formats keep every value.
    int Tolerance() const { return GetParam() == PictureFormat::Jpeg ? 10 : 0; }

    // Checks every signature pixel against expected(x, y); within `band` pixels of the given
    // edge column and row a lossy format may blur a hard edge, so there it gets more leeway.
    void ExpectPixels(const std::vector<std::uint8_t>& signature,
                      const std::function<QRgb(int x, int y)>& expected, int edgeColumn = -1,
                      int edgeRow = -1, int band = 1) {
        ASSERT_EQ(signature.size(), 3u * kSide * kSide);
        int mismatches = 0;
        for (int x = 0; x < kSide; ++x) {
            for (int y = 0; y < kSide; ++y) {
                const bool nearEdge = (edgeColumn >= 0 && std::abs(x - edgeColumn) <= band) ||
                                      (edgeRow >= 0 && std::abs(y - edgeRow) <= band);
                const int limit = nearEdge && Tolerance() > 0 ? 40 : Tolerance();
                const QRgb actual = test::SignaturePixel(signature, kSide, x, y);
                if (ChannelDistance(actual, expected(x, y)) > limit && mismatches++ < 5) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << actual
                                  << ", expected " << expected(x, y);
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    QTemporaryDir folder;
    int counter = 0;
};

TEST_P(SignatureOfFormat, UniformColourFillsEveryPixel) {
    const QRgb colour = qRgb(200, 120, 40);
    const auto signature = SignatureOf(test::MakePicture(64, 48, [=](int, int) { return colour; }));
    ExpectPixels(signature, [=](int, int) { return colour; });
}

TEST_P(SignatureOfFormat, LeftAndRightHalvesFillTheFirstAndSecondHalfOfTheBytes) {
    const auto signature = SignatureOf(
        test::MakePicture(200, 160, [](int x, int) { return x < 100 ? kBlack : kWhite; }));
    ExpectPixels(
        signature, [](int x, int) { return x < 50 ? kBlack : kWhite; }, 50);
    // Column-major order: the 50 left columns are the first 15,000 bytes.
    EXPECT_LE(*std::max_element(signature.begin(), signature.begin() + 3 * 49 * kSide),
              Tolerance());
    EXPECT_GE(*std::min_element(signature.begin() + 3 * 51 * kSide, signature.end()),
              255 - Tolerance());
}

TEST_P(SignatureOfFormat, TopAndBottomHalvesFillEachColumnInOrder) {
    const auto signature = SignatureOf(
        test::MakePicture(160, 200, [](int, int y) { return y < 100 ? kBlack : kWhite; }));
    ExpectPixels(
        signature, [](int, int y) { return y < 50 ? kBlack : kWhite; }, -1, 50);
    // Within every column's 300 bytes: dark first, light after.
    for (int x = 0; x < kSide; ++x) {
        EXPECT_LE(signature[3 * x * kSide], Tolerance());
        EXPECT_GE(signature[3 * x * kSide + 299], 255 - Tolerance());
    }
}

TEST_P(SignatureOfFormat, WidePictureIsSqueezedIntoTheSquare) {
    // 400 x 200, red in its left quarter: a quarter of the square's columns are red.
    const QRgb red = qRgb(230, 20, 20);
    const QRgb blue = qRgb(20, 20, 230);
    const auto signature =
        SignatureOf(test::MakePicture(400, 200, [=](int x, int) { return x < 100 ? red : blue; }));
    ExpectPixels(
        signature, [=](int x, int) { return x < 25 ? red : blue; }, 25);
}

TEST_P(SignatureOfFormat, SmallPictureIsEnlarged) {
    // 10 x 10 quadrants: each source pixel becomes a 10 x 10 block of the signature. JPEG rings
    // across the whole of so small a picture, so only the lossless formats are held exactly.
    const auto quadrant = [](int x, int y, int half) {
        return x < half ? (y < half ? qRgb(250, 0, 0) : qRgb(0, 250, 0))
                        : (y < half ? qRgb(0, 0, 250) : qRgb(250, 250, 250));
    };
    const auto signature =
        SignatureOf(test::MakePicture(10, 10, [&](int x, int y) { return quadrant(x, y, 5); }));
    ExpectPixels(
        signature, [&](int x, int y) { return quadrant(x, y, 50); }, 50, 50,
        GetParam() == PictureFormat::Jpeg ? kSide : 1);
}

TEST_P(SignatureOfFormat, LargePictureIsReduced) {
    const auto quadrant = [](int x, int y, int halfWidth, int halfHeight) {
        return x < halfWidth ? (y < halfHeight ? qRgb(250, 0, 0) : qRgb(0, 250, 0))
                             : (y < halfHeight ? qRgb(0, 0, 250) : qRgb(250, 250, 250));
    };
    const auto signature = SignatureOf(
        test::MakePicture(4000, 3000, [&](int x, int y) { return quadrant(x, y, 2000, 1500); }));
    ExpectPixels(
        signature, [&](int x, int y) { return quadrant(x, y, 50, 50); }, 50, 50);
}

TEST_P(SignatureOfFormat, TruncatedFileIsUnreadable) {
    const QString path = folder.filePath(QStringLiteral("cut.") + test::ExtensionOf(GetParam()));
    // Few enough colours for a GIF, detailed enough to fill the file with picture data.
    ASSERT_TRUE(
        test::WritePicture(test::Posterize(test::MakePhotoLike(300, 200, 5)), GetParam(), path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() / 2));
    file.close();
    EXPECT_TRUE(ComputeSignature(path, kSide).empty());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, SignatureOfFormat, testing::ValuesIn(test::kAllFormats),
                         [](const auto& info) {
                             return test::ExtensionOf(info.param).toStdString();
                         });

class SignatureTest : public testing::Test {
protected:
    QString Path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    QTemporaryDir folder;
};

TEST_F(SignatureTest, FilesThatAreNotPicturesAreUnreadable) {
    ASSERT_TRUE(test::WriteBytes(Path("empty.jpg"), {}));
    ASSERT_TRUE(test::WriteBytes(Path("text.png"), "just some text, not a picture\n"));
    ASSERT_TRUE(test::WriteBytes(Path("header-only.jpg"), QByteArray::fromHex("FFD8FFE0")));
    QByteArray noise(5000, '\0');
    for (int i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 7919) >> 3);
    }
    ASSERT_TRUE(test::WriteBytes(Path("noise.bmp"), noise));
    for (const char* name :
         {"missing.jpg", "empty.jpg", "text.png", "header-only.jpg", "noise.bmp"}) {
        EXPECT_TRUE(ComputeSignature(Path(name), kSide).empty()) << name;
    }
    // A folder named like a picture.
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("folder.jpg")));
    EXPECT_TRUE(ComputeSignature(Path("folder.jpg"), kSide).empty());
}

TEST_F(SignatureTest, CutShortJpegAndTextFileSayWhyTheyCannotBeRead) {
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(64, 48, 3), PictureFormat::Jpeg, Path("whole.jpg")));
    QFile whole(Path("whole.jpg"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray jpeg = whole.readAll();
    ASSERT_TRUE(test::WriteBytes(Path("cut.jpg"), jpeg.left(jpeg.size() * 2 / 3)));
    ASSERT_TRUE(test::WriteBytes(Path("text.jpg"), "just some text, not a picture\n"));
    ASSERT_TRUE(DecodePicture(Path("cut.jpg")).isNull());
    EXPECT_EQ(DiagnoseUnreadablePicture(Path("cut.jpg")).kind, PictureProblem::Kind::CutShort);
    EXPECT_EQ(DiagnoseUnreadablePicture(Path("text.jpg")).kind, PictureProblem::Kind::NotAPicture);
    EXPECT_NE(PictureProblemText(DiagnoseUnreadablePicture(Path("cut.jpg"))),
              PictureProblemText(DiagnoseUnreadablePicture(Path("text.jpg"))));
}

TEST_F(SignatureTest, FormatIsToldByContentNotByName) {
    const QImage picture = test::MakePicture(40, 30, [](int, int) { return qRgb(10, 200, 90); });
    ASSERT_TRUE(test::WritePicture(picture, PictureFormat::Png, Path("really-a-png.jpg")));
    ASSERT_TRUE(test::WritePicture(picture, PictureFormat::Jpeg, Path("really-a-jpeg.png")));
    EXPECT_EQ(test::SignaturePixel(ComputeSignature(Path("really-a-png.jpg"), kSide), kSide, 5, 5),
              qRgb(10, 200, 90));
    EXPECT_LE(ChannelDistance(test::SignaturePixel(
                                  ComputeSignature(Path("really-a-jpeg.png"), kSide), kSide, 5, 5),
                              qRgb(10, 200, 90)),
              6);
}

// The CRC-32 of PNG chunks.
quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// An EXIF block (a TIFF header and one directory) holding only the orientation `value`.
QByteArray ExifBlock(quint16 value, bool bigEndian) {
    QByteArray tiff(8 + 2 + 12 + 4, '\0');
    auto* at = reinterpret_cast<uchar*>(tiff.data());
    const auto put16 = [&](int offset, quint16 v) {
        bigEndian ? qToBigEndian(v, at + offset) : qToLittleEndian(v, at + offset);
    };
    const auto put32 = [&](int offset, quint32 v) {
        bigEndian ? qToBigEndian(v, at + offset) : qToLittleEndian(v, at + offset);
    };
    tiff.replace(0, 4, bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4));
    put32(4, 8);        // the first directory
    put16(8, 1);        // one entry
    put16(10, 0x0112);  // orientation
    put16(12, 3);       // SHORT
    put32(14, 1);       // one value
    put16(18, value);
    return tiff;
}

// `stored` as shown under the EXIF orientation `value`, pixel by pixel.
QImage TurnedByHand(const QImage& stored, int value) {
    const int w = stored.width();
    const int h = stored.height();
    const bool swapped = value >= 5;
    QImage shown(swapped ? h : w, swapped ? w : h, QImage::Format_RGB888);
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QPoint from[] = {{x, y}, {w - 1 - x, y}, {w - 1 - x, h - 1 - y}, {x, h - 1 - y},
                                   {y, x}, {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
            shown.setPixel(x, y, stored.pixel(from[value - 1]));
        }
    }
    return shown;
}

TEST_F(SignatureTest, EachExifOrientationGivesTheSignatureOfThePictureTurnedByHand) {
    const QImage photo = test::MakePhotoLike(48, 32, 7).convertToFormat(QImage::Format_RGB888);
    ASSERT_TRUE(test::WritePicture(photo, PictureFormat::Jpeg, Path("plain.jpg")));
    ASSERT_TRUE(test::WritePicture(photo, PictureFormat::Png, Path("plain.png")));
    QFile jpegFile(Path("plain.jpg"));
    QFile pngFile(Path("plain.png"));
    ASSERT_TRUE(jpegFile.open(QIODevice::ReadOnly) && pngFile.open(QIODevice::ReadOnly));
    const QByteArray jpeg = jpegFile.readAll();
    const QByteArray png = pngFile.readAll();
    // The JPEG's pixels as stored: what the tagged copies hold.
    const QImage jpegPixels = DecodePicture(Path("plain.jpg"));
    ASSERT_EQ(jpegPixels.size(), photo.size());

    for (quint16 value = 1; value <= 8; ++value) {
        // A JPEG with big-endian EXIF in its APP1, a PNG with little-endian EXIF in its eXIf.
        const QByteArray app1 = QByteArray("Exif\0\0", 6) + ExifBlock(value, true);
        QByteArray segment = QByteArray::fromHex("FFE10000") + app1;
        qToBigEndian<quint16>(static_cast<quint16>(app1.size() + 2), segment.data() + 2);
        ASSERT_TRUE(test::WriteBytes(Path("tagged.jpg"), QByteArray(jpeg).insert(2, segment)));
        const QByteArray chunk = QByteArray("eXIf") + ExifBlock(value, false);
        QByteArray exif(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(chunk.size() - 4), exif.data());
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(Crc32(chunk), crc.data());
        exif += chunk + crc;
        ASSERT_TRUE(test::WriteBytes(Path("tagged.png"), QByteArray(png).insert(33, exif)));

        for (const auto& [tagged, stored] :
             {std::pair{"tagged.jpg", jpegPixels}, std::pair{"tagged.png", photo}}) {
            const QImage byHand = TurnedByHand(stored, value);
            ASSERT_TRUE(test::WritePicture(byHand, PictureFormat::Png, Path("by-hand.png")));
            QSize fullSize;
            EXPECT_EQ(DecodePicture(Path(tagged), {}, &fullSize), byHand) << tagged << value;
            EXPECT_EQ(fullSize, byHand.size()) << tagged << value;
            EXPECT_EQ(ReadPictureHeader(Path(tagged)).size, byHand.size()) << tagged << value;
            EXPECT_EQ(ComputeSignature(Path(tagged), kSide),
                      ComputeSignature(Path("by-hand.png"), kSide))
                << tagged << value;
        }
    }
}

TEST_F(SignatureTest, PictureAboveTheDecodingBudgetIsUnreadable) {
    // A PNG that declares 30,000 x 30,000 pixels (3.6 GB decoded) and holds no pixel data.
    QByteArray png = QByteArray::fromHex("89504E470D0A1A0A0000000D49484452");
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(30000, header.data());
    qToBigEndian<quint32>(30000, header.data() + 4);
    header[8] = 8;  // bit depth
    header[9] = 2;  // RGB
    png += header;
    const QByteArray chunk = QByteArray("IHDR") + header;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(Crc32(chunk), crc.data());
    png += crc;
    ASSERT_TRUE(test::WriteBytes(Path("huge.png"), png));
    EXPECT_TRUE(DecodePicture(Path("huge.png")).isNull());
}

TEST_F(SignatureTest, HugeJpegIsUnreadableWhenItCannotBeReduced) {
    // A small JPEG whose frame header is patched to claim 60,000 x 60,000 pixels.
    QByteArray jpeg = test::CompressJpeg(std::vector<unsigned char>(16 * 16 * 3, 128), 16, 16,
                                         TJPF_RGB, TJSAMP_444);
    const qsizetype frame = jpeg.indexOf(QByteArray::fromHex("FFC0"));
    ASSERT_GT(frame, 0);
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 7);
    ASSERT_TRUE(test::WriteBytes(Path("huge.jpg"), jpeg));
    // At full size it is over the budget; reduced it fits, but its data ends far too early.
    EXPECT_TRUE(DecodePicture(Path("huge.jpg"), DecodeOptions{0}).isNull());
    EXPECT_TRUE(DecodePicture(Path("huge.jpg")).isNull());
}

TEST_F(SignatureTest, JpegIsReducedInTheDctWhileBothSidesStayAt400) {
    const std::pair<QSize, QSize> cases[] = {
        {{4000, 3000}, {1000, 750}},  // 1/8 would give 375 rows
        {{6400, 4000}, {800, 500}},   // 1/8
        {{1000, 800}, {500, 400}},    // 1/2, exactly 400
        {{700, 500}, {700, 500}},     // no reduction keeps 400
    };
    for (const auto& [size, expected] : cases) {
        const QString path = Path("scaled.jpg");
        ASSERT_TRUE(
            test::WritePicture(QImage(size, QImage::Format_RGB888), PictureFormat::Jpeg, path));
        EXPECT_EQ(DecodePicture(path).size(), expected) << size.width() << " x " << size.height();
        EXPECT_EQ(DecodePicture(path, DecodeOptions{0}).size(), size);
    }
}

TEST_F(SignatureTest, DctReductionMovesAPhotoBySmallFactor) {
    const QString path = Path("photo.jpg");
    ASSERT_TRUE(test::WritePicture(test::MakePhotoLike(4000, 3000, 42), PictureFormat::Jpeg, path));
    const auto reduced = ComputeSignature(path, kSide);
    const auto full = ComputeSignature(path, kSide, DecodeOptions{0});
    ASSERT_EQ(reduced.size(), full.size());
    ASSERT_FALSE(full.empty());
    for (const bool shapeOnly : {false, true}) {
        EXPECT_LT(ComputeDifferenceReference(reduced.data(), full.data(), kSide, shapeOnly), 0.6f)
            << (shapeOnly ? "shape only" : "normal");
    }
}

TEST_F(SignatureTest, WebpHeicAndAvifGiveTheSignatureOfTheSamePictureAsPng) {
    const QImage photo = test::MakePhotoLike(640, 480, 11);
    ASSERT_TRUE(test::WritePicture(photo, PictureFormat::Png, Path("photo.png")));
    const auto png = ComputeSignature(Path("photo.png"), kSide);
    ASSERT_FALSE(png.empty());
    QImageWriter webp(Path("photo.webp"), "webp");
    webp.setQuality(90);
    ASSERT_TRUE(webp.write(photo)) << webp.errorString().toStdString();
    QString missing;
    for (const auto& [name, codec] : {std::pair{"photo.heic", test::HeifCodec::Hevc},
                                      std::pair{"photo.avif", test::HeifCodec::Av1}}) {
        QString problem;
        const QByteArray bytes = test::EncodeHeif(photo, codec, problem);
        if (bytes.isEmpty()) {
            missing += QStringLiteral(" %1: %2;").arg(QString::fromLatin1(name), problem);
            continue;
        }
        ASSERT_TRUE(test::WriteBytes(Path(name), bytes));
    }
    for (const char* name : {"photo.webp", "photo.heic", "photo.avif"}) {
        if (!QFile::exists(Path(name))) {
            continue;
        }
        QSize fullSize;
        EXPECT_EQ(DecodePicture(Path(name), {}, &fullSize).size(), photo.size()) << name;
        EXPECT_EQ(fullSize, photo.size()) << name;
        // The pipeline's budget needs the size from the header: at least the RGB picture.
        EXPECT_GE(EstimateDecodeBytes(Path(name)), std::int64_t{640} * 480 * 3) << name;
        const auto signature = ComputeSignature(Path(name), kSide);
        ASSERT_EQ(signature.size(), png.size()) << name;
        for (const bool shapeOnly : {false, true}) {
            EXPECT_LT(ComputeDifferenceReference(signature.data(), png.data(), kSide, shapeOnly),
                      2.0f)
                << name << (shapeOnly ? " shape only" : " normal");
        }
    }
    if (!missing.isEmpty()) {
        GTEST_SKIP() << "not checked:" << missing.toStdString();
    }
}

TEST_F(SignatureTest, DamagedOrOverBudgetHeicAndAvifAreUnreadable) {
    const QImage photo = test::MakePhotoLike(320, 240, 12);
    for (const auto codec : {test::HeifCodec::Hevc, test::HeifCodec::Av1}) {
        QString problem;
        const QByteArray whole = test::EncodeHeif(photo, codec, problem);
        if (whole.isEmpty()) {
            GTEST_SKIP() << problem.toStdString();
        }
        const std::string kind = codec == test::HeifCodec::Hevc ? "HEIC" : "AVIF";
        ASSERT_TRUE(test::WriteBytes(Path("whole"), whole));
        ASSERT_FALSE(DecodePicture(Path("whole")).isNull()) << kind;
        // The generic major brand "mif1" reads like the codec's own.
        QByteArray generic = whole;
        generic.replace(8, 4, "mif1");
        ASSERT_TRUE(test::WriteBytes(Path("generic"), generic));
        EXPECT_EQ(DecodePicture(Path("generic")), DecodePicture(Path("whole"))) << kind;

        // A file cut in half loses the end of its coded picture; one whose 'ftyp' box is followed
        // by garbage has no readable boxes.
        ASSERT_TRUE(test::WriteBytes(Path("cut"), whole.left(whole.size() / 2)));
        QByteArray garbage = whole;
        std::uint32_t noise = 12345;
        for (qsizetype i = qFromBigEndian<std::uint32_t>(whole.constData()); i < garbage.size();
             ++i) {
            noise = noise * 1103515245u + 12345u;
            garbage[i] = static_cast<char>(noise >> 24);
        }
        ASSERT_TRUE(test::WriteBytes(Path("garbage"), garbage));
        // A header declaring 20000 x 20000 pixels, far above the budget: refused before decoding.
        QByteArray huge = whole;
        const qsizetype ispe = huge.indexOf("ispe");
        ASSERT_GT(ispe, 0) << kind;
        qToBigEndian<std::uint32_t>(20000, huge.data() + ispe + 8);
        qToBigEndian<std::uint32_t>(20000, huge.data() + ispe + 12);
        ASSERT_TRUE(test::WriteBytes(Path("huge"), huge));
        for (const char* name : {"cut", "garbage", "huge"}) {
            EXPECT_TRUE(DecodePicture(Path(name)).isNull()) << kind << " " << name;
            EXPECT_TRUE(ComputeSignature(Path(name), kSide).empty()) << kind << " " << name;
        }
    }
}

TEST_F(SignatureTest, HeicAndAvifCodingAnotherSizeThanTheyDeclareAreUnreadable) {
    const QImage photo = test::MakePhotoLike(640, 320, 5);
    for (const auto codec : {test::HeifCodec::Hevc, test::HeifCodec::Av1}) {
        QString problem;
        QByteArray lying = test::EncodeHeif(photo, codec, problem);
        if (lying.isEmpty()) {
            GTEST_SKIP() << problem.toStdString();
        }
        const std::string kind = codec == test::HeifCodec::Hevc ? "HEIC" : "AVIF";
        // The size box says 64 x 32; libheif decodes what the coded data says.
        const qsizetype ispe = lying.indexOf("ispe");
        ASSERT_GT(ispe, 0) << kind;
        qToBigEndian<std::uint32_t>(64, lying.data() + ispe + 8);
        qToBigEndian<std::uint32_t>(32, lying.data() + ispe + 12);
        ASSERT_TRUE(test::WriteBytes(Path("lying"), lying));
        ASSERT_EQ(ReadPictureHeader(Path("lying")).size, QSize(64, 32)) << kind;
        // The decoding budget counts the coded picture, which the decoder then refuses.
        EXPECT_GE(EstimateDecodeBytes(Path("lying")), std::int64_t{640} * 320 * 3) << kind;
        EXPECT_TRUE(DecodePicture(Path("lying")).isNull()) << kind;
    }
}

TEST_F(SignatureTest, GreyPalette16BitAndAlphaPicturesGiveTheirStoredColours) {
    const QRgb colour = qRgb(180, 60, 30);
    QImage grey(30, 30, QImage::Format_Grayscale8);
    grey.fill(77);
    QImage palette(30, 30, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3), colour});
    palette.fill(1);
    QImage deep(30, 30, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(QRgba64::fromRgba64(180 * 257, 60 * 257, 30 * 257, 65535)));
    // Transparent pixels keep their colour: alpha is ignored, not blended with a background.
    // (Qt writes TIFF alpha premultiplied, so there a half-transparent colour is the test.)
    QImage alpha(30, 30, QImage::Format_ARGB32);
    alpha.fill(qRgba(180, 60, 30, 0));
    QImage halfAlpha(30, 30, QImage::Format_ARGB32);
    halfAlpha.fill(qRgba(180, 60, 30, 128));
    const struct {
        const char* name;
        const QImage& picture;
        QRgb expected;
    } cases[] = {{"grey.png", grey, qRgb(77, 77, 77)}, {"palette.png", palette, colour},
                 {"deep.png", deep, colour},           {"deep.tif", deep, colour},
                 {"alpha.png", alpha, colour},         {"alpha.tif", halfAlpha, colour},
                 {"grey.jpg", grey, qRgb(77, 77, 77)}};
    for (const auto& c : cases) {
        ASSERT_TRUE(c.picture.save(Path(c.name))) << c.name;
        const auto signature = ComputeSignature(Path(c.name), kSide);
        ASSERT_FALSE(signature.empty()) << c.name;
        EXPECT_LE(ChannelDistance(test::SignaturePixel(signature, kSide, 50, 50), c.expected), 1)
            << c.name;
    }
}

TEST_F(SignatureTest, CmykJpegGivesItsColours) {
    // Inverted CMYK as Adobe writes it: red is no cyan ink, full magenta and yellow, no black.
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 32 * 32; ++i) {
        pixels.insert(pixels.end(), {255, 0, 0, 255});
    }
    ASSERT_TRUE(test::WriteBytes(Path("cmyk.jpg"),
                                 test::CompressJpeg(pixels, 32, 32, TJPF_CMYK, TJSAMP_444)));
    const auto signature = ComputeSignature(Path("cmyk.jpg"), kSide);
    ASSERT_FALSE(signature.empty());
    EXPECT_LE(ChannelDistance(test::SignaturePixel(signature, kSide, 50, 50), qRgb(255, 0, 0)), 6);
}

TEST_F(SignatureTest, DamagedProgressiveJpegIsUnreadable) {
    // TurboJPEG reports some failures in progressive files only as warnings, and leaves the rows
    // it never reached unwritten.
    const QByteArray jpeg =
        test::EncodeJpeg(test::MakePhotoLike(320, 240, 8), TJSAMP_420, TJFLAG_PROGRESSIVE);
    ASSERT_TRUE(test::WriteBytes(Path("whole.jpg"), jpeg));
    ASSERT_FALSE(DecodePicture(Path("whole.jpg")).isNull());
    // The data of the second scan broken by a marker that does not exist.
    const qsizetype firstScan = jpeg.indexOf("\xFF\xDA");
    const qsizetype secondScan = jpeg.indexOf("\xFF\xDA", firstScan + 2);
    ASSERT_GT(firstScan, 0);
    ASSERT_GT(secondScan, firstScan);
    QByteArray damaged = jpeg;
    damaged.replace(secondScan + 20, 2, QByteArray::fromHex("FFA5"));
    ASSERT_TRUE(test::WriteBytes(Path("damaged.jpg"), damaged));
    ASSERT_TRUE(test::WriteBytes(Path("cut.jpg"), jpeg.left(jpeg.size() * 2 / 3)));
    EXPECT_TRUE(DecodePicture(Path("damaged.jpg")).isNull());
    EXPECT_TRUE(DecodePicture(Path("cut.jpg")).isNull());

    // Stray bytes before the end marker, as some cameras leave them, cost no pixel: the photo
    // is whole and reads as it would without them.
    QByteArray stray = jpeg;
    stray.insert(stray.size() - 2, QByteArray(64, '\x17'));
    ASSERT_TRUE(test::WriteBytes(Path("stray.jpg"), stray));
    EXPECT_EQ(ComputeSignature(Path("stray.jpg"), kSide),
              ComputeSignature(Path("whole.jpg"), kSide));
    EXPECT_FALSE(ComputeSignature(Path("stray.jpg"), kSide).empty());
}

TEST_F(SignatureTest, BmpHeaderOfAbsurdSizesIsUnreadable) {
    // 0x7FFFFFFF x -0x80000000 pixels of 32 bits: no product of these fits 64 bits unchecked.
    QByteArray bmp("BM");
    bmp.resize(54, '\0');
    qToLittleEndian<quint32>(54, bmp.data() + 10);  // pixel data offset
    qToLittleEndian<quint32>(40, bmp.data() + 14);  // header size
    qToLittleEndian<qint32>(0x7FFFFFFF, bmp.data() + 18);
    qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);   // planes
    qToLittleEndian<quint16>(32, bmp.data() + 28);  // bits per pixel
    ASSERT_TRUE(test::WriteBytes(Path("absurd.bmp"), bmp));
    ASSERT_TRUE(test::WriteBytes(Path("absurd-short.bmp"), bmp.left(34)));
    EXPECT_TRUE(DecodePicture(Path("absurd.bmp")).isNull());
    EXPECT_TRUE(DecodePicture(Path("absurd-short.bmp")).isNull());
}

TEST_F(SignatureTest, PictureDeclaringMorePixelsThanItsFileCanHoldIsUnreadable) {
    // A whole GIF of one pixel on a logical screen of 12,000 x 1,000: 12 million pixels declared
    // by 800 bytes.
    QByteArray gif = test::EncodeGif(test::MakePicture(1, 1, [](int, int) { return kWhite; }));
    ASSERT_FALSE(gif.isEmpty());
    qToLittleEndian<quint16>(12000, gif.data() + 6);
    qToLittleEndian<quint16>(1000, gif.data() + 8);
    ASSERT_TRUE(test::WriteBytes(Path("screen.gif"), gif));
    // A run-length BMP of as many pixels whose data ends the picture at once.
    ASSERT_TRUE(test::WriteBytes(Path("empty-runs.bmp"),
                                 test::MakeRle8Bmp(12000, 1000, QByteArray::fromHex("0001"))));
    // A PNG of 17 million plain 16-bit pixels in some 150 kB: 131 MB to decode, 120 pixels a byte.
    QImage deep(4200, 4096, QImage::Format_RGBA64);
    deep.fill(Qt::darkCyan);
    ASSERT_TRUE(deep.save(Path("deep.png"), "PNG"));
    EXPECT_TRUE(DecodePicture(Path("screen.gif")).isNull());
    EXPECT_TRUE(DecodePicture(Path("empty-runs.bmp")).isNull());
    EXPECT_TRUE(DecodePicture(Path("deep.png")).isNull()) << QFileInfo(Path("deep.png")).size();
    // A plain colour compresses best of all, yet a JPEG of it still needs bits for every block.
    ASSERT_TRUE(test::WriteBytes(
        Path("plain.jpg"),
        test::EncodeJpeg(test::MakePicture(4096, 2048, [](int, int) { return qRgb(90, 90, 90); }),
                         TJSAMP_420)));
    EXPECT_FALSE(DecodePicture(Path("plain.jpg")).isNull());
}

TEST_F(SignatureTest, CmykJpegRleBmpAndGifWhoseDataEndsEarlyAreUnreadable) {
    const QImage photo = test::MakePhotoLike(160, 120, 4);
    std::vector<unsigned char> cmyk;
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            const QRgb colour = photo.pixel(x, y);
            cmyk.insert(cmyk.end(), {static_cast<unsigned char>(qRed(colour)),
                                     static_cast<unsigned char>(qGreen(colour)),
                                     static_cast<unsigned char>(qBlue(colour)), 200});
        }
    }
    const QByteArray jpeg = test::CompressJpeg(cmyk, 160, 120, TJPF_CMYK, TJSAMP_444);
    // 64 x 64: two runs of 32 pixels and an end of line per row, then the end of the picture.
    QByteArray runs;
    for (int y = 0; y < 64; ++y) {
        runs += QByteArray::fromHex("2010208A0000");
    }
    runs += QByteArray::fromHex("0001");
    const QByteArray gif = test::EncodeGif(test::Posterize(photo));
    // Signature, screen, colour table, then the image descriptor, the LZW code size, the data.
    constexpr qsizetype kGifDataStart = 13 + 768 + 10 + 1;
    ASSERT_EQ(gif[kGifDataStart - 11], ',');
    const struct {
        const char* name;
        QByteArray whole;
        QByteArray cut;
    } cases[] = {
        {"cmyk.jpg", jpeg, jpeg.left(jpeg.size() / 2)},
        {"runs.bmp", test::MakeRle8Bmp(64, 64, runs), test::MakeRle8Bmp(64, 64, runs.left(200))},
        {"no-data.gif", gif, gif.left(kGifDataStart) + QByteArray::fromHex("003B")},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(test::WriteBytes(Path(c.name), c.whole));
        ASSERT_FALSE(DecodePicture(Path(c.name)).isNull()) << c.name;
        ASSERT_TRUE(test::WriteBytes(Path(c.name), c.cut));
        EXPECT_TRUE(DecodePicture(Path(c.name)).isNull()) << c.name;
    }
}

TEST_F(SignatureTest, RepositoryStoresTheSignatureOfAReadablePicture) {
    ASSERT_TRUE(
        test::WritePicture(test::MakePhotoLike(120, 90, 3), PictureFormat::Png, Path("ok.png")));
    CPictureRepository repository;
    repository.AddPicture(Path("ok.png"));
    const CPictureInfo& entry = repository.GetPicture(0);
    EXPECT_FALSE(entry.loadError);
    EXPECT_EQ(entry.signature, ComputeSignature(Path("ok.png"), kSide));
    EXPECT_EQ(entry.SignatureData(), entry.signature.data());
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

TEST(SignatureStore, AFileThatCannotBeMadeOrGrownLeavesTheSignaturesInMemoryWithAWarning) {
    const SignatureBytes signature(test::RandomSignature(1));
    SignatureStore nowhere(QStringLiteral("/nonexistent/folder"));
    const SignatureBytes inMemory = nowhere.Keep(signature);
    EXPECT_FALSE(inMemory.InStore());
    EXPECT_TRUE(inMemory == signature);
    EXPECT_FALSE(nowhere.Warning().isEmpty());

    // A file size limit fails the reservation of the second part as a full disk would.
    const QTemporaryDir folder;
    SignatureStore store(folder.path(), signature.size());
    const SignatureBytes first = store.Keep(signature);
    ASSERT_TRUE(first.InStore());
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = store.FileBytes();
    setrlimit(RLIMIT_FSIZE, &limited);
    const SignatureBytes second = store.Keep(signature);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, ignored);
    EXPECT_FALSE(second.InStore());
    EXPECT_TRUE(second == signature);
    EXPECT_FALSE(store.Warning().isEmpty());
    EXPECT_TRUE(first == signature && first.Intact());
}

TEST(SignatureStore, AFileChangedInLengthUnderItIsNoLongerIntact) {
    const QTemporaryDir folder;
    SignatureStore store(folder.path());
    const SignatureBytes kept = store.Keep(SignatureBytes(test::RandomSignature(2)));
    ASSERT_TRUE(kept.InStore() && store.Intact());
    const int descriptor = test::StoreDescriptor(folder.path());
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(ftruncate(descriptor, static_cast<off_t>(store.FileBytes() + 4096)), 0);
    EXPECT_FALSE(store.Intact());
}

}  // namespace
}  // namespace vistrel
