#pragma once

#include <QIODevice>

namespace vistrel {

/// False when `file`, a BMP, declares sizes no picture has or more pixels than the decoding
/// budget, or ends before all of its pixel data: uncompressed rows are held to their exact
/// length, run-length data is walked to its end. Qt's reader fills what is missing with black
/// and reports success. Leaves the read position where it was.
bool BmpIsComplete(QIODevice& file);

}  // namespace vistrel
