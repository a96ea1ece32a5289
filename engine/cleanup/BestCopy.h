#pragma once

#include "KeepPlan.h"
#include "PictureGroups.h"

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

/// True when the file name of `path` says it is a copy or an edit: the words copy, Kopie, copie,
/// copia, edited, bearbeitet (any case, a whole word), or a name ending in " (N)" or "-N" with
/// N one digit, before the extension. Any thread.
bool NameMarksCopy(const QString& path);

/// Marks in `group` the lossless re-saves: a PNG, BMP or TIFF that is a near-copy (`nearCopies`,
/// ListNearCopies of the group) of a JPEG, HEIF or WebP of the group. Any thread.
void MarkResaves(std::vector<KeepCandidate>& group,
                 const std::vector<std::vector<NearCopy>>& nearCopies);

}  // namespace vistrel
