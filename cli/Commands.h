#pragma once

#include "CliOptions.h"

namespace vistrel::cli {

class Console;

/// Carries out `test` or `search`: fills a repository from the sources, runs the comparison and
/// prints the similar pairs. Returns the exit status.
int RunCompareCommand(const CliOptions& options, Console& console);

/// Carries out `signature`: writes the picture's signature bytes to standard output. Returns the
/// exit status.
int RunSignatureCommand(const CliOptions& options, Console& console);

/// Carries out `cache`: reports on, prunes or clears the signature cache at its usual place.
/// Returns the exit status.
int RunCacheCommand(const CliOptions& options, Console& console);

}  // namespace vistrel::cli
