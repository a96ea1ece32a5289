#pragma once

#include "ProgramSettings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace vistrel {

/// The picture formats the program handles: per format, its file extensions with their leading
/// dots, separated by single blanks. Also the format's text in the settings dialog.
inline constexpr std::array<const char*, FORMAT_COUNT> kPictureFormats = {
    ".bmp .dib", ".gif", ".jpg .jpeg .jpe .jfif", ".png", ".tif .tiff"};

/// Appends the extensions of format `number` (1 to FORMAT_COUNT: the table index plus one) to
/// `extensions`, in table order; any other number appends nothing. The list is not cleared.
void GetFormatExtensions(std::uint32_t number, QStringList& extensions);

/// Appends the extensions of every enabled format, in table order, to `extensions`.
void GetEnabledExtensions(const std::array<bool, FORMAT_COUNT>& enabled, QStringList& extensions);

}  // namespace vistrel
