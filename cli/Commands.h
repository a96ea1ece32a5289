#pragma once

#include "CliOptions.h"
#include "settings/UserSettings.h"

#include <cstdint>
#include <memory>

namespace vistrel {
class MarkedPairs;
class SignatureCache;
}  // namespace vistrel

namespace vistrel::cli {

class Console;
class SourceLoader;

/// Checks every source, then adds them in turn to the repository of `sources`; false, with the
/// error told to `console`, when one cannot be read.
bool AddAllSources(const QStringList& sourceList, SourceLoader& sources, Console& console);

/// Carries out `test` or `search`: fills a repository from the sources, runs the comparison and
/// prints the similar pairs, under `settings` (the store's, with the command line's overrides).
/// The sources' signatures are looked up in `cache` and kept there (null: no cache). Returns the
/// exit status.
int RunCompareCommand(const CliOptions& options, const UserSettings& settings, Console& console,
                      std::shared_ptr<SignatureCache> cache);

/// Carries out `keep`: fills a repository from the sources, runs the comparison, plans Keep One
/// of Each Group and prints the plan; with --trash, checks the plan against the files and moves
/// what still holds to the trash, under `settings`. The sources' signatures are looked up in
/// `cache` and kept there (null: no cache); the check before the trash never uses it. Returns
/// the exit status.
int RunKeepCommand(const CliOptions& options, const UserSettings& settings, Console& console,
                   std::shared_ptr<SignatureCache> cache);

/// Carries out `signature`: writes the picture's signature bytes to standard output. Returns the
/// exit status.
int RunSignatureCommand(const CliOptions& options, Console& console);

/// Carries out `cache`: reports on, prunes or clears the signature cache at its usual place.
/// Returns the exit status.
int RunCacheCommand(const CliOptions& options, Console& console);

/// Carries out `marks`: adds, removes, lists or clears the marks of pairs as not similar; the
/// pictures' signatures are looked up in `cache` and kept there (null: no cache). Returns the
/// exit status.
int RunMarksCommand(const CliOptions& options, Console& console,
                    std::shared_ptr<SignatureCache> cache);

/// The pairs a run of `test`, `search` or `keep` leaves out: the user's marks, none with
/// --include-marked. A store that cannot be used, or one found damaged and set aside, is told
/// to `console` as a warning.
MarkedPairs MarkedPairsToLeaveOut(const CliOptions& options, Console& console);

/// Tells `console` how many marked pairs a run left out, when it left any out.
void ReportMarkedPairsLeftOut(std::uint64_t count, Console& console);

}  // namespace vistrel::cli
