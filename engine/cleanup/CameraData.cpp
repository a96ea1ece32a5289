#include "CameraData.h"

#include <QFile>

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>

// Exiv2 0.27 hands images over in std::auto_ptr, deprecated since C++11.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace vistrel {

namespace {

// Longer names are damage, not a camera's: they would only widen the window that shows them.
constexpr qsizetype kLongestText = 100;

// A text of the camera's as a user can read it: the printable characters of at most
// kLongestText, or nothing.
QString Readable(const QString& text) {
    QString readable;
    for (const QChar c : text) {
        if (c.isPrint() && c != QChar::ReplacementCharacter) {
            readable.append(c);
        }
    }
    readable = readable.simplified();
    return readable.size() <= kLongestText ? readable : QString();
}

// The tag's text; nothing when it is absent or damaged into another type (whose value Exiv2
// would give as a list of numbers).
QString ExifText(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->typeId() != Exiv2::asciiString) {
        return {};
    }
    return Readable(QString::fromStdString(found->toString()));
}

// The lens: the standard tag, else the first of the maker's tags Exiv2 knows, as it names them.
// A maker's number it has no name for ("(151)", "Unknown lens") says nothing to a user.
QString LensText(const Exiv2::ExifData& exif) {
    if (QString lens = ExifText(exif, "Exif.Photo.LensModel"); !lens.isEmpty()) {
        return lens;
    }
    const auto found = Exiv2::lensName(exif);
    if (found == exif.end()) {
        return {};
    }
    const QString lens = Readable(QString::fromStdString(found->print(&exif)));
    const bool named = std::any_of(lens.begin(), lens.end(), [](QChar c) { return c.isLetter(); });
    if (!named || lens.startsWith(QLatin1Char('(')) ||
        lens.contains(QLatin1String("unknown"), Qt::CaseInsensitive)) {
        return {};
    }
    return lens;
}

}  // namespace

QString CameraData::CameraName() const {
    // Makers write "NIKON CORPORATION" and "NIKON D750", "Canon" and "Canon EOS R6".
    const QString brand = make.section(QLatin1Char(' '), 0, 0);
    if (model.isEmpty() || (!brand.isEmpty() && model.startsWith(brand, Qt::CaseInsensitive))) {
        return model.isEmpty() ? make : model;
    }
    return make.isEmpty() ? model : make + QLatin1Char(' ') + model;
}

CameraData ReadCameraData(const QString& path) {
    // The XMP toolkit must be set up once before threads parse; Exiv2's warnings about damaged
    // files are no business of the user's console.
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
    CameraData data;
    try {
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(std::string(QFile::encodeName(path).constData()));
        if (image.get() == nullptr) {
            return data;
        }
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        data.taken = QDateTime::fromString(ExifText(exif, "Exif.Photo.DateTimeOriginal"),
                                           QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        data.make = ExifText(exif, "Exif.Image.Make");
        data.model = ExifText(exif, "Exif.Image.Model");
        data.lens = LensText(exif);
    } catch (const std::exception&) {
        // A damaged or unknown file has no camera data; it is no reason to stop.
        return CameraData{};
    } catch (...) {
        return CameraData{};
    }
    return data;
}

}  // namespace vistrel

#pragma GCC diagnostic pop
