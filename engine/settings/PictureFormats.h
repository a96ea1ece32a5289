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

/// A format added after the five of the table above: its name on the command line and in the
/// settings store, and its extensions as kPictureFormats gives them (also its settings text).
struct AddedPictureFormat {
    const char* name;
    const char* extensions;
};

/// Number of the added formats. Their enabled flags are kept apart from the 32-byte settings
/// value (AddedFormatSettings.h), which holds the five formats' flags only.
inline constexpr int kAddedFormatCount = 3;

/// The added formats, shown and scanned after the five.
inline constexpr std::array<AddedPictureFormat, kAddedFormatCount> kAddedPictureFormats = {
    {{"webp", ".webp"}, {"heic", ".heic .heif"}, {"avif", ".avif"}}};

/// Which added formats are in use, indexed like kAddedPictureFormats.
using AddedFormatFlags = std::array<bool, kAddedFormatCount>;

/// Appends the extensions of added format `index` (0 to kAddedFormatCount - 1) to `extensions`;
/// any other index appends nothing.
void GetAddedFormatExtensions(int index, QStringList& extensions);

/// Appends the extensions of every enabled format to `extensions`: the five in table order, then
/// the added ones in theirs. What a folder scan looks for.
void GetAllEnabledExtensions(const std::array<bool, FORMAT_COUNT>& enabled,
                             const AddedFormatFlags& added, QStringList& extensions);

}  // namespace vistrel
