#pragma once

#include "CliOptions.h"
#include "settings/UserSettings.h"

#include <QString>

namespace vistrel::cli {

/// The user's settings for this run: those of the user's settings store, read without ever
/// writing it (a store that does not exist yet stays missing and the defaults apply), with the
/// overrides of the command line applied. `warning` is set when the store exists but cannot be
/// used, else left empty.
UserSettings LoadCliSettings(const CliOptions& options, QString& warning);

/// Checks that every --reference names a folder that exists, so that a typing error does not
/// leave pictures unprotected; false with `error` set when one does not.
bool CheckReferenceFolders(const CliOptions& options, QString& error);

}  // namespace vistrel::cli
