#pragma once

#include "CameraData.h"
#include "repository/FileIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vistrel {

/// What a user weighs a picture file by when choosing which copy to keep: its size in pixels,
/// its file size, its modification time and its format; for Keep One of Each Group also what
/// the camera wrote into it and how fine its detail is.
struct PictureFacts {
    /// False when nothing is at the path any more.
    bool exists = false;
    /// Width and height from the file's header; invalid when the header cannot be read.
    QSize size;
    /// The format read from the content ("jpeg", "png", ...); empty when unknown.
    QByteArray format;
    std::int64_t fileBytes = 0;
    QDateTime modified;
    /// The file as it was when the facts were read, so that a command acting on them later can
    /// tell whether it is still the same file with the same content; nothing when it is gone.
    std::optional<FileIdentity> identity;
    /// The camera's data (ReadKeepFacts only; empty otherwise).
    CameraData camera;
    /// The smaller pictures of its group (their paths) this picture is an enlargement of: it
    /// holds no detail beyond theirs (ReadKeepFacts only).
    QStringList enlargementOf;

    /// True when the file is there and its header can be read: a picture that may be kept.
    bool Readable() const { return exists && size.isValid(); }

    std::int64_t Pixels() const {
        return size.isValid() ? std::int64_t{size.width()} * size.height() : 0;
    }
};

/// Reads the facts of `path`: a stat and the picture's header, no decoding. Any thread.
PictureFacts ReadPictureFacts(const QString& path);

}  // namespace vistrel
