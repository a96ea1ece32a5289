#include "PictureProblem.h"

#include "HeifCodedSize.h"
#include "HeifDecoder.h"
#include "PictureCompleteness.h"
#include "PictureFile.h"
#include "PixelDensity.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cstring>

namespace vistrel {

namespace {

using Kind = PictureProblem::Kind;

// How much of a file's end is searched for the mark its format ends with.
constexpr qint64 kTailBytes = 4096;
// Top-level HEIF boxes looked at for one that runs past the end; real files have a handful.
constexpr int kMostBoxes = 64;

enum class Format { Jpeg, Png, Gif, Bmp, Webp, Tiff, Heif, Other };

// A picture format named by its first bytes that no decoder of the program reads; empty for
// any other.
QString UnsupportedFormat(const QByteArray& head, const QString& path) {
    const auto starts = [&head](const char* magic, int length, int at = 0) {
        return head.size() >= at + length && std::memcmp(head.constData() + at, magic, length) == 0;
    };
    if (starts("\xFF\x0A", 2) || starts("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12)) {
        return QStringLiteral("JPEG XL");
    }
    if (starts("\0\0\0\x0CjP  \x0D\x0A\x87\x0A", 12) || starts("\xFF\x4F\xFF\x51", 4)) {
        return QStringLiteral("JPEG 2000");
    }
    if (starts("8BPS", 4)) {
        return QStringLiteral("Photoshop");
    }
    const QString raw = QStringLiteral("camera RAW");
    if (starts("FUJIFILMCCD-RAW", 15) || starts("IIRO", 4) || starts("IIRS", 4) ||
        starts("MMOR", 4) || starts("IIU\0", 4) || starts("FOVb", 4) || starts("\0MRM", 4) ||
        starts("ftypcrx ", 8, 4) || (starts("II*\0", 4) && starts("CR", 2, 8))) {
        return raw;
    }
    // Most camera RAW files are TIFF inside; only their names tell them from a TIFF picture.
    if (starts("II*\0", 4) || starts("MM\0*", 4)) {
        static const QStringList kRawSuffixes = {
            QStringLiteral("arw"), QStringLiteral("cr2"), QStringLiteral("dcr"),
            QStringLiteral("dng"), QStringLiteral("erf"), QStringLiteral("3fr"),
            QStringLiteral("iiq"), QStringLiteral("kdc"), QStringLiteral("mef"),
            QStringLiteral("mos"), QStringLiteral("nef"), QStringLiteral("nrw"),
            QStringLiteral("pef"), QStringLiteral("rwl"), QStringLiteral("sr2"),
            QStringLiteral("srf"), QStringLiteral("srw")};
        if (kRawSuffixes.contains(QFileInfo(path).suffix().toLower())) {
            return raw;
        }
    }
    return QString();
}

Format FormatOf(QFile& file, const QByteArray& head) {
    if (head.startsWith("\xFF\xD8\xFF")) {
        return Format::Jpeg;
    }
    if (head.startsWith("\x89PNG\r\n\x1A\n")) {
        return Format::Png;
    }
    if (head.startsWith("GIF8")) {
        return Format::Gif;
    }
    if (head.startsWith("BM")) {
        return Format::Bmp;
    }
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        return Format::Webp;
    }
    if (head.startsWith("II*") || head.startsWith(QByteArrayLiteral("MM\0*"))) {
        return Format::Tiff;
    }
    if (StartsLikeHeif(file)) {
        return Format::Heif;
    }
    return Format::Other;
}

QByteArray Tail(QFile& file) {
    const qint64 start = std::max<qint64>(0, file.size() - kTailBytes);
    return file.seek(start) ? file.read(kTailBytes) : QByteArray();
}

// True when a HEIF file's top-level boxes run past its end.
bool HeifEndsEarly(QFile& file) {
    const qint64 size = file.size();
    qint64 at = 0;
    for (int box = 0; box < kMostBoxes && at < size; ++box) {
        if (!file.seek(at)) {
            return false;
        }
        const QByteArray head = file.read(16);
        if (head.size() < 8) {
            return true;
        }
        quint64 length = qFromBigEndian<quint32>(head.constData());
        if (length == 0) {
            return false;  // to the end of the file
        }
        if (length == 1) {
            if (head.size() < 16) {
                return true;
            }
            length = qFromBigEndian<quint64>(head.constData() + 8);
        }
        if (length < 8 || length > static_cast<quint64>(size - at)) {
            return length >= 8;
        }
        at += static_cast<qint64>(length);
    }
    return false;
}

// True when the file ends before the data its format promises: a JPEG without its end marker, a
// PNG without its end chunk, a WebP or HEIF shorter than its boxes, a BMP or GIF short of pixels.
bool EndsEarly(QFile& file, Format format) {
    switch (format) {
        case Format::Jpeg:
            return !Tail(file).contains("\xFF\xD9");
        case Format::Png:
            return !Tail(file).contains("IEND");
        case Format::Webp: {
            file.seek(0);
            const QByteArray head = file.read(8);
            return head.size() < 8 ||
                   qint64{qFromLittleEndian<quint32>(head.constData() + 4)} + 8 > file.size();
        }
        case Format::Heif:
            return HeifEndsEarly(file);
        case Format::Gif:
        case Format::Bmp:
            file.seek(0);
            return !HoldsAllPictureData(file);
        case Format::Tiff:
        case Format::Other:
            break;
    }
    return false;
}

// The most pixels the decoding with `options` would hold for a picture of `size`.
std::int64_t DecodedPixels(Format format, const QSize& size, const DecodeOptions& options,
                           QFile& file) {
    std::int64_t pixels = std::int64_t{size.width()} * size.height();
    if (format == Format::Jpeg && options.minScaledSide > 0) {
        for (const int denominator : {8, 4, 2}) {
            if ((size.width() + denominator - 1) / denominator >= options.minScaledSide &&
                (size.height() + denominator - 1) / denominator >= options.minScaledSide) {
                return pixels / (std::int64_t{denominator} * denominator);
            }
        }
    }
    if (format == Format::Heif) {
        file.seek(0);
        pixels = std::max(pixels, HeifLargestCodedPixels(file));
    }
    return pixels;
}

PictureProblem Of(Kind kind) {
    PictureProblem problem;
    problem.kind = kind;
    return problem;
}

QString Tr(const char* text) {
    return QCoreApplication::translate("PictureProblem", text);
}

}  // namespace

PictureProblem DiagnoseUnreadablePicture(const QString& path, const DecodeOptions& options) {
    QFile file;
    const PictureFileOpening opening = OpenPictureFile(path, file);
    switch (opening.outcome) {
        case PictureFileOpening::Outcome::Missing:
            return Of(Kind::Missing);
        case PictureFileOpening::Outcome::NotRegular:
            return Of(QFileInfo(path).isDir() ? Kind::Folder : Kind::NotRegular);
        case PictureFileOpening::Outcome::Refused: {
            PictureProblem problem = Of(Kind::CannotOpen);
            problem.error = opening.error;
            return problem;
        }
        case PictureFileOpening::Outcome::Opened:
            break;
    }
    if (file.size() == 0) {
        return Of(Kind::Empty);
    }
    const QByteArray head = file.peek(64);
    if (const QString unsupported = UnsupportedFormat(head, path); !unsupported.isEmpty()) {
        PictureProblem problem = Of(Kind::Unsupported);
        problem.format = unsupported;
        return problem;
    }
    const Format format = FormatOf(file, head);
    if (format == Format::Other) {
        QImageReader reader(&file);
        reader.setDecideFormatFromContent(true);
        if (!reader.canRead()) {
            return Of(Kind::NotAPicture);
        }
        file.seek(0);
    }
    const PictureHeader header = ReadPictureHeader(path);
    QSize stored = SwapsSides(header.orientation) ? header.size.transposed() : header.size;
    if (stored.isEmpty() && format == Format::Gif) {
        // Qt's reader refuses a GIF whose screen is absurd; its header still says how large.
        stored = DeclaredSize(head, QSize(1, 1));
    }
    if (!stored.isEmpty()) {
        if (DecodedPixels(format, stored, options, file) > kDecodeBudgetPixels) {
            PictureProblem problem = Of(Kind::TooLarge);
            problem.size = OrientedSize(stored, header.orientation);
            return problem;
        }
        if (format != Format::Heif &&
            !FileCanHoldPixels(head.left(kPixelDensityHeadBytes), file.size(), stored)) {
            return Of(Kind::SizeBeyondData);
        }
    }
    return Of(EndsEarly(file, format) ? Kind::CutShort : Kind::Damaged);
}

QString PictureProblemText(const PictureProblem& problem) {
    switch (problem.kind) {
        case Kind::Missing:
            return Tr("the file is missing");
        case Kind::Folder:
            return Tr("it is a folder");
        case Kind::NotRegular:
            return Tr("it is not a regular file");
        case Kind::CannotOpen:
            return Tr("the file cannot be opened: %1")
                .arg(QString::fromLocal8Bit(std::strerror(problem.error)));
        case Kind::Empty:
            return Tr("the file is empty");
        case Kind::NotAPicture:
            return Tr("it is not a picture");
        case Kind::Unsupported:
            return Tr("it is a %1 file, a format Vistrel does not read").arg(problem.format);
        case Kind::CutShort:
            return Tr("the file is cut short");
        case Kind::TooLarge:
            return Tr("the picture is too large to decode (%1 x %2 pixels)")
                .arg(problem.size.width())
                .arg(problem.size.height());
        case Kind::SizeBeyondData:
            return Tr("its header declares a larger picture than the file holds");
        case Kind::Damaged:
            break;
    }
    return Tr("the picture data is damaged");
}

}  // namespace vistrel
