#pragma once

#include <QIODevice>

namespace vistrel {

/// False when `file` is a BMP or GIF that ends before all the pixel data of its (first)
/// picture, or a BMP whose header declares sizes no picture has: Qt's readers for those formats
/// fill the missing part and report success. Other files pass; their readers fail on their own
/// (a JPEG is checked by its decoder). Leaves the read position where it was.
bool HoldsAllPictureData(QIODevice& file);

}  // namespace vistrel
