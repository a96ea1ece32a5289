#pragma once

#include "settings/PictureFormats.h"
#include "settings/ProgramSettings.h"

#include <QStringList>

#include <array>

namespace vistrel {

/// The name filters of the Search Similar file chooser: "*.* (*)" first, then one entry per
/// enabled format in table order, showing its own patterns, such as "*.bmp;*.dib (*.bmp
/// *.dib)", then one per enabled added format (`addedFormats`), such as "*.avif (*.avif)".
QStringList SearchSimilarFilters(const std::array<bool, FORMAT_COUNT>& enabledFormats,
                                 const AddedFormatFlags& addedFormats);

/// The name filter of the repository file choosers.
QString RepositoryFileFilter();

}  // namespace vistrel
