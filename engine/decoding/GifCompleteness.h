#pragma once

#include <QByteArray>

namespace vistrel {

/// False when `file`, the whole of a GIF, ends before the data of its first picture is whole:
/// its chain of data sub-blocks must end within the file, and its LZW codes must give every
/// pixel of the picture before they end. Qt's reader fills missing pixels and reports success.
bool GifIsComplete(const QByteArray& file);

}  // namespace vistrel
