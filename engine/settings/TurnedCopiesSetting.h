#pragma once

// Whether a similarity run also finds pictures turned or mirrored. Kept beside the 32-byte
// settings value, never in it, so that value stays what it always was.

#include <QVariant>

namespace vistrel {

/// The process-wide option, off until the store says otherwise. Written only on the GUI thread
/// (at start and by the settings dialog) or by the command line before a run; a run reads it
/// once when it starts.
bool& TheFindTurnedCopies();

/// The option a stored value gives: on only for a boolean true (or its stored text "true");
/// anything else, of another type or unknown, is off.
bool DecodeTurnedCopies(const QVariant& stored);

}  // namespace vistrel
