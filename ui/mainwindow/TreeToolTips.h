#pragma once

#include "comparison/kernels/Orientation.h"

#include <QString>

#include <cstdint>

namespace vistrel {

class CPictureRepository;

/// The tooltip of a top-level item of the picture tree: the picture's dimensions, file size and
/// modification date, or that its file is gone; for a picture that cannot be read (`unreadable`:
/// its entry's, or its header cannot be read) also why. Reads the file's header and a few bytes,
/// no decoding.
QString PictureToolTip(const QString& path, bool unreadable = false);

/// The tooltip of a child item: the difference factor of its link (`factor` 0 to 255, shown on
/// the threshold's scale: FactorText),
/// how the similar picture is turned or mirrored against its parent's when it is (the link's
/// `orientation` turns it onto the parent's), then its dimensions and file size.
QString SimilarToolTip(const QString& path, std::int32_t factor,
                       Orientation orientation = Orientation::None);

/// The tooltip's line for a picture in the reference folder `folder`: no bulk command moves it.
QString ReferenceFolderText(const QString& folder);

/// How a picture lies against another one when it is that one in `orientation`, as the user
/// reads it ("Turned 90 degrees right"); empty for Orientation::None.
QString OrientationText(Orientation orientation);

}  // namespace vistrel
