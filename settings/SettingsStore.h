#pragma once

namespace vistrel {

/// Loads TheProgramSettings() from the per-user store: QSettings("Morvant", "QRX"), key
/// "ProgramSettings", a 32-byte QByteArray. A store that does not exist yet is created with the
/// values in memory and read back. Returns false, leaving the record as it was, when the value is
/// missing, of another type or longer than 32 bytes; a shorter value is ignored (true).
/// GUI thread only.
bool LoadSettings();

/// Writes TheProgramSettings() to the per-user store, replacing any earlier value whatever its
/// type. Returns true when the value was written. GUI thread only.
bool SaveSettings();

}  // namespace vistrel
