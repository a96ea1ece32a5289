#pragma once

#include "KeepPlan.h"
#include "PictureGroups.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace vistrel {

/// How a photographer ranks two copies of one picture, both of which can be read: the one with
/// the camera's data (date taken, make or model); then the one with more pixels, unless it
/// looks like an enlargement of the other (LooksEnlarged); then the camera's format over a
/// lossless re-save of it (KeepCandidate::resave); then the earlier date taken; then a name
/// without a copy's mark (NameMarksCopy); then the shorter name. Negative when `a` is better,
/// positive when `b` is, 0 when nothing tells them apart. Any thread.
int CompareCopies(const KeepCandidate& a, const KeepCandidate& b);

/// The rule of pixels of CompareCopies: negative when `a` has more pixels, unless it is an
/// enlargement of `b` (its facts' enlargementOf holds `b`'s path), positive the other way
/// round, 0 for as many pixels. Any thread.
int ComparePixels(const KeepCandidate& a, const KeepCandidate& b);

/// True when a picture in `format` (PNG, BMP, TIFF) is a lossless re-save of a near-copy in
/// `originalFormat` (JPEG, HEIF, AVIF, WebP): the camera's format is the better. Formats as
/// PictureFacts::format. Any thread.
bool IsResaveFormat(const QByteArray& format, const QByteArray& originalFormat);

/// Negative when `a` is the earlier date by a second or more, positive when `b` is, 0 when
/// either is unknown or they lie within a second of each other. Any thread.
int CompareEarlier(const QDateTime& a, const QDateTime& b);

/// True when the file name of `path` says it is a copy or an edit: the words copy, Kopie, copie,
/// copia, edited, bearbeitet (any case, a whole word), or a name ending in " (N)" or "-N" with
/// N one digit, before the extension. Any thread.
bool NameMarksCopy(const QString& path);

/// Marks in `group` the lossless re-saves: a PNG, BMP or TIFF that is a near-copy (`nearCopies`,
/// ListNearCopies of the group) of a JPEG, HEIF or WebP of the group. Any thread.
void MarkResaves(std::vector<KeepCandidate>& group,
                 const std::vector<std::vector<NearCopy>>& nearCopies);

}  // namespace vistrel
