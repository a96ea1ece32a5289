#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSize>
#include <QString>

#include <cstdint>

namespace vistrel {

/// What a user weighs a picture file by when choosing which copy to keep: its size in pixels,
/// its file size, its modification time and its format.
struct PictureFacts {
    /// False when nothing is at the path any more.
    bool exists = false;
    /// Width and height from the file's header; invalid when the header cannot be read.
    QSize size;
    /// The format read from the content ("jpeg", "png", ...); empty when unknown.
    QByteArray format;
    std::int64_t fileBytes = 0;
    QDateTime modified;

    std::int64_t Pixels() const {
        return size.isValid() ? std::int64_t{size.width()} * size.height() : 0;
    }
};

/// Reads the facts of `path`: a stat and the picture's header, no decoding. Any thread.
PictureFacts ReadPictureFacts(const QString& path);

}  // namespace vistrel
