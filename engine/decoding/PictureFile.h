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

/// How reading a whole picture file went.
enum class WholeFileRead {
    Read,        ///< every byte, to the end of the file
    TooLarge,    ///< more than the bytes allowed; read nothing of use
    Unreadable,  ///< not a regular file, not there, refused, or a read failed
};

/// Reads all of `path` into `bytes` when it is a regular file (opened as OpenPictureFile opens it)
/// of at most `mostBytes` bytes: one pass over the file for a caller that uses its bytes twice
/// (the decoder and the signature cache's digest). Any thread.
WholeFileRead ReadWholePictureFile(const QString& path, qint64 mostBytes, QByteArray& bytes);

}  // namespace vistrel
