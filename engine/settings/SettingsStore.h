#pragma once

// The per-user settings store, QSettings("Morvant", "QRX"): the one place that opens it and
// knows its value names. Every function opens the store anew; GUI thread (or vistrel-cli's main
// thread) only.

#include "UserSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vistrel {

/// The store's file; it may not exist.
QString SettingsStoreFile();

/// Reads `settings` from the store without ever writing it. The 32-byte QByteArray
/// "ProgramSettings" fills settings.record; a value of another type, longer than 32 bytes, or
/// missing returns false and leaves the record as it was, a shorter value is ignored (true).
/// Beside it, "MoreFormats" (EncodeAddedFormats' text) gives settings.addedFormats, left as they
/// are when missing or not a text, and "TurnedCopies" gives settings.findTurnedCopies
/// (DecodeTurnedCopies: missing or unknown is off); "ReferenceFolders" and "ScanExclusions"
/// (string lists, missing: none) and "SkipSameFolder" (as "TurnedCopies") give the lists and the
/// same-folder option. All are read even when the record is refused. A store that does not exist
/// returns false and changes nothing.
bool ReadUserSettings(UserSettings& settings);

/// As ReadUserSettings, but a store that does not exist yet is first written with `settings`
/// as they are and then read back (once: a store that stays missing returns false). The
/// window's load at start.
bool LoadUserSettings(UserSettings& settings);

/// Writes `settings`: the record as "ProgramSettings" (replacing any earlier value whatever its
/// type), the added formats as "MoreFormats", the turned option as "TurnedCopies", and the
/// reference folders, exclusions and same-folder option under their names above. True when
/// the values were written.
bool SaveUserSettings(const UserSettings& settings);

/// The windows whose size and place the store keeps.
enum class StoredWindow { Main, Compare };

/// The geometry `window` had when it last closed (QWidget::saveGeometry's bytes), or nothing
/// when the value is missing or not a byte array.
std::optional<QByteArray> LoadWindowGeometry(StoredWindow window);
void SaveWindowGeometry(StoredWindow window, const QByteArray& geometry);

/// The stored list of repository files opened or saved lately ("RecentRepositories"), as it
/// is stored: it may hold empty names or duplicates.
QStringList LoadRecentRepositoryList();
void SaveRecentRepositoryList(const QStringList& recent);

}  // namespace vistrel
