#pragma once

// Why a picture file cannot be read, told to the user in the tree's tooltip, the compare window
// and vistrel-cli's warnings. The decoder says only that it failed; cheap looks at the file
// (its type, its first bytes, its header, its end) tell what is most likely.

#include "PictureDecoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace vistrel {

/// The reason a picture file cannot be read.
struct PictureProblem {
    enum class Kind {
        Missing,         ///< nothing by that name
        Folder,          ///< a folder
        NotRegular,      ///< a FIFO, socket or device
        CannotOpen,      ///< the system refuses to open it (`error`)
        Empty,           ///< no bytes at all
        NotAPicture,     ///< no picture format known by its first bytes
        Unsupported,     ///< a picture format Vistrel does not read (`format`)
        CutShort,        ///< ends before the data its header promises
        TooLarge,        ///< more pixels (`size`) than a decoding may hold
        SizeBeyondData,  ///< the header declares more pixels than the file can code
        Damaged,         ///< none of the above: the data cannot be decoded
    };
    Kind kind = Kind::Damaged;
    /// The system's error number for CannotOpen.
    int error = 0;
    /// The format's name for Unsupported ("JPEG XL", "camera RAW").
    QString format;
    /// The picture's size for TooLarge.
    QSize size;
};

/// Why `path`, which did not decode with `options`, cannot be read: the file's type and opening,
/// its first bytes, its header against the decoding budget and its own length, and whether it
/// ends early. Reads the header and a few bytes at the end, never decodes; Damaged when nothing
/// else is found. Any thread.
PictureProblem DiagnoseUnreadablePicture(const QString& path, const DecodeOptions& options = {});

/// A short English clause for `problem` ("the file is cut short"), without a full stop, meant
/// to follow "cannot read picture 'x': ". Translated in the program's window. Any thread.
QString PictureProblemText(const PictureProblem& problem);

}  // namespace vistrel
