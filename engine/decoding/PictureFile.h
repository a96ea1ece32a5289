#pragma once

#include <QFile>
#include <QString>

namespace vistrel {

/// How opening a picture file for reading went.
struct PictureFileOpening {
    enum class Outcome {
        Opened,      ///< a regular file, open for reading
        Missing,     ///< nothing by that name (or a folder of the path is missing)
        NotRegular,  ///< a folder, FIFO, socket or device
        Refused,     ///< there, but the system would not open it (`error` says why)
    };
    Outcome outcome = Outcome::Missing;
    /// The system's error number when the file could not be opened or examined, else 0.
    int error = 0;

    bool Opened() const { return outcome == Outcome::Opened; }
};

/// Opens `path` into `file` for reading only when it is a regular file. A FIFO opened for reading
/// blocks until some other program writes to it and a device may never end, so the type is
/// checked before opening, then again on the file opened (without blocking), so that a name
/// swapped in between is caught too. Any thread.
PictureFileOpening OpenPictureFile(const QString& path, QFile& file);

}  // namespace vistrel
