#include "CameraData.h"

#include <QFile>

#include <exception>
#include <mutex>
#include <string>

// Exiv2 0.27 hands images over in std::auto_ptr, deprecated since C++11.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace vistrel {

namespace {

QString ExifText(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end()) {
        return {};
    }
    return QString::fromStdString(found->toString()).trimmed();
}

}  // namespace

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
