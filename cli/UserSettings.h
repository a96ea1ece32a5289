#pragma once

#include "CliOptions.h"

#include <QString>

namespace vistrel::cli {

/// Fills TheProgramSettings() from the user's settings store without ever writing it (a store
/// that does not exist yet stays missing and the defaults apply), then applies the overrides of
/// the command line. Returns a warning text when the store exists but cannot be used, else an
/// empty string.
QString ApplyUserSettings(const CliOptions& options);

}  // namespace vistrel::cli
