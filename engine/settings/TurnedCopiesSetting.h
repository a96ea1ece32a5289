#pragma once

// The stored form of the option that a similarity run also finds pictures turned or mirrored.
// Kept beside the 32-byte settings value, never in it, so that value stays what it always was.

#include <QVariant>

namespace vistrel {

/// The option a stored value gives: on only for a boolean true (or its stored text "true");
/// anything else, of another type or unknown, is off.
bool DecodeTurnedCopies(const QVariant& stored);

}  // namespace vistrel
