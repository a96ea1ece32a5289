#pragma once

#include <QString>

#include <cstdint>

namespace vistrel {

class CPictureRepository;

/// The tooltip of a top-level item of the picture tree: the picture's dimensions, file size and
/// modification date, or that its file is gone. Reads the file's header, no decoding.
QString PictureToolTip(const QString& path);

/// The tooltip of a child item: the difference factor of its link (0 to 255 and in percent),
/// then the similar picture's dimensions and file size.
QString SimilarToolTip(const QString& path, std::int32_t factor);

}  // namespace vistrel
