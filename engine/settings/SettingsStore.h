#pragma once

namespace vistrel {

/// The per-user store's names, QSettings(kSettingsOrganization, kSettingsApplication): it holds
/// "ProgramSettings" and the values the program keeps beside it.
inline constexpr const char* kSettingsOrganization = "Morvant";
inline constexpr const char* kSettingsApplication = "QRX";

/// Loads TheProgramSettings() from the per-user store: QSettings("Morvant", "QRX"), key
/// "ProgramSettings", a 32-byte QByteArray. A store that does not exist yet is created with the
/// values in memory and read back. Returns false, leaving the record as it was, when the value is
/// missing, of another type or longer than 32 bytes; a shorter value is ignored (true).
/// Also loads TheAddedFormats() from the value "MoreFormats" beside it (EncodeAddedFormats'
/// text); when that is missing or not a text, the flags stay as they are. And
/// TheFindTurnedCopies() from "TurnedCopies" (DecodeTurnedCopies: missing or unknown is off).
/// GUI thread only.
bool LoadSettings();

/// Writes TheProgramSettings() to the per-user store, replacing any earlier value whatever its
/// type, TheAddedFormats() as "MoreFormats" and TheFindTurnedCopies() as "TurnedCopies". Returns
/// true when the values were written. GUI thread only.
bool SaveSettings();

}  // namespace vistrel
