#pragma once

#include <QByteArray>
#include <QSize>

namespace vistrel {

/// How many of a file's first bytes `FileCanHoldPixels` looks at.
inline constexpr int kPixelDensityHeadBytes = 32;

/// The size of the picture a file starting with `head` declares, given the size Qt's reader
/// reports: for a GIF, at least its logical screen, which Qt's reader decodes the first picture
/// onto but does not always report. Any thread.
QSize DeclaredSize(const QByteArray& head, const QSize& readerSize);

/// False when a picture file of `fileBytes` bytes that starts with `head` declares more pixels
/// (`declared`, read from its header) than its format can code in so few bytes: such a file
/// would make the decoder allocate for pixels it does not hold. Each format has its own bound
/// that no honest file reaches, photographs of any size included. Any thread.
bool FileCanHoldPixels(const QByteArray& head, qint64 fileBytes, const QSize& declared);

}  // namespace vistrel
