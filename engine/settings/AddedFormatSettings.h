#pragma once

// The enabled flags of the formats added after the five (WebP, HEIC/HEIF, AVIF). They are kept
// beside the 32-byte settings value, never in it, so that value stays what it always was.

#include "PictureFormats.h"

#include <QString>

namespace vistrel {

/// The stored form: the names of the enabled added formats (kAddedPictureFormats), in table
/// order, separated by commas; an empty text when none is enabled.
QString EncodeAddedFormats(const AddedFormatFlags& flags);

/// The flags a stored form gives: a format is enabled when its name is in the list (compared
/// without regard to case or blanks); unknown names are ignored.
AddedFormatFlags DecodeAddedFormats(const QString& stored);

}  // namespace vistrel
