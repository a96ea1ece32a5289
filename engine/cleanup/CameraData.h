#pragma once

#include <QDateTime>
#include <QString>

namespace vistrel {

/// What the camera wrote into a picture file (its Exif data): a copy made by a program other
/// than the camera's often lacks it.
struct CameraData {
    /// When the picture was taken (Exif DateTimeOriginal), as the camera's clock said; invalid
    /// when absent.
    QDateTime taken;
    QString make;
    QString model;
    /// The lens as the camera named it (Exif LensModel, else the maker's own lens tags as
    /// Exiv2 names them); empty when unknown. Shown, not weighed: Present() does not ask.
    QString lens;

    bool Present() const { return taken.isValid() || !make.isEmpty() || !model.isEmpty(); }
    /// The camera's make and model as one name, the make left out when the model repeats it
    /// ("Canon EOS R6", not "Canon Canon EOS R6"); empty when both are unknown.
    QString CameraName() const;
};

/// Reads the camera's data from `path` (a regular file: the caller has checked) with Exiv2.
/// Nothing for a file without it, of a format Exiv2 does not know, or damaged; never throws.
/// Any thread; not the GUI thread (it reads the file).
CameraData ReadCameraData(const QString& path);

}  // namespace vistrel
