#pragma once

#include <QSize>
#include <QString>

namespace vistrel {

/// A file length as the preview shows it: two decimals and the largest unit of "Bytes", "KB",
/// "MB", "GB", "TB" (each 1024 times the one before) that keeps the number at 1 or more.
QString FileSizeText(qint64 length);

/// The preview's size label: "Size: WxH (size)", or "Size: WxH" for an empty file or one whose
/// length cannot be read (`length` 0 or below).
QString PictureSizeLabel(const QSize& size, qint64 length);

}  // namespace vistrel
